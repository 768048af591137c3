#!/usr/bin/env bash
# Orvane.exe packed with one firmware slot whose group keeps the build's placeholder records (no
# constraint: every drive accepted), started with /S under Wine, which offers no drive (see
# window_one_slot.sh): no box is even asked for, no window appears, the start-up ends at the
# no-match decision (no silent update is started) and the exit code is 3.
. "$(dirname "$0")/../lib/common.sh"
orv_init "$@"

orv_manifest_one_slot "$WORK/manifest.json"
orv_pack "$WORK/manifest.json" "$BUILD/Orvane.exe" "$WORK/Orvane-fw.exe"
orv_fresh_log

orv_trace_boxes "$WORK/Orvane-fw.exe" /S
orv_wait_exit_windowless 60
[ "$RC" = 3 ] || fail "exit code $RC, expected 3"
# The trace is there (Wine read the relay list) but holds no box.
grep -q 'RelayInclude' "$WORK/program.out" || fail "no relay trace in $WORK/program.out"
mapfile -t calls < <(orv_box_calls)
((${#calls[@]} == 0)) || fail "a silent run asked for boxes: ${calls[*]}"

orv_check_log_has "gScanType: 1, CNT: 0"
orv_check_log_has "MainForm: 2"
orv_check_log_lacks "MainForm: 5" "an update was started after no drive matched"
orv_check_last_log_line "EXIT_ERROR: 0x3"
echo "PASS: $CHECK"
