#include "config/slider_scales.h"

#include <algorithm>
#include <cmath>

#include "common/voice_settings.h"

namespace Quellmar::config {
namespace {

int LimitPosition(double p) {
  return static_cast<int>(std::clamp(p, double{kSliderMin}, double{kSliderMax}));
}

// nearest(p / 100 * span) + low
int32_t Linear(int p, Range range) {
  return Nearest(p / 100.0 * (range.high - range.low)) + range.low;
}

// nearest((clamp(v) - low) * 100 / span)
int LinearPosition(int32_t v, Range range) {
  const double span = range.high - range.low;
  return LimitPosition(Nearest((range.Limit(v) - range.low) * 100.0 / span));
}

}  // namespace

int32_t Nearest(double x) { return static_cast<int32_t>(std::round(x)); }

int32_t ValueForPosition(Scale scale, int position) {
  const int p = std::clamp(position, kSliderMin, kSliderMax);
  switch (scale) {
    case Scale::kSpeed: return Linear(p, kSpeedRange);
    case Scale::kPitch: return Linear(p, kPitchRange);
    case Scale::kVolume: return Linear(p, kVolumeRange);
    case Scale::kPause: return Linear(p, kPauseRanges[0]);
    case Scale::kWordGap: return Linear(p, kPauseRanges[3]);
    case Scale::kExtraRate:
      // 0 is a quarter, 25 half, 50 unchanged, 75 double, 100 four times.
      return Nearest(100.0 * std::pow(4.0, p / 50.0 - 1.0));
    case Scale::kExtraVolume: return 2 * p;
  }
  return 0;
}

int PositionForValue(Scale scale, int32_t value) {
  switch (scale) {
    case Scale::kSpeed: return LinearPosition(value, kSpeedRange);
    case Scale::kPitch: return LinearPosition(value, kPitchRange);
    case Scale::kVolume: return LinearPosition(value, kVolumeRange);
    case Scale::kPause: return LinearPosition(value, kPauseRanges[0]);
    case Scale::kWordGap: return LinearPosition(value, kPauseRanges[3]);
    case Scale::kExtraRate: {
      const double v = kRatePercentRange.Limit(value);
      return LimitPosition(Nearest((std::log(v / 100.0) / std::log(4.0) + 1.0) * 50.0));
    }
    case Scale::kExtraVolume: return LimitPosition(kVolumePercentRange.Limit(value) / 2);
  }
  return 0;
}

}  // namespace Quellmar::config
