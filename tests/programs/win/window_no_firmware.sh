#!/usr/bin/env bash
# Orvane.exe packed without firmware, on the virtual display: an "Error" box (its text is
# "No F/W in executable !"), answered with Return; exit code 4 and the log's last line.
. "$(dirname "$0")/../lib/common.sh"
orv_init "$@"

orv_manifest_no_slots "$WORK/manifest.json"
orv_pack "$WORK/manifest.json" "$BUILD/Orvane.exe" "$WORK/Orvane-nofw.exe"
orv_fresh_log

orv_start "$WORK/Orvane-nofw.exe"
wid=$(orv_find_window 30 '^Error$') ||
    fail "no box captioned 'Error' within 30 s; visible windows: $(orv_visible_windows)"
title=$(xdotool getwindowname "$wid")
[ "$title" = "Error" ] || fail "the box is captioned '$title', expected 'Error'"
orv_screenshot "$BUILD/test-results/no_firmware_box.png"
orv_answer_box "$wid"
orv_wait_exit 30
[ "$RC" = 4 ] || fail "exit code $RC, expected 4"
orv_check_last_log_line "EXIT_ERROR: 0x4"
echo "PASS: $CHECK"
