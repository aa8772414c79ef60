#include "diagnostics/sample_texts.h"

#include <cmath>

#include "common/render_settings.h"
#include "common/text_prep.h"
#include "common/voice_settings.h"
#include "common/voices.h"
#include "diagnostics/output.h"

namespace Quellmar::diag {

RenderParams DefaultRenderParams() {
  RenderParams p;
  p.duration_factor = 1.0;
  p.pitch_factor = 1.0;
  p.gain_factor = 1.0;
  p.tags = false;
  p.pauses = {650, 500, 350, 7};
  return p;
}

double DurationFactorForSpeed(int speed) { return DurationForSpeed(speed); }

double PitchFactorForPitch(int pitch) { return std::pow(2.0, SemitonesForPitch(pitch) / 12); }

double GainFactorForVolume(int volume) { return kVolumeRange.Limit(volume) / 32767.0; }

RenderParams LatencyAppliedParams() {
  RenderParams p = DefaultRenderParams();
  p.duration_factor = 9.0 / 14.0;
  p.pitch_factor = std::pow(2.0, 17.0 / 56.0);
  p.gain_factor = 1.3;
  return p;
}

std::vector<EngineSample> EngineSamplePlan() {
  std::vector<EngineSample> plan;
  auto add = [&plan](std::wstring file, std::wstring text, RenderParams params) {
    plan.push_back({std::move(file), std::move(text), params});
  };
  const RenderParams base = DefaultRenderParams();

  add(L"engine_01_default.wav",
      L"This is Quellmar, speaking with the parameters the engine itself was shipped with.", base);

  for (int speed : {85, 120, 175, 260, 350}) {
    RenderParams p = base;
    p.duration_factor = DurationFactorForSpeed(speed);
    add(Format(L"engine_02_speed_%03d_wpm.wav", speed),
        Format(L"This is %d words a minute on the Quellmar speed scale. %ls", speed, kPangram), p);
  }
  for (int pitch : {45, 54, 63, 77, 91}) {
    RenderParams p = base;
    p.pitch_factor = PitchFactorForPitch(pitch);
    add(Format(L"engine_03_pitch_%02d.wav", pitch),
        Format(L"Pitch %d on the Quellmar scale, %+.1f semitones. %ls", pitch,
               SemitonesForPitch(pitch), kPangram),
        p);
  }
  for (int volume : {6553, 16384, 32767, 49151, 65535}) {
    RenderParams p = base;
    p.gain_factor = GainFactorForVolume(volume);
    add(Format(L"engine_04_volume_%05d.wav", volume),
        Format(L"Volume %d on the Quellmar scale. %ls", volume, kPangram), p);
  }

  RenderParams none = base, long_pauses = base;
  none.pauses = {0, 0, 0, 0};
  long_pauses.pauses = {1500, 1200, 900, 30};
  add(L"engine_05_pauses_default.wav", kPausesText, base);
  add(L"engine_05_pauses_none.wav", kPausesText, none);
  add(L"engine_05_pauses_long.wav", kPausesText, long_pauses);

  for (int i = 0; i < kPresetCount; ++i) {
    const VoicePreset& row = kVoicePresets[i];
    RenderParams p = base;
    p.duration_factor = DurationFactorForSpeed(row.speed);
    p.pitch_factor = PitchFactorForPitch(row.pitch);
    p.gain_factor = GainFactorForVolume(row.volume);
    p.pauses = PresetVoiceSettings(i).pauses;
    p.tags = false;
    add(Format(L"engine_06_voice_%d_%ls.wav", i + 1, row.key),
        std::wstring(L"This is ") + row.display_name + L". " + row.description +
            L" The quick brown fox jumps over the lazy dog.",
        p);
  }

  add(L"engine_07_numbers.wav",
      L"In 1998 the price rose 7 percent to $42.50, and 3.14159 is close enough to pi. Call "
      L"555-1234 at 9:30 a.m. on July 4th.",
      base);
  add(L"engine_08_abbreviations.wav",
      L"Dr. Okonkwo lives at 100 N. Harbour St. and works Mon. to Fri., approx. 40 hrs.", base);
  add(L"engine_09_punctuation.wav", L"Wait -- what? Really! (Yes.) A; B: C, D... and so it ends.",
      base);
  add(L"engine_10_symbols.wav",
      L"Write to help@quellmar.example or read www.quellmar.co.uk for 50% off.", base);
  add(L"engine_11_accents.wav",
      L"A caf\u00e9 in Z\u00fcrich served a na\u00efve r\u00e9sum\u00e9 with jalape\u00f1os "
      L"\u2014 \u201cvery good,\u201d he said.",
      base);
  add(L"engine_12_long_paragraph.wav", kLongParagraph, base);
  add(L"engine_13_spelled.wav", SpellOut(L"Quellmar 2001"), base);
  add(L"engine_14_punctuation_named.wav", NamePunctuation(L"C:\\Program Files\\Quellmar (x86)"),
      base);

  RenderParams tags = base;
  tags.tags = true;
  add(L"engine_15_tags_bookmark.wav",
      L"\\mrk=42\\ A bookmark tag reaches the engine and comes back out of get_bookmark.", tags);
  add(L"engine_16_tags_literal.wav",
      L"With tags off, a path like C:\\spd=250\\notes is read as a path.", base);

  RenderParams fast_low = base, slow_high = base;
  fast_low.duration_factor = 0.25;
  fast_low.pitch_factor = std::pow(2.0, -0.5);
  slow_high.duration_factor = 4.0;
  slow_high.pitch_factor = std::pow(2.0, 0.5);
  add(L"engine_17_fast_and_low.wav",
      std::wstring(L"This is as fast and as low as the wrapper will go. ") + kPangram, fast_low);
  add(L"engine_18_slow_and_high.wav",
      std::wstring(L"This is as slow and as high as the wrapper will go. ") + kPangram, slow_high);
  return plan;
}

}  // namespace Quellmar::diag
