#!/usr/bin/env bash
# orvane-sim packed with one firmware slot and the built options, on the built-in machine:
# the caption from the built header texts, no start-up box, the window shown, exit code 0.
. "$(dirname "$0")/lib/common.sh"
orv_init "$@"

orv_manifest_one_slot "$WORK/manifest.json"
SIM=$WORK/orvane-sim-fw$EXE
orv_pack "$WORK/manifest.json" "$BUILD/orvane-sim$EXE" "$SIM"
orv_fresh_log

orv_sim "$WORK/out.txt"
orv_check_line "$WORK/out.txt" "[caption] Mereth Orvane Utility for Windows (v3.1.10)"
orv_check_line "$WORK/out.txt" "[window] shown"
# Built options: no warning, no notice; with an eligible drive no box comes before the window.
before=$(sed -n '/^\[window\] shown$/q;p' "$WORK/out.txt" | grep '^\[box\]')
[ -z "$before" ] || fail "a box before the window was shown: $before"
orv_check_exit "$WORK/out.txt" 0
orv_check_last_log_line "EXIT_ERROR: 0x0"
echo "PASS: $CHECK"
