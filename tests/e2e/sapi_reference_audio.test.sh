#!/usr/bin/env bash
# Every voice's audio, byte for byte. Each of the eight voices speaks one
# long text through SpVoice into a WAV file (three chunks for the worker,
# the first exactly 400 characters long), and the SHA-256 of its samples
# must be the reference below, recorded from the build that rendered each
# chunk whole: however the worker and the renderer cut their work, the
# voices must not change by a single sample. Settings are the defaults (no
# custom voice or global record, no quellmar.ini, host rate 0, volume 100).
#
# When the voices change on purpose (the engine core, the voice table, the
# rendering arithmetic), print the new table with
#   QM_REFERENCE_AUDIO_PRINT=1 tests/e2e/sapi_reference_audio.test.sh
# listen to the WAV files in build/artefacts/sapi/reference-*.wav, and
# replace the table.
set -uo pipefail

# Recorded from main at dc130ed (the clearer stand-in voice), which rendered
# each chunk whole. The custom voice's defaults are the plain voice's, hence
# the same digest.
declare -A reference=(
  [oskel]=731a7a450ae7989a4779ec004cc6e0cf3b2c8aa96411f9c5c708fe003995f6b5
  [deep]=80455829cd5cea2a776e2b57335162e1f9465ff14dcc72edc11f8a64498658ba
  [bright]=3a79dd70c8021a0b9060c44d356a63ae4b43d3d63a4e496756f90de1bbade3bc
  [brisk]=e752e0f31beca767d41409369379e78413018907f6606174c2918ce8c5dcb06d
  [measured]=232a93418bf47d5dd6107ad8c772783507931e80a028b5fe3f926e8d23187576
  [announcer]=90e563c4174bc09b0f50a83805471f87b6d1e2f0bba136c65087bc1682623178
  [clipped]=35020652b4618b2e616cf171433808af9ee1a04427c68776da5c5e204d2113fd
  [custom]=731a7a450ae7989a4779ec004cc6e0cf3b2c8aa96411f9c5c708fe003995f6b5
)

source "$(dirname "$0")/sapi_lib.sh"
[ -x "$SAPI_QMTOOL" ] || { echo "SKIP: $SAPI_QMTOOL is not built"; exit 77; }
sapi_begin

text="Screen readers hand a voice whole paragraphs when they read a document from top to bottom, \
and they stop it again at every key the user presses. The voice has to start at once and stop at once, \
whatever the length of the text it was given. This paragraph is one such piece of text, written so that \
the first chunk the engine is sent holds exactly four hundred characters and ends with this last line. \
Then the reading goes on: the weather today is mild, with a light breeze from the west; later in the \
evening there may be a little rain over the hills. Please remember to save your work before closing the \
document, and check the spelling of the last paragraph. Seven hundred and fifty two people attended the \
meeting on the third of March, and most of them stayed for the questions at the end. The quick brown fox \
jumps over the lazy dog, and then it does so once again, because the sentence is so short."
chunks=$(printf '%s' "$text" | "$SAPI_QMTOOL" text --op chunks | awk '{ printf "%s ", length($0) }')
[ "$chunks" = "400 393 110 " ] || fail "the text no longer makes chunks of 400, 393 and 110 characters: $chunks"

ini="$WINEPREFIX/drive_c/windows/quellmar.ini"
saved_ini=$(mktemp)
had_ini=0
[ -f "$ini" ] && { cp "$ini" "$saved_ini"; had_ini=1; rm -f "$ini"; }
cleanup() {
  if [ $had_ini = 1 ]; then cp "$saved_ini" "$ini"; fi
  rm -f "$saved_ini"
  sapi_restore
}
trap cleanup EXIT
sapi_register
for key in CustomVoice Global; do
  "$QM_WINE" reg delete "HKCU\\Software\\Quellmar SAPI5\\$key" /f </dev/null >/dev/null 2>&1
done

bad=0
for v in "${SAPI_VOICES[@]}"; do
  wav="$SAPI_ART/reference-$v.wav"
  out=$(host speak --voice-attrs "Quellmar=$v" --text "$text" --out "$(winpath "$wav")") || fail "speak $v: $out"
  [ "$(field "$out" hr)" = "0x00000000" ] || fail "speak $v: $out"
  # The stand-in runtime writes a 44-byte header; the samples follow.
  [ "$(head -c 4 "$wav")" = RIFF ] && [ "$(tail -c +37 "$wav" | head -c 4)" = data ] || fail "$wav: not a plain WAV file"
  digest=$(tail -c +45 "$wav" | sha256sum | cut -d' ' -f1)
  seconds=$(awk -v b="$(($(stat -c %s "$wav") - 44))" 'BEGIN { printf "%.2f", b / 32000 }')
  if [ -n "${QM_REFERENCE_AUDIO_PRINT:-}" ]; then
    printf '  [%s]=%s\n' "$v" "$digest"
  elif [ "$digest" = "${reference[$v]}" ]; then
    echo "$v: ${seconds}s, as recorded"
  else
    echo "$v: ${seconds}s, sha256 $digest, recorded ${reference[$v]}"
    bad=1
  fi
done
exit $bad
