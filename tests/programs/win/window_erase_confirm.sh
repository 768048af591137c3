#!/usr/bin/env bash
# orvane-simwin with /ERASE on the virtual display, the 240 GB drive behind the USB bridge (E:)
# selected: a click on the button asks "Erase drive", naming the disk in the log as in the box;
# Return takes the default button, No: nothing is erased and the run ends with exit code 1.
. "$(dirname "$0")/../lib/common.sh"
orv_init "$@"
[ -n "$WINE" ] || fail "this check needs a Windows build"
[ -f "$BUILD/orvane-simwin.exe" ] || fail "no $BUILD/orvane-simwin.exe"

orv_make_image "$WORK/fw.bin" 394240 9
orv_simwin_package erase '"bListMatchedOnly": true, "bWinFlash": true' U0512D5 U0512A0 U0512D4 "MERETH SSD 240GB"
orv_fresh_log
orv_start "$WORK/erase.exe" --speed 1 -- /ERASE
WID=$(orv_find_window 60 '^Mereth Orvane') || fail "no main window within 60 s; visible: $(orv_visible_windows)"
sleep 1
orv_click_update "$BUILD/test-results/erase_confirm_window.png"
BOX=$(orv_find_window 30 '^Erase drive$') || fail "the click asked nothing; visible: $(orv_visible_windows); log: $(tail -n 5 "$LOG")"
orv_screenshot "$BUILD/test-results/erase_confirm_box.png"
orv_check_log_has "ERASE: asking to erase MERETH SSD 240GB, serial MU240E0000000004, 240.1 GB, drive letters E:"
orv_answer_box "$BOX"
orv_wait_exit 60
[ "$RC" = 1 ] || fail "exit code $RC, expected 1 (not confirmed): $(tail -n 5 "$WORK/program.out")"
orv_check_log_has "ERASE: not confirmed"
orv_check_log_lacks "EraseAll START"
echo "PASS: $CHECK"
