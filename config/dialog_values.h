// What the configuration dialog's controls hold, and how it is filled from
// and turned into the stored settings: the open, Copy its settings, Reset,
// Save and the preview all go through here, so the window code only moves
// numbers in and out of its controls. Portable.
#pragma once

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
};

// The sliders and the three setting boxes from the stored records; the
// dictionary and log boxes are the caller's (they come from other stores).
void LoadSettings(const CustomVoiceSettings& voice, const GlobalSettings& global,
                  DialogValues& values);

// The seven custom-voice sliders from a ready-made voice (row 0..6): its
// speed, pitch, volume and derived pauses. Nothing else changes.
void CopyPreset(int row, DialogValues& values);

// The sliders at the shipped values' positions, the three setting boxes
// cleared; the dictionary and log boxes are left alone.
void ResetToShipped(DialogValues& values);

// What Save writes: the custom voice from its sliders and boxes, the global
// record from the extra sliders and the override box, sharing the voice's
// pauses and switches.
SavedSettings SettingsFromValues(const DialogValues& values);

// The shipped records that the command-line reset writes.
SavedSettings ShippedSettings();

// The custom voice limited to what may be stored.
CustomVoiceSettings LimitForStorage(CustomVoiceSettings voice);

// The preview's render parameters: the records Save would write, at SAPI's
// neutral rate and pitch and full volume.
RenderSetup PreviewRenderSetup(const DialogValues& values);

// The preview's text: white space collapsed, punctuation named when asked.
std::wstring PreviewText(const std::wstring& sentence, bool speak_punctuation);

}  // namespace Quellmar::config
