#!/usr/bin/env bash
# Orvane.exe packed without firmware, started with /S: no box at all, exit code 4.
. "$(dirname "$0")/../lib/common.sh"
orv_init "$@"

orv_manifest_no_slots "$WORK/manifest.json"
orv_pack "$WORK/manifest.json" "$BUILD/Orvane.exe" "$WORK/Orvane-nofw.exe"
orv_fresh_log

orv_start "$WORK/Orvane-nofw.exe" /S
orv_wait_exit_windowless 30
[ "$RC" = 4 ] || fail "exit code $RC, expected 4"
orv_check_last_log_line "EXIT_ERROR: 0x4"
echo "PASS: $CHECK"
