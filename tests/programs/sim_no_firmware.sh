#!/usr/bin/env bash
# orvane-sim packed without firmware: the "No F/W" box, exit code 4, and the log's last line.
. "$(dirname "$0")/lib/common.sh"
orv_init "$@"

orv_manifest_no_slots "$WORK/manifest.json"
SIM=$WORK/orvane-sim-nofw$EXE
orv_pack "$WORK/manifest.json" "$BUILD/orvane-sim$EXE" "$SIM"
orv_fresh_log

orv_sim "$WORK/out.txt"
grep -qE '^\[box\] caption="[^"]*" text="No F/W in executable !" buttons=OK -> OK$' "$WORK/out.txt" ||
    fail "no OK box with the text 'No F/W in executable !'; output: $(cat "$WORK/out.txt")"
orv_check_exit "$WORK/out.txt" 4
orv_check_last_log_line "EXIT_ERROR: 0x4"
echo "PASS: $CHECK"
