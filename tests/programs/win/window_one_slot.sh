#!/usr/bin/env bash
# Orvane.exe packed with one firmware slot whose group 0 accepts every drive (its first record is
# empty: no model, no firmware bounds), on the virtual display. Wine offers no drive to scan, so
# the start-up ends with the no-match box ("Error", error icon, OK; the built package lists matched
# drives only, so the text is that one line), never shows the main window, and exits with code 3
# once the box is answered.
#
# What the program sees under Wine (measured with Wine 8's relay trace):
# - the disk interface set is empty (SetupDiEnumDeviceInterfaces finds nothing): the ATA scan has
#   no disk to open and sends no command ("ATA_DEV_CNT: 0 / 0");
# - "\\.\SCSI0:" to "\\.\SCSI15:" do not open (error 2): no CSMI driver, no phy table, no drive
#   ("CSMI_DEV_CNT: 0"), so the scan ends with gScanType 1 and a count of 0;
# - WMI does list two "Wine Disk Drive"s, but the scan takes its disks from the interface set
#   (the enumeration, expecting WMI's two, runs all 11 passes and still finds none).
# So the refusal comes from the empty scan, not from the eligibility records.
# Wine's message box ignores MB_TOPMOST, so "topmost" is checked in the request (relay trace).
. "$(dirname "$0")/../lib/common.sh"
orv_init "$@"

orv_manifest_one_slot "$WORK/manifest.json"
# One record with no model and no bounds: it accepts every drive by comparison.
sed -i 's/"records": \[\]/"records": [{}]/' "$WORK/manifest.json"
grep -qF '"records": [{}]' "$WORK/manifest.json" || fail "cannot give the slot an empty record"
orv_pack "$WORK/manifest.json" "$BUILD/Orvane.exe" "$WORK/Orvane-fw.exe"
orv_fresh_log

orv_trace_boxes "$WORK/Orvane-fw.exe"
wid=$(orv_find_window 60 '^Error$') || fail "no box captioned 'Error' within 60 s; visible: $(orv_visible_windows)"
title=$(xdotool getwindowname "$wid")
[ "$title" = "Error" ] || fail "the box is captioned '$title', expected 'Error'"
shown=$(orv_visible_windows)
[ "$shown" = "$wid Error" ] || fail "more than the box is visible: $shown"

# What the box shows.
orv_probe_box Error "$WORK/box.txt"
grep -qE '^icon: -?[0-9]+ -?[0-9]+ -?[0-9]+ -?[0-9]+$' "$WORK/box.txt" ||
    fail "the box shows no icon: $(cat "$WORK/box.txt")"
[ "$(grep '^button: ' "$WORK/box.txt")" = "button: OK" ] ||
    fail "the box's buttons are not just OK: $(cat "$WORK/box.txt")"
sed '1,/^text:$/d' "$WORK/box.txt" >"$WORK/box-text.txt"
cmp -s "$WORK/box-text.txt" <(printf 'No matched drives detected !\n') ||
    fail "the box's text is '$(cat -A "$WORK/box-text.txt")', expected 'No matched drives detected !\n'"
orv_screenshot "$BUILD/test-results/no_match_box.png"

# What the program asked for: one box, OK button, error icon, topmost.
mapfile -t calls < <(orv_box_calls)
((${#calls[@]} == 1)) || fail "${#calls[@]} MessageBoxW calls, expected 1: ${calls[*]}"
IFS='|' read -r flags caption text <<<"${calls[0]}"
[ "$caption" = "Error" ] && [ "$text" = 'No matched drives detected !\n' ] ||
    fail "the box asked for is '$caption' / '$text'"
flags=$((16#$flags))
((flags & 0xF)) && fail "the box has buttons other than OK (flags $flags)"
(((flags & 0xF0) == 0x10)) || fail "the box's icon is not MB_ICONERROR (flags $flags)"
((flags & 0x40000)) || fail "the box is not asked to be topmost (flags $flags)"

orv_answer_box "$wid"
orv_wait_exit 30
[ "$RC" = 3 ] || fail "exit code $RC, expected 3"

orv_check_log_has "ATA_DEV_CNT: 0 / 0 "
for port in $(seq 0 15); do orv_check_log_has "Scanning csmi$port,0 "; done
orv_check_log_has "CSMI_DEV_CNT: 0"
orv_check_log_has "gScanType: 1, CNT: 0"
orv_check_log_has "MainForm: 2"
for line in "MainForm: 3" "MainForm: 5" "FormShow: 2"; do
    orv_check_log_lacks "$line" "the start-up went on after the no-match box"
done
orv_check_last_log_line "EXIT_ERROR: 0x3"
echo "PASS: $CHECK"
