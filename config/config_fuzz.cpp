// The configuration utility's handling of outside bytes: an information
// reply from the worker turned into the About text, and stored settings of
// any value turned into slider positions and back into what Save writes:
// unchanged, exactly what was read; moved, values within their limits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/voice_settings.h"
#include "config/about_text.h"
#include "config/dialog_values.h"

using namespace Quellmar;

namespace {
int32_t Take(const uint8_t*& data, size_t& size) {
  int32_t v = 0;
  const size_t n = size < sizeof(v) ? size : sizeof(v);
  std::memcpy(&v, data, n);
  data += n;
  size -= n;
  return v;
}
void Check(bool ok) {
  if (!ok) std::abort();
}
bool Position(int p) { return p >= 0 && p <= 100; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  protocol::WorkerInfo reply{};
  std::memcpy(&reply, data, size < sizeof(reply) ? size : sizeof(reply));
  config::AboutFacts facts;
  facts.engine = config::EngineInfoFromReply(reply);
  Check(facts.engine.version.size() <= sizeof(reply.engine_version));
  Check(!config::ComposeAboutText(facts).empty());

  CustomVoiceSettings voice;
  voice.speed = Take(data, size);
  voice.pitch = Take(data, size);
  voice.volume = Take(data, size);
  for (auto& p : voice.pauses) p = Take(data, size);
  GlobalSettings global;
  global.rate_percent = Take(data, size);
  global.volume_percent = Take(data, size);
  const uint8_t flags = size > 0 ? data[0] : 0;
  voice.tags = flags & 1;
  voice.speak_punctuation = flags & 2;
  global.override_pauses = flags & 4;
  global.tags = flags & 8;
  global.speak_punctuation = flags & 16;
  for (auto& p : global.pauses) p = Take(data, size);
  config::DialogValues v;
  const config::SettingsBasis basis = config::LoadSettings(voice, global, v);
  for (int p : {v.rate, v.pitch, v.volume, v.sentence_pause, v.semicolon_pause, v.comma_pause,
                v.word_gap, v.extra_rate, v.extra_volume}) {
    Check(Position(p));
  }
  // Nothing changed: what was read is saved, whatever it was.
  Check(config::SettingsFromValues(v, basis) == config::SavedSettings{voice, global});

  // Every slider moved to a position of the input's: values in range.
  for (int* p : {&v.rate, &v.pitch, &v.volume, &v.sentence_pause, &v.semicolon_pause,
                 &v.comma_pause, &v.word_gap, &v.extra_rate, &v.extra_volume}) {
    *p = static_cast<int>(static_cast<uint32_t>(Take(data, size)) % 101);
  }
  config::SettingsBasis fresh;  // nothing anchored
  const config::SavedSettings s = config::SettingsFromValues(v, fresh);
  Check(kSpeedRange.Limit(s.voice.speed) == s.voice.speed);
  Check(kPitchRange.Limit(s.voice.pitch) == s.voice.pitch);
  Check(kVolumeRange.Limit(s.voice.volume) == s.voice.volume);
  Check(kRatePercentRange.Limit(s.global.rate_percent) == s.global.rate_percent);
  Check(kVolumePercentRange.Limit(s.global.volume_percent) == s.global.volume_percent);
  for (int i = 0; i < 4; ++i) Check(kPauseRanges[i].Limit(s.voice.pauses[i]) == s.voice.pauses[i]);
  return 0;
}
