#!/usr/bin/env bash
# The host's actions and the events as a SAPI host sees them:
# - an abort raised after 20000 bytes stops the audio within one 4096-byte
#   write and Speak returns S_OK;
# - a skip makes the engine call CompleteSkip and end the utterance;
# - a rate change raised during the first fragment applies from the next one;
# - markup: bookmarks 42, x7 and an empty one, a word event at the text's
#   place in the host's string, a 250 ms silence of 8000 bytes, spelled text.
set -uo pipefail
source "$(dirname "$0")/sapi_lib.sh"
sapi_begin
sapi_register
bad=0
long="This sentence is long enough to be stopped while it is being spoken, and it goes on for a while so that the abort lands in the middle."

out=$(host speak --voice-attrs "Quellmar=oskel" --text "$long" --out "$(winpath "$SAPI_ART/actions-full.wav")") || fail "$out"
full=$(field "$out" bytes)
out=$(host speak --voice-attrs "Quellmar=oskel" --text "$long" --out "$(winpath "$SAPI_ART/actions-abort.wav")" \
      --action abort --after-bytes 20000) || fail "$out"
echo "abort after 20000 bytes: $out"
bytes=$(field "$out" bytes); after=$(field "$out" after_action)
[ "$(field "$out" hr)" = "0x00000000" ] || { echo "Speak did not return S_OK on abort"; bad=1; }
[ "$(field "$out" action)" = 1 ] || { echo "the abort was never asked for"; bad=1; }
[ "$after" -le 4096 ] && [ "$bytes" -le $((20000 + 4096 + 4096)) ] && [ "$bytes" -lt "$full" ] ||
  { echo "audio went on after the abort: $bytes of $full bytes, $after after it"; bad=1; }
wav_bytes=$(( $(stat -c %s "$SAPI_ART/actions-abort.wav") - 44 ))
[ "$wav_bytes" -eq "$bytes" ] || { echo "the WAV file holds $wav_bytes bytes, the site took $bytes"; bad=1; }

out=$(host speak --voice-attrs "Quellmar=oskel" --text "$long" --action skip --after-bytes 8192) || fail "$out"
echo "skip after 8192 bytes: $out"
[ "$(field "$out" skips)" = 1 ] && [ "$(field "$out" skip_count)" = 0 ] || { echo "CompleteSkip(0) was not called once"; bad=1; }
[ "$(field "$out" bytes)" -lt "$full" ] || { echo "the skip did not end the utterance"; bad=1; }

# Two spoken fragments; the rate rises to 10 during the first (after its
# first write): the second is four times as fast.
xml='<silence msec="10"/>the quick brown fox jumps over the lazy dog<bookmark mark="1"/>the quick brown fox jumps over the lazy dog'
out=$(host speak --voice-attrs "Quellmar=oskel" --xml --text "$xml" --events --action rate --value 10 --after-bytes 1000) || fail "$out"
offsets=($(grep -E '^event id=(7|4) ' <<<"$out" | sed -E 's/.* offset=([0-9]+).*/\1/'))
# sentence(frag 2) at o1, bookmark at o2, sentence(frag 4) at o3 = o2; end of stream
end=$(grep '^event id=2 ' <<<"$out" | sed -E 's/.* offset=([0-9]+).*/\1/')
first=$(( offsets[1] - offsets[0] )); second=$(( end - offsets[2] ))
echo "rate raised during the first fragment: $first bytes, then $second bytes"
within "$(ratio "$second" "$first")" 0.25 0.08 || { echo "the rate change did not apply from the next fragment"; bad=1; }

xml='<bookmark mark="42"/><bookmark mark="x7"/><bookmark mark=""/>Hello<silence msec="250"/><spell>ab</spell>'
out=$(host speak --voice-attrs "Quellmar=oskel" --xml --text "$xml" --events --out "$(winpath "$SAPI_ART/actions-markup.wav")") || fail "$out"
echo "$out"
grep -q '^event id=4 type=4 offset=0 wparam=42 .* text="42"$' <<<"$out" || { echo "no bookmark 42 event"; bad=1; }
grep -q '^event id=4 type=4 offset=0 wparam=0 .* text="x7"$' <<<"$out" || { echo "no bookmark x7 event"; bad=1; }
grep -q '^event id=4 type=0 offset=0 wparam=0 lparam=[0-9]*$' <<<"$out" || { echo "no empty bookmark event"; bad=1; }
grep -q '^event id=5 type=0 offset=0 wparam=5 lparam=61$' <<<"$out" || { echo "no word event for Hello"; bad=1; }
sentences=($(grep '^event id=7 ' <<<"$out" | sed -E 's/.* offset=([0-9]+).*/\1/'))
[ "${#sentences[@]}" -eq 2 ] || { echo "not one sentence event per spoken fragment"; bad=1; }
# The spelled fragment's audio starts right after 8000 zero bytes (250 ms).
spell_at=${sentences[1]:-0}
if [ "$spell_at" -lt 8000 ] || ! cmp -s -n 8000 /dev/zero \
    <(tail -c +$((44 + spell_at - 8000 + 1)) "$SAPI_ART/actions-markup.wav"); then
  echo "no 250 ms of silence before the spelled text"
  bad=1
fi
exit $bad
