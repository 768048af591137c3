#!/usr/bin/env bash
# orvane-simwin (the real window over the built-in simulated machine) updates the 512 GB drive
# (S0614B0 to S0614C0) at real-time speed, twice:
# - unattended ("/T:" the drive): the compact window "Updating firmware" with its progress bar,
#   caught by screenshots while the update runs; the bar's fill grows from shot to shot, from part
#   way to the last shot before the question at the end covers it; the question is answered and
#   the program ends, exit code 0;
# - by a click on Update: the flash worker thread runs while the real Win32 message loop goes on
#   (closing the window meanwhile is refused with a box), the "Flash finished !" box and the
#   restart question are answered, exit code 0.
# Both runs' logs show the download, the thread's end and the drive found again with S0614C0.
. "$(dirname "$0")/../lib/common.sh"
orv_init "$@"
[ -n "$WINE" ] || fail "this check needs a Windows build"
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY for the window checks"
[ -f "$BUILD/orvane-simwin.exe" ] || fail "no $BUILD/orvane-simwin.exe"

# The image the simulated drive takes: its tag (docs/machine-format.md) at byte 64 names the new
# revision and the drive's DEF text: "ORVSIMFW", both texts blank-padded to 8, the length (LE).
SIZE=394240
orv_tagged_image "$WORK/fw.bin" $SIZE S0614C0 GM802030 21 64

# make_package NAME OPTIONS: orvane-simwin packed with one slot for the 512 GB drive.
make_package() { orv_simwin_package "$1" '"bListMatchedOnly": true, "bWinFlash": true, "ReBoot": true'"$2"; }

check_updated_log() {
    local line
    for line in 'Start UpdateFW' 'ThreadDone ok' 'Flash finished !'; do
        grep -qF -- "$line" "$LOG" || fail "$1: no '$line' in the log $LOG"
    done
    grep -q 'S0614C0' "$LOG" || fail "$1: the log never names the new revision"
    ! grep -q 'STOP UPDATE\|Flash Failed' "$LOG" || fail "$1: the log reports a failure"
}

# --- unattended: the compact window's progress bar
HILIGHT=$(orv_exec 60 reg.exe query 'HKCU\Control Panel\Colors' /v Hilight 2>/dev/null |
    tr -d '\r' | sed -n 's/.*REG_SZ *\([0-9]*\) \([0-9]*\) \([0-9]*\).*/\1,\2,\3/p')
[ -n "$HILIGHT" ] || fail "cannot read the highlight colour the progress bar fills with"

make_package unattended ', "bUnattended": true'
orv_fresh_log
orv_start "$WORK/unattended.exe" --speed 1 -- '/T:\\.\PhysicalDrive0'
WID=$(orv_find_window 60 '^Updating firmware$') || fail "no window 'Updating firmware' within 60 s; visible: $(orv_visible_windows)"
fills=()
shots=()
boxed=0
n=0
while orv_window_exists "$WID" && ((n < 200)); do
    eval "$(xdotool getwindowgeometry --shell "$WID" 2>/dev/null)" || break
    png=$BUILD/test-results/window_update_unattended_$n.png
    n=$((n + 1))
    # The program may end while the shot is taken: a failed shot then ends the series.
    if ! (orv_screenshot "$png"); then
        orv_window_exists "$WID" && fail "screenshot to $png failed"
        break
    fi
    orv_window_exists "$WID" || break # gone while the shot was taken: it may show the desktop
    # The question at the end covers the bar; the bar waits at its end until it is answered.
    if (($(orv_visible_windows | wc -l) > 1)); then
        boxed=$((boxed + 1))
        if Q=$(orv_find_window 1 '^Question$'); then orv_answer_box "$Q"; fi
        sleep 0.5
        continue
    fi
    /usr/bin/convert "$png" "ppm:$WORK/shot.ppm" || fail "cannot convert $png"
    # 160 pixels of client area under the caption and frame (25 pixels in Wine at 96 DPI).
    ((HEIGHT >= 160 && HEIGHT <= 200)) || fail "the unattended window is $HEIGHT pixels high, not the compact 160 and its caption"
    orv_pixels "$WORK/shot.ppm" count "$X" "$Y" $((X + WIDTH)) $((Y + HEIGHT)) "$HILIGHT"
    fills+=("$OUT")
    shots+=("$png")
    sleep 0.5
done
orv_wait_exit 120
[ "$RC" = 0 ] || fail "unattended run: exit code $RC, expected 0: $(tail -n 5 "$WORK/program.out")"
echo "bar fill per shot (pixels in $HILIGHT): ${fills[*]}; $boxed shots with a box over the window"
((${#fills[@]} >= 4)) || fail "only ${#fills[@]} screenshots of the compact window"
prev=0 first=0
for i in "${!fills[@]}"; do
    ((fills[i] >= prev)) || fail "the bar went back from $prev to ${fills[i]} pixels (${shots[i]})"
    prev=${fills[i]}
    ((first == 0 && fills[i] > 0)) && first=$i
done
last=${fills[-1]}
((first > 0 && fills[first] > 0)) || fail "the bar never filled: ${fills[*]}"
# The bar's inside is about 415 x 14 pixels: at the end at least a quarter of it, and at least
# twice what the first filled shot showed.
((last >= 1500 && last >= 2 * fills[first])) ||
    fail "the bar did not grow to the end: ${fills[*]} (${shots[-1]})"
echo "part way: ${shots[first]} (${fills[first]} pixels); at the end: ${shots[-1]} ($last pixels)"
check_updated_log unattended

# --- a click on Update: the worker thread inside the real message loop
make_package click ''
orv_fresh_log
orv_start "$WORK/click.exe" --speed 1
WID=$(orv_find_window 60 '^Mereth Orvane') || fail "no main window within 60 s; visible: $(orv_visible_windows)"
sleep 1
orv_click_update "$BUILD/test-results/window_update_click_before.png"
# While the update runs, the window thread keeps serving its messages: closing the window (Alt+F4)
# is refused with a box at once, and the worker's completion still arrives through the loop.
for ((i = 0; i < 600; i++)); do
    grep -qF 'Start UpdateFW' "$LOG" 2>/dev/null && break
    sleep 0.1
done
grep -qF 'Start UpdateFW' "$LOG" || fail "the click did not start the update: $(tail -n 5 "$LOG")"
xdotool windowfocus "$WID" 2>/dev/null
xdotool key --clearmodifiers alt+F4 2>/dev/null
WARN=$(orv_find_window 30 '^Warning$') || fail "closing during the update showed no box; visible: $(orv_visible_windows)"
orv_answer_box "$WARN"
grep -qF 'FormClose: refused' "$LOG" || fail "no refusal of the close in the log"
BOX=$(orv_find_window 120 '^Information$') || fail "no 'Information' box after the update; visible: $(orv_visible_windows); log: $(tail -n 5 "$LOG")"
orv_screenshot "$BUILD/test-results/window_update_click_box.png"
orv_answer_box "$BOX"
# The drive asks for the system's restart: Yes (the simulated machine only records it).
BOX=$(orv_find_window 30 '^Question$') || fail "no restart question; visible: $(orv_visible_windows)"
orv_answer_box "$BOX"
orv_wait_exit 60
[ "$RC" = 0 ] || fail "click run: exit code $RC, expected 0: $(tail -n 5 "$WORK/program.out")"
check_updated_log click
# The order the window thread wrote: the refusal while the update ran, before its end.
refused=$(grep -nF 'FormClose: refused' "$LOG" | head -n 1 | cut -d: -f1)
finished=$(grep -nF 'Flash finished !' "$LOG" | head -n 1 | cut -d: -f1)
((refused < finished)) || fail "the close was refused only after the update had finished"
grep -nF -e 'Start UpdateFW' -e 'FormClose: refused' -e 'ThreadDone ok' "$LOG" | tr -d '\r'
echo "PASS: $CHECK"
