#!/usr/bin/env bash
# orvane-simwin updating the 512 GB drive from the keyboard alone, on the virtual display: Return
# pressed in the window starts nothing (there is no default button); Tab moves from the drive
# list to Update, and Space there starts the update, which ends as a click's does: the
# "Information" box, the restart question, exit code 0, the drive found again with S0614C0.
. "$(dirname "$0")/../lib/common.sh"
orv_init "$@"
[ -n "$WINE" ] || fail "this check needs a Windows build"
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY for the window checks"
[ -f "$BUILD/orvane-simwin.exe" ] || fail "no $BUILD/orvane-simwin.exe"

orv_tagged_image "$WORK/fw.bin" 394240 S0614C0 GM802030 21 64
orv_simwin_package keys '"bListMatchedOnly": true, "bWinFlash": true, "ReBoot": true'
orv_fresh_log
orv_start "$WORK/keys.exe" --speed 1
WID=$(orv_find_window 60 '^Mereth Orvane') || fail "no main window within 60 s; visible: $(orv_visible_windows)"
sleep 1
xdotool windowfocus "$WID" 2>/dev/null
xdotool key --clearmodifiers Return 2>/dev/null
sleep 2
! grep -qF 'Windows Flash START' "$LOG" || fail "Return started the update"
kill -0 "$PID" 2>/dev/null || fail "the program ended on Return"
xdotool key --clearmodifiers Tab 2>/dev/null
sleep 0.3
xdotool key --clearmodifiers space 2>/dev/null
for ((i = 0; i < 600; i++)); do
    grep -qF 'Start UpdateFW' "$LOG" 2>/dev/null && break
    sleep 0.1
done
grep -qF 'Start UpdateFW' "$LOG" || fail "Tab and Space did not start the update: $(tail -n 5 "$LOG")"
BOX=$(orv_find_window 120 '^Information$') || fail "no 'Information' box after the update; visible: $(orv_visible_windows)"
orv_screenshot "$BUILD/test-results/window_keyboard_box.png"
orv_answer_box "$BOX"
BOX=$(orv_find_window 30 '^Question$') || fail "no restart question; visible: $(orv_visible_windows)"
orv_answer_box "$BOX"
orv_wait_exit 60
[ "$RC" = 0 ] || fail "exit code $RC, expected 0: $(tail -n 5 "$WORK/program.out")"
for line in 'ThreadDone ok' 'Flash finished !'; do
    grep -qF -- "$line" "$LOG" || fail "no '$line' in the log $LOG"
done
grep -q 'FW_CMP_1:(0) S0614C0' "$LOG" || fail "the drive was not found again with S0614C0"
echo "PASS: $CHECK"
