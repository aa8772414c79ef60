#include "engine_host/engine_driver.h"

#include <new>

#include "common/log.h"
#include "common/win_handles.h"
#include "engine_host/engine_status.h"

namespace Quellmar {
namespace {

namespace api = engine_api;

// GetProcAddress hands out a generic function pointer; going through
// void(*)() keeps the cast to the real signature free of warnings.
template <typename Fn>
void Bind(HMODULE module, const char* name, Fn& out) {
  FARPROC address = GetProcAddress(module, name);
  out = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(address));
}

bool ValidPause(int32_t index) { return index >= 1 && index <= 4; }

}  // namespace

EngineDriver& EngineDriver::Instance() {
  static EngineDriver driver;
  return driver;
}

const char* EngineDriver::StatusName(int32_t code) { return Quellmar::StatusName(code); }

bool EngineDriver::Load(const std::wstring& path) {
  if (loaded_) return true;

  unique_module module(LoadLibraryW(path.c_str()));
  if (!module) {
    Log("qmcore.dll failed to load from %ls (error %lu)", path.c_str(),
        static_cast<unsigned long>(GetLastError()));
    return false;
  }

  EntryPoints entry;
  Bind(module.get(), api::kGetAvVersion, entry.get_av_version);
  Bind(module.get(), api::kInitializeSSB, entry.initialize_SSB);
  Bind(module.get(), api::kCloseSSB, entry.close_SSB);
  Bind(module.get(), api::kSetTagFlag, entry.set_tag_flag);
  Bind(module.get(), api::kIsSegAvailable, entry.isSeg_Available);
  Bind(module.get(), api::kSynthToBuffer, entry.synth_to_buffer);
  Bind(module.get(), api::kGetSndFmt, entry.get_snd_fmt);
  Bind(module.get(), api::kGetSndBps, entry.get_snd_bps);
  Bind(module.get(), api::kGetSndSps, entry.get_snd_sps);
  Bind(module.get(), api::kGetChannelsAllowed, entry.get_channels_allowed);
  Bind(module.get(), api::kGetPausation, entry.get_pausation);
  Bind(module.get(), api::kSetPausation, entry.set_pausation);

  if (!entry.initialize_SSB || !entry.close_SSB || !entry.set_tag_flag || !entry.isSeg_Available ||
      !entry.synth_to_buffer) {
    Log("qmcore.dll loaded but is missing the synthesis entry points -- this is not an Quellmar "
        "3.x core");
    return false;  // `module` frees the library
  }

  // Loaded for the rest of the process: the handle is deliberately never freed.
  module_ = module.release();
  entry_ = entry;
  loaded_ = true;
  Log("qmcore.dll %s loaded from %ls: format %d, %d-bit, %d Hz, %d channels allowed",
      Version().c_str(), path.c_str(), static_cast<int>(FormatCode()),
      static_cast<int>(BitsPerSample()), static_cast<int>(SampleRate()),
      static_cast<int>(ChannelsAllowed()));
  return true;
}

std::string EngineDriver::Version() const {
  if (!entry_.get_av_version) return "unknown";
  char text[kVersionBytes] = {};
  entry_.get_av_version(text);
  // The engine need not terminate a text that fills the buffer.
  text[kVersionBytes - 1] = '\0';
  if (text[0] == '\0') return "unknown";
  return text;
}

int32_t EngineDriver::FormatCode() const {
  return entry_.get_snd_fmt ? entry_.get_snd_fmt() : kDefaultFormatCode;
}

int32_t EngineDriver::BitsPerSample() const {
  return entry_.get_snd_bps ? entry_.get_snd_bps() : kDefaultBitsPerSample;
}

int32_t EngineDriver::SampleRate() const {
  return entry_.get_snd_sps ? entry_.get_snd_sps() : kDefaultSampleRate;
}

int32_t EngineDriver::ChannelsAllowed() const {
  return entry_.get_channels_allowed ? entry_.get_channels_allowed() : kDefaultChannelsAllowed;
}

void EngineDriver::SetPause(int32_t index, int32_t length) {
  if (entry_.set_pausation && ValidPause(index)) entry_.set_pausation(index, length);
}

int32_t EngineDriver::GetPause(int32_t index) const {
  if (entry_.get_pausation && ValidPause(index)) return entry_.get_pausation(index);
  return 0;
}

bool EngineDriver::Synthesize(const char* text, bool tags, SegmentConsumer consumer,
                              void* context) {
  last_status_ = kStatusOk;
  if (!loaded_ || text == nullptr || text[0] == '\0') return false;

  std::vector<unsigned char> block;
  std::vector<unsigned char> buffer;
  try {
    block.resize(api::kSynthesisBlockBytes);  // zero-filled
    buffer.resize(api::kSegmentBufferBytes);
  } catch (const std::bad_alloc&) {
    Log("synthesis buffers of %lu and %lu bytes could not be allocated (out of memory)",
        static_cast<unsigned long>(api::kSynthesisBlockBytes),
        static_cast<unsigned long>(api::kSegmentBufferBytes));
    return false;
  }

  int32_t status = entry_.initialize_SSB(block.data(), text, 0);
  if (status != kStatusOk) {
    last_status_ = status;
    // Nothing speakable is an ordinary outcome (a text of punctuation), not a fault.
    if (status != kStatusNothingSpeakable) {
      Log("initialize_SSB failed: %d (%s)", static_cast<int>(status), StatusName(status));
    }
    return false;
  }
  entry_.set_tag_flag(block.data(), tags ? 1 : 0);

  bool result = true;
  uint32_t segments = 0;
  while (entry_.isSeg_Available(block.data()) != 0) {
    uint32_t count = 0;
    status = entry_.synth_to_buffer(block.data(), buffer.data(), &count);
    if (status != kStatusOk) {
      if (status == kStatusNoMoreSpeech && segments == 0) break;
      last_status_ = status;
      Log("synth_to_buffer failed at segment %d: %d (%s)", static_cast<int>(segments),
          static_cast<int>(status), StatusName(status));
      result = false;
      break;
    }
    if (count > buffer.size()) {
      Log("synth_to_buffer reported %lu bytes into a %lu byte buffer; stopping",
          static_cast<unsigned long>(count), static_cast<unsigned long>(buffer.size()));
      result = false;
      break;
    }
    if (count != 0 && consumer != nullptr) {
      bool more;
      try {
        more = consumer(buffer.data(), count, context);
      } catch (...) {
        // No exception may leave the driver, and the engine must still be closed.
        Log("synthesis consumer failed at segment %d; stopping", static_cast<int>(segments));
        result = false;
        break;
      }
      if (!more) break;
    }
    ++segments;
    if (segments > kMaxSegments) {
      Log("synthesis produced more than %d segments; stopping", static_cast<int>(kMaxSegments));
      result = false;
      break;
    }
  }
  entry_.close_SSB(block.data());
  return result;
}

bool EngineDriver::SynthesizeToBuffer(const char* text, bool tags,
                                      std::vector<unsigned char>& bytes) {
  struct Sink {
    std::vector<unsigned char>* bytes;
    bool out_of_memory;
  } sink{&bytes, false};
  bytes.clear();
  SegmentConsumer append = [](const unsigned char* data, uint32_t count, void* context) {
    Sink* s = static_cast<Sink*>(context);
    try {
      s->bytes->insert(s->bytes->end(), data, data + count);
      return true;
    } catch (const std::bad_alloc&) {
      s->out_of_memory = true;
      return false;
    }
  };
  bool result = Synthesize(text, tags, append, &sink);
  if (sink.out_of_memory) {
    // Stopping the engine is not success: the caller would get cut-off audio.
    Log("synthesis output beyond %lu bytes could not be kept (out of memory)",
        static_cast<unsigned long>(bytes.size()));
    return false;
  }
  return result;
}

}  // namespace Quellmar
