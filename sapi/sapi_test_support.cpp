#include "sapi/sapi_test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "common/log.h"
#include "sapi/class_factory.h"
#include "testing/test_env.h"

namespace Quellmar::sapi::testing {

STDMETHODIMP ScriptedSiteBase::AddEvents(const SPEVENT* array, ULONG count) {
  for (ULONG i = 0; i < count; ++i) {
    const SPEVENT& e = array[i];
    RecordedEvent r{static_cast<SPEVENTENUM>(e.eEventId),
                    static_cast<SPEVENTLPARAMTYPE>(e.elParamType),
                    e.ulStreamNum,
                    e.ullAudioStreamOffset,
                    e.wParam,
                    e.lParam,
                    L""};
    if (e.elParamType == SPET_LPARAM_IS_STRING && e.lParam)
      r.text = reinterpret_cast<const wchar_t*>(e.lParam);
    events.push_back(r);
  }
  return S_OK;
}

STDMETHODIMP ScriptedSiteBase::GetEventInterest(ULONGLONG* out) {
  *out = SUCCEEDED(query_result) ? interest : ~0ull;  // a failing site may scribble
  return query_result;
}

STDMETHODIMP_(DWORD) ScriptedSiteBase::GetActions() {
  return actions(action_calls++, audio.size());
}

STDMETHODIMP ScriptedSiteBase::Write(const void* data, ULONG size, ULONG* written) {
  const HRESULT hr = write_result(write_calls++);
  if (FAILED(hr)) return hr;
  writes.push_back(size);
  const ULONG taken = report_written == UINT32_MAX ? size : std::min(report_written, size);
  const auto* p = static_cast<const uint8_t*>(data);
  audio.insert(
      audio.end(), p,
      p + (report_written == UINT32_MAX || report_written > size || report_written == 0 ? size
                                                                                        : taken));
  if (written) *written = report_written == UINT32_MAX ? size : report_written;
  return S_OK;
}

STDMETHODIMP ScriptedSiteBase::GetRate(long* out) {
  ++rate_calls;
  *out = SUCCEEDED(query_result) ? rate : 12345;
  return query_result;
}

STDMETHODIMP ScriptedSiteBase::GetVolume(USHORT* out) {
  ++volume_calls;
  *out = SUCCEEDED(query_result) ? volume : 54321;
  return query_result;
}

STDMETHODIMP ScriptedSiteBase::CompleteSkip(long skipped) {
  skips.push_back(skipped);
  return S_OK;
}

std::vector<RecordedEvent> ScriptedSiteBase::EventsOf(SPEVENTENUM id) const {
  std::vector<RecordedEvent> out;
  for (const auto& e : events) {
    if (e.id == id) out.push_back(e);
  }
  return out;
}

void* ScriptedSiteBase::FindInterface(REFIID iid) {
  if (IsEqualGUID(iid, __uuidof(IUnknown)) || IsEqualGUID(iid, kIID_ISpTTSEngineSite) ||
      IsEqualGUID(iid, __uuidof(ISpEventSink))) {
    return static_cast<ISpTTSEngineSite*>(this);
  }
  return nullptr;
}

STDMETHODIMP FakeTokenBase::GetId(LPWSTR* out) {
  if (!out) return E_POINTER;
  *out = com::CoTaskCopy(id_);
  return S_OK;
}

STDMETHODIMP FakeTokenBase::InitFromDataKey(LPCWSTR category, LPCWSTR id, ISpDataKey* key) {
  if (!id || !key) return E_INVALIDARG;
  category_ = category ? category : L"";
  id_ = id;
  key_ = com_ptr<ISpDataKey>(key);
  return S_OK;
}

void* FakeTokenBase::FindInterface(REFIID iid) {
  if (IsEqualGUID(iid, __uuidof(IUnknown)) || IsEqualGUID(iid, kIID_ISpDataKey) ||
      IsEqualGUID(iid, kIID_ISpObjectToken) || IsEqualGUID(iid, kIID_ISpObjectTokenInit)) {
    return static_cast<ISpObjectTokenInit*>(this);
  }
  return nullptr;
}

FakeTokenClass::FakeTokenClass() {
  auto* factory = com::IUnknownImpl<com::IClassFactoryImpl<FakeTokenBase>>::Create();
  if (FAILED(CoRegisterClassObject(kCLSID_SpObjectToken, factory, CLSCTX_INPROC_SERVER,
                                   REGCLS_MULTIPLEUSE, &cookie_))) {
    cookie_ = 0;
  }
  factory->Release();
}

FakeTokenClass::~FakeTokenClass() {
  if (cookie_) CoRevokeClassObject(cookie_);
}

SPVTEXTFRAG& Fragments::Add(SPVACTIONS action, const std::wstring& text) {
  texts_.push_back(text);
  SPVTEXTFRAG f{};
  f.State.eAction = action;
  f.State.Volume = 100;
  f.pTextStart = texts_.back().c_str();
  f.ulTextLen = static_cast<ULONG>(text.size());
  if (!frags_.empty()) f.ulTextSrcOffset = frags_.back().ulTextSrcOffset + frags_.back().ulTextLen;
  frags_.push_back(f);
  return frags_.back();
}

const SPVTEXTFRAG* Fragments::head() {
  SPVTEXTFRAG* prev = nullptr;
  for (auto& f : frags_) {
    if (prev) prev->pNext = &f;
    f.pNext = nullptr;
    prev = &f;
  }
  return frags_.empty() ? nullptr : &frags_.front();
}

std::wstring FakeWorkerPath() {
  return (Quellmar::testing::BinDir() / L"worker_client" / L"fake_worker.exe").wstring();
}

std::wstring RealWorkerRoot() {
  wchar_t buf[1024];
  const DWORD n = GetEnvironmentVariableW(L"QM_SAPI_WORKER_ROOT", buf, 1024);
  if (n == 0 || n >= 1024) return L"";
  return std::wstring(buf, n);
}

std::wstring RealWorkerPath() {
  const std::filesystem::path root = RealWorkerRoot();
  if (root.empty()) return L"";
  const auto worker = root / L"x86" / L"QuellmarServer.exe";
  const auto core = root / L"engine" / L"Lib" / L"qmcore.dll";
  std::error_code ec;
  if (!std::filesystem::exists(worker, ec) || !std::filesystem::exists(core, ec)) return L"";
  return worker.wstring();
}

std::string ReadFileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

namespace {

std::unique_ptr<Quellmar::testing::TempDir> g_log_dir;

class LogEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    g_log_dir = std::make_unique<Quellmar::testing::TempDir>("qm-sapi-log");
    wchar_t saved[1024];
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", saved, 1024);
    SetEnvironmentVariableW(L"LOCALAPPDATA", g_log_dir->path().c_str());
    Log("sapi tests: log opened");
    SetEnvironmentVariableW(L"LOCALAPPDATA", n > 0 && n < 1024 ? saved : nullptr);
  }
};
[[maybe_unused]] ::testing::Environment* const g_log_environment =
    ::testing::AddGlobalTestEnvironment(new LogEnvironment);

}  // namespace

std::filesystem::path TestLogPath() {
  return g_log_dir->path() / L"Quellmar SAPI5" / L"quellmar.log";
}

uint64_t TestLogSize() {
  std::error_code ec;
  const auto size = std::filesystem::file_size(TestLogPath(), ec);
  return ec ? 0 : size;
}

std::string TestLogSince(uint64_t offset) {
  const std::string all = ReadFileText(TestLogPath());
  return offset < all.size() ? all.substr(offset) : std::string();
}

std::vector<std::string> RecordedTexts(const std::filesystem::path& record) {
  std::vector<std::string> out;
  std::istringstream lines(ReadFileText(record));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("text ", 0) != 0) continue;
    const size_t a = line.find('|');
    const size_t b = line.rfind('|');
    if (a != std::string::npos && b > a) out.push_back(line.substr(a + 1, b - a - 1));
  }
  return out;
}

}  // namespace Quellmar::sapi::testing
