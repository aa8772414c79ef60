// What the configuration dialog's controls hold, and how it is filled from
// and turned into the stored settings: the open, Copy its settings, Reset,
// Save and the preview all go through here, so the window code only moves
// numbers in and out of its controls. Portable.
//
// A slider has 101 positions and most stored values fall between two of
// them, so a position alone would change what it shows when saved (650 ms
// becomes 660). The dialog therefore remembers the exact value it put into
// each slider itself (on opening, Copy its settings, Reset) together with
// the position that shows it; while the slider stays there, that value is
// what Save writes and the preview uses. A switch whose box was not changed
// keeps both its stored values, and the global pauses are the sliders' only
// while the box that applies them to every voice is ticked and they moved.
#pragma once

#include <array>
#include <string>

#include "common/render_settings.h"
#include "common/voice_settings.h"

namespace Quellmar::config {

struct DialogValues {
  // Slider positions, 0..100.
  int rate = 0;
  int pitch = 0;
  int volume = 0;
  int sentence_pause = 0;
  int semicolon_pause = 0;
  int comma_pause = 0;
  int word_gap = 0;
  int extra_rate = 0;
  int extra_volume = 0;
  // Check boxes.
  bool pauses_for_every_voice = false;
  bool speak_punctuation = false;
  bool obey_tags = false;
  bool custom_dictionary = false;
  bool diagnostic_log = false;
};

// The two records as Save writes them from the controls.
struct SavedSettings {
  CustomVoiceSettings voice;
  GlobalSettings global;
  bool operator==(const SavedSettings&) const = default;
};

inline constexpr int kSliderCount = 9;

// The exact stored value behind a slider position the dialog set itself.
struct SliderAnchor {
  int position = -1;
  int32_t value = 0;
};

// What the dialog was opened with, and what it has put into its sliders since.
struct SettingsBasis {
  SavedSettings read;   // the records as read when the dialog opened
  DialogValues loaded;  // the controls as they were first filled
  // In the order rate, pitch, volume, the three pauses, word gap, extra
  // rate, extra volume.
  std::array<SliderAnchor, kSliderCount> anchors;
};

// The sliders and the three setting boxes from the stored records, anchored
// at the values read; `values.custom_dictionary` and `values.diagnostic_log`
// come from other stores and are the caller's, set before this call.
SettingsBasis LoadSettings(const CustomVoiceSettings& voice, const GlobalSettings& global,
                           DialogValues& values);

// The seven custom-voice sliders from a ready-made voice (row 0..6): its
// speed, pitch, volume and derived pauses. Nothing else changes.
void CopyPreset(int row, DialogValues& values, SettingsBasis& basis);

// The sliders at the shipped values, the three setting boxes cleared; the
// dictionary and log boxes are left alone.
void ResetToShipped(DialogValues& values, SettingsBasis& basis);

// What Save writes: the custom voice from its sliders and boxes, the global
// record from the extra sliders and the override box. What the user did not
// change is what was read.
SavedSettings SettingsFromValues(const DialogValues& values, const SettingsBasis& basis);

// The shipped records that the command-line reset writes.
SavedSettings ShippedSettings();

// The custom voice limited to what may be stored.
CustomVoiceSettings LimitForStorage(CustomVoiceSettings voice);

// What the preview synthesizes: the sentence prepared and converted as the
// engine gets it, and the render parameters of the records Save would write,
// at SAPI's neutral rate and pitch and full volume.
struct PreviewRequest {
  std::string engine_text;
  RenderParams params;
};
PreviewRequest MakePreviewRequest(const DialogValues& values, const SettingsBasis& basis,
                                  const std::wstring& sentence);

// The preview's text: white space collapsed, punctuation named when asked.
std::wstring PreviewText(const std::wstring& sentence, bool speak_punctuation);

}  // namespace Quellmar::config
