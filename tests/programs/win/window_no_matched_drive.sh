#!/usr/bin/env bash
# Orvane.exe packed with one firmware slot and the built options, on the virtual display.
# Wine offers no disk the program can identify (an empty disk interface set, error 50 for
# every pass-through request), so no drive is eligible: the start-up shows its "Error" box
# ("No matched drives detected !"), the main window, already captioned from the built header
# texts, stays hidden, and the program ends with exit code 3.
. "$(dirname "$0")/../lib/common.sh"
orv_init "$@"

caption="Mereth Orvane Utility for Windows (v3.1.10)"
orv_manifest_one_slot "$WORK/manifest.json"
orv_pack "$WORK/manifest.json" "$BUILD/Orvane.exe" "$WORK/Orvane-fw.exe"
orv_fresh_log

orv_start "$WORK/Orvane-fw.exe"
# Wait for the box; a main window shown instead, or an early end, fails at once.
wid=
end=$((SECONDS + 60))
while [ -z "$wid" ]; do
    shown=$(orv_visible_windows)
    wid=$(awk '$2 == "Error" && NF == 2 { print $1; exit }' <<<"$shown")
    [ -n "$wid" ] && break
    if grep -qF " $caption" <<<"$shown"; then
        orv_screenshot "$BUILD/test-results/window.png"
        fail "the main window was shown, though no drive is eligible under Wine; visible windows: $shown"
    fi
    kill -0 "$PID" 2>/dev/null || { orv_wait_exit 1; fail "the program ended (exit code $RC) without the box"; }
    ((SECONDS < end)) || fail "no box captioned 'Error' within 60 s; visible windows: $shown"
    sleep 0.2
done
title=$(xdotool getwindowname "$wid")
[ "$title" = "Error" ] || fail "the box is captioned '$title', expected 'Error'"
orv_screenshot "$BUILD/test-results/window.png"

# The main window exists (hidden) with its caption while the box is up.
found=
for w in $(xdotool search --all --pid "$PID" --name '^Mereth Orvane' 2>/dev/null); do
    [ "$(xdotool getwindowname "$w")" = "$caption" ] && found=$w
done
[ -n "$found" ] || fail "no window of the program is captioned exactly '$caption'"

orv_answer_box "$wid"
orv_wait_exit 30
[ "$RC" = 3 ] || fail "exit code $RC, expected 3"
orv_check_log_has "MainForm: 2"
orv_check_last_log_line "EXIT_ERROR: 0x3"
echo "PASS: $CHECK"
