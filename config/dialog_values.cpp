#include "config/dialog_values.h"

#include "common/text_prep.h"
#include "common/voices.h"
#include "config/slider_scales.h"

namespace Quellmar::config {
namespace {

struct SliderField {
  int DialogValues::*position;
  Scale scale;
};
// In the order of SettingsBasis::anchors.
constexpr std::array<SliderField, kSliderCount> kFields = {{
    {&DialogValues::rate, Scale::kSpeed},
    {&DialogValues::pitch, Scale::kPitch},
    {&DialogValues::volume, Scale::kVolume},
    {&DialogValues::sentence_pause, Scale::kPause},
    {&DialogValues::semicolon_pause, Scale::kPause},
    {&DialogValues::comma_pause, Scale::kPause},
    {&DialogValues::word_gap, Scale::kWordGap},
    {&DialogValues::extra_rate, Scale::kExtraRate},
    {&DialogValues::extra_volume, Scale::kExtraVolume},
}};
constexpr int kVoiceSliders = 7;  // the first seven are the custom voice's

using SliderValues = std::array<int32_t, kSliderCount>;

SliderValues ValuesOf(const CustomVoiceSettings& voice, const GlobalSettings& global) {
  return {voice.speed,     voice.pitch,         voice.volume,
          voice.pauses[0], voice.pauses[1],     voice.pauses[2],
          voice.pauses[3], global.rate_percent, global.volume_percent};
}

// Sliders [first, last) show `values`, anchored there.
void Show(const SliderValues& values, int first, int last, DialogValues& v, SettingsBasis& basis) {
  for (int i = first; i < last; ++i) {
    const int position = PositionForValue(kFields[i].scale, values[i]);
    v.*kFields[i].position = position;
    basis.anchors[i] = {position, values[i]};
  }
}

// The anchored value while the slider stays at its anchor, else the position's.
int32_t ValueOfSlider(int i, const DialogValues& v, const SettingsBasis& basis) {
  const int position = v.*kFields[i].position;
  const SliderAnchor& anchor = basis.anchors[i];
  return position == anchor.position ? anchor.value : ValueForPosition(kFields[i].scale, position);
}

}  // namespace

SettingsBasis LoadSettings(const CustomVoiceSettings& voice, const GlobalSettings& global,
                           DialogValues& values) {
  SettingsBasis basis;
  basis.read = {voice, global};
  Show(ValuesOf(voice, global), 0, kSliderCount, values, basis);
  values.pauses_for_every_voice = global.override_pauses;
  values.speak_punctuation = voice.speak_punctuation || global.speak_punctuation;
  values.obey_tags = voice.tags || global.tags;
  basis.loaded = values;
  return basis;
}

void CopyPreset(int row, DialogValues& values, SettingsBasis& basis) {
  // The ready-made voice's own derivation: truncated pauses, limited.
  Show(ValuesOf(PresetVoiceSettings(row), GlobalSettings{}), 0, kVoiceSliders, values, basis);
}

void ResetToShipped(DialogValues& values, SettingsBasis& basis) {
  const SavedSettings shipped = ShippedSettings();
  Show(ValuesOf(shipped.voice, shipped.global), 0, kSliderCount, values, basis);
  values.pauses_for_every_voice = false;
  values.speak_punctuation = false;
  values.obey_tags = false;
}

SavedSettings SettingsFromValues(const DialogValues& v, const SettingsBasis& basis) {
  SliderValues n{};
  for (int i = 0; i < kSliderCount; ++i) n[i] = ValueOfSlider(i, v, basis);
  const SavedSettings& read = basis.read;
  SavedSettings s = read;
  s.voice.speed = n[0];
  s.voice.pitch = n[1];
  s.voice.volume = n[2];
  s.voice.pauses = {n[3], n[4], n[5], n[6]};
  s.global.rate_percent = n[7];
  s.global.volume_percent = n[8];
  // A box shows either record's switch; only a change of it sets both.
  if (v.obey_tags != basis.loaded.obey_tags) s.voice.tags = s.global.tags = v.obey_tags;
  if (v.speak_punctuation != basis.loaded.speak_punctuation) {
    s.voice.speak_punctuation = s.global.speak_punctuation = v.speak_punctuation;
  }
  s.global.override_pauses = v.pauses_for_every_voice;
  // The global pauses are not shown: they follow the sliders only when the
  // box applies these to every voice and the box or the slider changed.
  const bool box_changed = v.pauses_for_every_voice != basis.loaded.pauses_for_every_voice;
  for (int i = 0; i < 4; ++i) {
    if (v.pauses_for_every_voice && (box_changed || s.voice.pauses[i] != read.voice.pauses[i])) {
      s.global.pauses[i] = s.voice.pauses[i];
    }
  }
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

PreviewRequest MakePreviewRequest(const DialogValues& values, const SettingsBasis& basis,
                                  const std::wstring& sentence) {
  const SavedSettings s = SettingsFromValues(values, basis);
  const RenderSetup setup = ComputeRenderParams(s.voice, s.global, 0, 0, 100);
  return {ToEngineText(PreviewText(sentence, setup.speak_punctuation)), setup.params};
}

std::wstring PreviewText(const std::wstring& sentence, bool speak_punctuation) {
  std::wstring text = CollapseWhitespace(sentence);
  if (speak_punctuation) text = NamePunctuation(text);
  return text;
}

}  // namespace Quellmar::config
