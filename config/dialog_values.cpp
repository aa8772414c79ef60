#include "config/dialog_values.h"

#include "common/text_prep.h"
#include "common/voices.h"
#include "config/slider_scales.h"

namespace Quellmar::config {
namespace {

void LoadVoiceSliders(const CustomVoiceSettings& voice, DialogValues& v) {
  v.rate = PositionForValue(Scale::kSpeed, voice.speed);
  v.pitch = PositionForValue(Scale::kPitch, voice.pitch);
  v.volume = PositionForValue(Scale::kVolume, voice.volume);
  v.sentence_pause = PositionForValue(Scale::kPause, voice.pauses[0]);
  v.semicolon_pause = PositionForValue(Scale::kPause, voice.pauses[1]);
  v.comma_pause = PositionForValue(Scale::kPause, voice.pauses[2]);
  v.word_gap = PositionForValue(Scale::kWordGap, voice.pauses[3]);
}

}  // namespace

void LoadSettings(const CustomVoiceSettings& voice, const GlobalSettings& global,
                  DialogValues& values) {
  LoadVoiceSliders(voice, values);
  values.extra_rate = PositionForValue(Scale::kExtraRate, global.rate_percent);
  values.extra_volume = PositionForValue(Scale::kExtraVolume, global.volume_percent);
  values.pauses_for_every_voice = global.override_pauses;
  values.speak_punctuation = voice.speak_punctuation || global.speak_punctuation;
  values.obey_tags = voice.tags || global.tags;
}

void CopyPreset(int row, DialogValues& values) {
  // The ready-made voice's own derivation: truncated pauses, limited.
  LoadVoiceSliders(PresetVoiceSettings(row), values);
}

void ResetToShipped(DialogValues& values) {
  const SavedSettings shipped = ShippedSettings();
  LoadVoiceSliders(shipped.voice, values);
  values.extra_rate = PositionForValue(Scale::kExtraRate, shipped.global.rate_percent);
  values.extra_volume = PositionForValue(Scale::kExtraVolume, shipped.global.volume_percent);
  values.pauses_for_every_voice = false;
  values.speak_punctuation = false;
  values.obey_tags = false;
}

SavedSettings SettingsFromValues(const DialogValues& v) {
  SavedSettings s;
  s.voice.speed = ValueForPosition(Scale::kSpeed, v.rate);
  s.voice.pitch = ValueForPosition(Scale::kPitch, v.pitch);
  s.voice.volume = ValueForPosition(Scale::kVolume, v.volume);
  s.voice.pauses = {ValueForPosition(Scale::kPause, v.sentence_pause),
                    ValueForPosition(Scale::kPause, v.semicolon_pause),
                    ValueForPosition(Scale::kPause, v.comma_pause),
                    ValueForPosition(Scale::kWordGap, v.word_gap)};
  s.voice.tags = v.obey_tags;
  s.voice.speak_punctuation = v.speak_punctuation;
  s.global.rate_percent = ValueForPosition(Scale::kExtraRate, v.extra_rate);
  s.global.volume_percent = ValueForPosition(Scale::kExtraVolume, v.extra_volume);
  s.global.override_pauses = v.pauses_for_every_voice;
  s.global.pauses = s.voice.pauses;
  s.global.tags = s.voice.tags;
  s.global.speak_punctuation = s.voice.speak_punctuation;
  return s;
}

SavedSettings ShippedSettings() {
  // The records' own defaults are the shipped values.
  return SavedSettings{};
}

CustomVoiceSettings LimitForStorage(CustomVoiceSettings voice) {
  voice.speed = kSpeedRange.Limit(voice.speed);
  voice.pitch = kPitchRange.Limit(voice.pitch);
  voice.volume = kVolumeRange.Limit(voice.volume);
  LimitPauses(voice.pauses);
  return voice;
}

RenderSetup PreviewRenderSetup(const DialogValues& values) {
  const SavedSettings s = SettingsFromValues(values);
  return ComputeRenderParams(s.voice, s.global, 0, 0, 100);
}

std::wstring PreviewText(const std::wstring& sentence, bool speak_punctuation) {
  std::wstring text = CollapseWhitespace(sentence);
  if (speak_punctuation) text = NamePunctuation(text);
  return text;
}

}  // namespace Quellmar::config
