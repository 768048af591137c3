#!/usr/bin/env bash
# Orvane.exe packed with one firmware slot and the built options, on the virtual display: the
# start-up passes (Wine's user is an administrator), the main window appears captioned from the
# header texts, and closing it ends the program with exit code 0.
. "$(dirname "$0")/../lib/common.sh"
orv_init "$@"

caption="Mereth Orvane Utility for Windows (v3.1.10)"
orv_manifest_one_slot "$WORK/manifest.json"
orv_pack "$WORK/manifest.json" "$BUILD/Orvane.exe" "$WORK/Orvane-fw.exe"
orv_fresh_log

orv_start "$WORK/Orvane-fw.exe"
wid=$(orv_find_window 60 '^Mereth Orvane') || fail "no main window within 60 s; visible: $(orv_visible_windows)"
title=$(xdotool getwindowname "$wid")
[ "$title" = "$caption" ] || fail "the window is captioned '$title', expected '$caption'"
orv_screenshot "$BUILD/test-results/window.png"

# Alt+F4 is how a user closes it; Wine turns it into the window's close command.
xdotool windowfocus "$wid" 2>/dev/null
xdotool key --clearmodifiers alt+F4 2>/dev/null
orv_wait_exit 30
[ "$RC" = 0 ] || fail "exit code $RC, expected 0"
orv_check_log_has "FormShow: 2"
orv_check_last_log_line "EXIT_ERROR: 0x0"
echo "PASS: $CHECK"
