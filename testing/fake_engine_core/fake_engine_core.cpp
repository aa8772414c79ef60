// The scriptable fake engine core (see fake_engine_core.h). 64-bit only:
// the entry points use the default calling convention and the .def files
// give them their decorated export names.
#include "testing/fake_engine_core/fake_engine_core.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>

namespace {

constexpr uint32_t kBlockBytes = 8192;
constexpr uint32_t kBufferBytes = 1048576;
constexpr uint32_t kMagic = 0x454B4146;  // "FAKE"

struct Script {
  std::string version = "Fake 1.0";
  bool version_unterminated = false;
  int32_t fmt = 7, bps = 8, sps = 8000, channels = 1;
  int32_t init = 0;
  uint32_t segments = 2;
  uint32_t seglen = 800;
  bool has_then = false;
  int32_t then = 0;
  bool endless = false;
  std::map<uint32_t, uint32_t> counts;
};

// What the fake keeps inside the caller's status block.
struct BlockState {
  uint32_t magic;
  uint32_t delivered;
  uint32_t then_done;
  uint32_t closed;
};
static_assert(sizeof(BlockState) <= kBlockBytes);

Script g_script;
int32_t g_pauses[5] = {0, 650, 500, 350, 7};
std::string g_calls;

void Record(const std::string& line) {
  g_calls += line;
  g_calls += '\n';
}

bool AllZero(const void* p, size_t n) {
  const unsigned char* b = static_cast<const unsigned char*>(p);
  return std::all_of(b, b + n, [](unsigned char c) { return c == 0; });
}

// The block's state, or null (with " BADBLOCK" added to `line`) when the
// block was not initialised by this core.
BlockState* State(void* block, std::string& line) {
  BlockState* s = static_cast<BlockState*>(block);
  if (s == nullptr || s->magic != kMagic) {
    line += " BADBLOCK";
    return nullptr;
  }
  if (s->closed) line += " CLOSED";
  return s;
}

bool ParseScript(const char* text) {
  Script s;
  std::istringstream in(text ? text : "");
  std::string word;
  while (in >> word) {
    size_t eq = word.find('=');
    if (eq == std::string::npos) return false;
    std::string key = word.substr(0, eq), value = word.substr(eq + 1);
    char* end = nullptr;
    long long n = std::strtoll(value.c_str(), &end, 10);
    bool numeric = !value.empty() && *end == '\0';
    if (key == "version") {
      s.version_unterminated = value == "@256";
      s.version = s.version_unterminated ? std::string() : value.substr(0, 255);
      continue;
    }
    if (!numeric) return false;
    if (key == "fmt")
      s.fmt = static_cast<int32_t>(n);
    else if (key == "bps")
      s.bps = static_cast<int32_t>(n);
    else if (key == "sps")
      s.sps = static_cast<int32_t>(n);
    else if (key == "channels")
      s.channels = static_cast<int32_t>(n);
    else if (key == "init")
      s.init = static_cast<int32_t>(n);
    else if (key == "segments")
      s.segments = static_cast<uint32_t>(n);
    else if (key == "seglen")
      s.seglen = std::min<uint32_t>(static_cast<uint32_t>(n), kBufferBytes);
    else if (key == "then")
      s.has_then = true, s.then = static_cast<int32_t>(n);
    else if (key == "endless")
      s.endless = n != 0;
    else if (key.rfind("count@", 0) == 0)
      s.counts[std::strtoul(key.c_str() + 6, nullptr, 10)] = static_cast<uint32_t>(n);
    else
      return false;
  }
  g_script = s;
  return true;
}

bool ScriptInText() {
  static const bool on = [] {
    wchar_t value[4] = {};
    return GetEnvironmentVariableW(Quellmar::testing::fake_core::kScriptInTextVariable, value, 4) ==
               1 &&
           value[0] == L'1';
  }();
  return on;
}

}  // namespace

extern "C" {

int fake_script(const char* script) {
  g_calls.clear();
  const int32_t defaults[5] = {0, 650, 500, 350, 7};
  std::copy(defaults, defaults + 5, g_pauses);
  return ParseScript(script) ? 0 : -1;
}

uint32_t fake_calls(char* out, uint32_t capacity) {
  if (out != nullptr && capacity > 0) {
    size_t n = std::min<size_t>(g_calls.size(), capacity - 1);
    std::memcpy(out, g_calls.data(), n);
    out[n] = '\0';
  }
  return static_cast<uint32_t>(g_calls.size());
}

int32_t fake_get_av_version(char* version256) {
  Record("get_av_version");
  if (version256 == nullptr) return 2700;
  if (g_script.version_unterminated) {
    std::memset(version256, 'v', 256);
  } else {
    std::memcpy(version256, g_script.version.c_str(), g_script.version.size() + 1);
  }
  return 0;
}

int32_t fake_initialize_SSB(void* block, const char* text, int32_t zero) {
  std::string line = "initialize_SSB ";
  line += text ? text : "(null)";
  if (block == nullptr) {
    Record(line + " BADBLOCK");
    return 3000;
  }
  if (!AllZero(block, kBlockBytes)) line += " BADBLOCK";
  if (zero != 0) line += " BADARG";
  if (ScriptInText() && text != nullptr) {
    g_calls.clear();
    if (!ParseScript(text)) {
      Record(line);
      return 2870;
    }
  }
  Record(line);
  if (text == nullptr) return 2830;
  if (g_script.init != 0) return g_script.init;
  BlockState* s = static_cast<BlockState*>(block);
  *s = BlockState{kMagic, 0, 0, 0};
  return 0;
}

int32_t fake_set_tag_flag(void* block, int32_t on) {
  std::string line = "set_tag_flag " + std::to_string(on);
  State(block, line);
  Record(line);
  return 0;
}

int32_t fake_isSeg_Available(void* block) {
  std::string line = "isSeg_Available";
  BlockState* s = State(block, line);
  Record(line);
  if (s == nullptr) return 0;
  if (g_script.endless || s->delivered < g_script.segments) return 1;
  return g_script.has_then && !s->then_done ? 1 : 0;
}

int32_t fake_synth_to_buffer(void* block, unsigned char* buffer, uint32_t* count) {
  std::string line = "synth_to_buffer";
  BlockState* s = State(block, line);
  if (count == nullptr || *count != 0) line += " BADCOUNT";
  if (buffer == nullptr) line += " BADBUFFER";
  if (s != nullptr && buffer != nullptr && s->delivered == 0 && !AllZero(buffer, kBufferBytes)) {
    line += " BADBUFFER";
  }
  Record(line);
  if (s == nullptr || buffer == nullptr || count == nullptr) return 2700;
  if (g_script.endless || s->delivered < g_script.segments) {
    uint32_t k = ++s->delivered;
    std::memset(buffer, static_cast<int>(k & 0xFF), g_script.seglen);
    auto forced = g_script.counts.find(k);
    *count = forced != g_script.counts.end() ? forced->second : g_script.seglen;
    return 0;
  }
  if (g_script.has_then && !s->then_done) {
    s->then_done = 1;
    return g_script.then;
  }
  return 1;
}

int32_t fake_close_SSB(void* block) {
  std::string line = "close_SSB";
  if (BlockState* s = State(block, line)) s->closed = 1;
  Record(line);
  return 0;
}

int32_t fake_get_snd_fmt() {
  Record("get_snd_fmt");
  return g_script.fmt;
}
int32_t fake_get_snd_bps() {
  Record("get_snd_bps");
  return g_script.bps;
}
int32_t fake_get_snd_sps() {
  Record("get_snd_sps");
  return g_script.sps;
}
int32_t fake_get_channels_allowed() {
  Record("get_channels_allowed");
  return g_script.channels;
}

int32_t fake_get_pausation(int32_t index) {
  Record("get_pausation " + std::to_string(index));
  return index >= 1 && index <= 4 ? g_pauses[index] : 0;
}

int32_t fake_set_pausation(int32_t index, int32_t length) {
  Record("set_pausation " + std::to_string(index) + " " + std::to_string(length));
  if (index >= 1 && index <= 4) g_pauses[index] = length;
  return 0;
}

// The dictionary editor's set: recorded, nothing more.
int32_t fake_open_phon(void*, const char*, int32_t, int32_t) {
  Record("open_phon");
  return 0;
}
int32_t fake_synthesize(void*, const char*) {
  Record("synthesize");
  return 0;
}
int32_t fake_close_phon(void*) {
  Record("close_phon");
  return 0;
}
int32_t fake_PhonEnc_to_PhonSyl(const char*, int32_t, const char*, int32_t, int32_t, char*) {
  Record("PhonEnc_to_PhonSyl");
  return 0;
}
int32_t fake_PhonSyl_to_Wav(const char*, const char*) {
  Record("PhonSyl_to_Wav");
  return 0;
}

}  // extern "C"
