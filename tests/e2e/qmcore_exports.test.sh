#!/usr/bin/env bash
# Both builds of qmcore.dll (32-bit as shipped, 64-bit for the tests) export
# exactly the engine core's 17 entry points under their decorated names.
#   QM_QMCORE_32 / QM_QMCORE_64 name other builds of the library.
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"

expected="_PhonEnc_to_PhonSyl@24
_PhonSyl_to_Wav@8
_close_SSB@4
_close_phon@4
_get_av_version@4
_get_channels_allowed@0
_get_pausation@4
_get_snd_bps@0
_get_snd_fmt@0
_get_snd_sps@0
_initialize_SSB@12
_isSeg_Available@4
_open_phon@16
_set_pausation@8
_set_tag_flag@8
_synth_to_buffer@12
_synthesize@8"

bad=0
check() {  # check <dll> <objdump> <image format>
  local dll=$1 objdump=$2 image=$3 fmt names
  if [ ! -f "$dll" ]; then
    echo "missing $dll"
    bad=1
    return
  fi
  fmt=$("$objdump" -f "$dll" | sed -n 's/.*file format //p')
  [ "$fmt" = "$image" ] || { echo "$dll: format '$fmt', expected '$image'"; bad=1; }
  names=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\] //p' | LC_ALL=C sort)
  if [ "$names" != "$(LC_ALL=C sort <<<"$expected")" ]; then
    echo "$dll: export names differ from the engine core's entry points:"
    diff <(LC_ALL=C sort <<<"$expected") <(echo "$names")
    bad=1
  else
    echo "$dll: 17 entry points exported"
  fi
}

check "${QM_QMCORE_32:-$QM_BUILD/win32/engine_core/qmcore.dll}" i686-w64-mingw32-objdump pei-i386
check "${QM_QMCORE_64:-$QM_BUILD/win64-test/engine_core/qmcore.dll}" x86_64-w64-mingw32-objdump pei-x86-64
exit $bad
