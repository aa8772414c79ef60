#!/usr/bin/env bash
# Each of the eight voices speaks the same text through SpVoice into a WAV
# file whose length and pitch differ from the plain voice's by the voice's
# own duration and pitch factors (within 5%); host rate -10 and +10 change
# the length by the rate curve's factors 4 and 1/4, and host volume 25 makes
# the audio a quarter as loud. WAV files: build/artefacts/sapi/voice-*.wav.
set -uo pipefail
source "$(dirname "$0")/sapi_lib.sh"
sapi_begin
[ -x "$SAPI_QMTOOL" ] || fail "missing $SAPI_QMTOOL"
sapi_register

# No punctuation: the voices' pause lengths differ, their speed and pitch are what is compared.
text="the quick brown fox jumps over the lazy dog and runs away into the green woods"
bad=0

speak_to() {  # speak_to <wav> <sapi_host speak args...>
  local wav=$1 out; shift
  out=$(host speak --text "$text" --out "$(winpath "$wav")" "$@") || fail "speak $*: $out"
  [ "$(field "$out" hr)" = "0x00000000" ] || fail "speak $*: $out"
}

speak_to "$SAPI_ART/voice-oskel.wav" --voice-attrs "Quellmar=oskel"
read -r _ base_active base_rms base_f0 < <(analyse "$SAPI_ART/voice-oskel.wav")
echo "oskel: active ${base_active}s, f0 ${base_f0} Hz, rms ${base_rms}"
awk -v a="$base_active" 'BEGIN { exit !(a > 1) }' || fail "the plain voice spoke less than a second"

for v in "${SAPI_VOICES[@]}"; do
  [ "$v" = oskel ] && continue
  wav="$SAPI_ART/voice-$v.wav"
  speak_to "$wav" --voice-attrs "Quellmar=$v"
  read -r _ active rms f0 < <(analyse "$wav")
  want_d=$(qm_param "$v" duration_factor)
  want_p=$(qm_param "$v" pitch_factor)
  got_d=$(ratio "$active" "$base_active")
  got_p=$(ratio "$f0" "$base_f0")
  printf '%-10s duration x%s (factor %.4f)  pitch x%s (factor %.4f)\n' "$v" "$got_d" "$want_d" "$got_p" "$want_p"
  within "$got_d" "$want_d" 0.05 || { echo "  $v: duration ratio off"; bad=1; }
  within "$got_p" "$want_p" 0.05 || { echo "  $v: pitch ratio off"; bad=1; }
done

# Host rate and volume, on the plain voice.
for case in "-10 4" "10 0.25"; do
  read -r rate factor <<<"$case"
  wav="$SAPI_ART/voice-oskel-rate$rate.wav"
  speak_to "$wav" --voice-attrs "Quellmar=oskel" --rate "$rate"
  read -r _ active _ _ < <(analyse "$wav")
  got=$(ratio "$active" "$base_active")
  echo "host rate $rate: duration x$got (expected x$factor)"
  within "$got" "$factor" 0.05 || { echo "  rate $rate: duration ratio off"; bad=1; }
done
wav="$SAPI_ART/voice-oskel-volume25.wav"
speak_to "$wav" --voice-attrs "Quellmar=oskel" --volume 25
read -r _ active rms _ < <(analyse "$wav")
# The active part is found by a level threshold, so compare the energy over the whole file.
got=$(awk -v r="$rms" -v a="$active" -v br="$base_rms" -v ba="$base_active" 'BEGIN { printf "%.4f", (r * sqrt(a)) / (br * sqrt(ba)) }')
echo "host volume 25: loudness x$got (expected x0.25)"
within "$got" 0.25 0.05 || { echo "  volume 25: loudness off"; bad=1; }
exit $bad
