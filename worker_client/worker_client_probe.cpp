// Test program: one WorkerClient in a fresh process, so that a test can run
// clients from chosen folders, several at once, and read their log lines.
//   path OUT            the chosen worker path
//   synth TEXT OUT      one synthesis: "<result> <callbacks> <bytes>"
//   info OUT            "<result> <output rate> <engine rate> <version>"
//   shutdown
#include <windows.h>

#include <cstdio>
#include <string>

#include "worker_client/worker_client.h"

namespace {
std::string Utf8(const std::wstring& w) {
  char buf[2048] = {};
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, buf, sizeof(buf) - 1, nullptr, nullptr);
  return buf;
}
void Write(const wchar_t* path, const std::string& text) {
  FILE* f = _wfopen(path, L"wb");
  if (!f) return;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}
struct Counts {
  int callbacks = 0;
  size_t bytes = 0;
};
bool Collect(const unsigned char*, uint32_t count, void* context) {
  auto* c = static_cast<Counts*>(context);
  ++c->callbacks;
  c->bytes += count;
  return true;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  std::wstring cmd = argv[1];
  Quellmar::WorkerClient client;
  if (cmd == L"path" && argc >= 3) {
    Write(argv[2], Utf8(client.worker_path()));
  } else if (cmd == L"synth" && argc >= 4) {
    std::string text = Utf8(argv[2]);
    Counts counts;
    bool ok = client.RequestSynthesis(text.data(), static_cast<uint32_t>(text.size()), 1, 1, 1,
                                      false, nullptr, Collect, &counts);
    Write(argv[3], std::to_string(ok) + " " + std::to_string(counts.callbacks) + " " +
                       std::to_string(counts.bytes));
  } else if (cmd == L"info" && argc >= 3) {
    Quellmar::WorkerInfo info;
    bool ok = client.RequestInfo(info);
    Write(argv[2], std::to_string(ok) + " " + std::to_string(info.output_sample_rate) + " " +
                       std::to_string(info.engine_sample_rate) + " " + info.engine_version);
  } else if (cmd == L"shutdown") {
    client.RequestShutdown();
  } else {
    return 2;
  }
  return 0;
}
