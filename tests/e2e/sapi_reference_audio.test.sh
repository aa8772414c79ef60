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

# Recorded from main at a77150a (the stand-in voice with clearer stops and
# nasals). The voice before it gave these same digests through the worker
# that rendered each chunk whole and through the streaming one. The custom
# voice's defaults are the plain voice's, hence the same digest.
declare -A reference=(
  [oskel]=76ac6cef25b219d78b60bf4e73883aaef03db450966f9ec611ae9352dff065b6
  [deep]=807a118a4be7505d4b6a6e75aa7555854ea95bd7a237b3ecd61079ffa1e190c3
  [bright]=679d978d4a83bae1de7b9f8a85a70ae2da5d91566a15b11213d06906fc1a4adb
  [brisk]=016f6a83640ad09dfdd5cfb07b39bcd5c440e38138b2e65aac2bd3609559d4ec
  [measured]=502c6f7a9670ee0b7c53a0b347ecd097ceb4ce4ea1de003e125da9647d3ef325
  [announcer]=23c376c645eaf11bb3fca4311ef509f8fe6a6bb89f2472703af49fe542256bc5
  [clipped]=4254cfdeb9ab2a7bd73cadf91588aec3606641b4b2c224960ace3339d17c6449
  [custom]=76ac6cef25b219d78b60bf4e73883aaef03db450966f9ec611ae9352dff065b6
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
