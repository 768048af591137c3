#!/usr/bin/env bash
# The window at 96, 144 and 192 DPI, each set as the system's (the prefix's LogPixels, which this
# check sets and puts back; Wine reads HKCU\Control Panel\Desktop, not the hardware profile's
# Fonts key): the window tests' DPI table runs again, now with the system's own frame and caption
# at that DPI (client sizes, the caption's whole title, the unattended panel's bar), and the real
# program (orvane-simwin over its simulated machine) is shot at each DPI and checked at the scaled
# places: the banner's height, the selected item's bands and its icon's badge.
. "$(dirname "$0")/../lib/common.sh"
orv_init "$@"
[ -n "$WINE" ] || fail "this check needs a Windows build"
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY for the window checks"
for f in orvane-simwin.exe orvane_win32_tests.exe; do [ -f "$BUILD/$f" ] || fail "no $BUILD/$f"; done
# shows X Y COLOUR: whether the shot has COLOUR at (X, Y); OUT holds the colour it has.
shows() { orv_pixels "$SHOT" at "$1" "$2" && [ "$OUT" = "$3" ]; }

KEY='HKCU\Control Panel\Desktop'
reg_dpi() { orv_exec 60 reg.exe query "$KEY" /v LogPixels 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_DWORD *0x\([0-9a-fA-F]*\).*/\1/p'; }
set_dpi() { orv_exec 60 reg.exe add "$KEY" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 || fail "cannot set LogPixels $1"; }
# The other checks of this prefix run at the DPI it had.
ORIGINAL=$(reg_dpi)
restore_dpi() {
    local rc=$?
    if [ -n "$ORIGINAL" ]; then
        set_dpi $((16#$ORIGINAL))
    else
        orv_exec 60 reg.exe delete "$KEY" /v LogPixels /f >/dev/null 2>&1
    fi
    orv_cleanup "$rc"
}
trap restore_dpi EXIT

# scale LENGTH DPI: the 96-DPI length at DPI, halves rounded up (as the window scales).
scale() { echo $((($1 * $2 + 48) / 96)); }

orv_make_image "$WORK/fw.bin" 394240 11
orv_simwin_package simwin '"bListMatchedOnly": false, "bAutoFlashAll": false, "bWinFlash": true'

for DPI in 96 144 192; do
    set_dpi $DPI
    [ "$((16#$(reg_dpi)))" = $DPI ] || fail "LogPixels reads $(reg_dpi), not $DPI"

    # The window tests' DPI cases, at this system DPI.
    orv_exec 120 "$BUILD/orvane_win32_tests.exe" \
        --gtest_filter='AtEachDpi/WindowDpi.*:WindowDpiCaption.*:WindowDpiMove.*:AtEachDpi/NvmeSelectors.*' \
        >"$WORK/gtest-$DPI.out" 2>&1 || fail "window tests at $DPI DPI: $(grep -a 'FAILED\|Failure' "$WORK/gtest-$DPI.out" | head -n 20)"
    grep -aqF '[  PASSED  ] 11 tests.' "$WORK/gtest-$DPI.out" ||
        fail "window tests at $DPI DPI did not all run: $(tail -n 5 "$WORK/gtest-$DPI.out")"

    # The program itself.
    orv_start "$WORK/simwin.exe"
    WID=$(orv_find_window 60 '^Mereth Orvane') || fail "$DPI DPI: no main window within 60 s; visible: $(orv_visible_windows)"
    sleep 1
    eval "$(xdotool getwindowgeometry --shell "$WID" 2>/dev/null)" || fail "$DPI DPI: no geometry"
    ((WIDTH >= $(scale 449 $DPI))) || fail "$DPI DPI: the window is $WIDTH pixels wide, less than its client area"
    png=$BUILD/test-results/window_dpi_$DPI.png
    orv_screenshot "$png"
    SHOT=$WORK/shot-$DPI.ppm
    /usr/bin/convert "$png" "ppm:$SHOT" || fail "cannot convert $png"
    orv_pixels "$SHOT" find 10,30,90
    read -r OX OY <<<"$OUT"
    [ "$OX" != none ] || fail "$DPI DPI: no banner in $png"
    # The banner's first column runs down its scaled height and stops there.
    banner=$(scale 65 $DPI)
    shows "$OX" $((OY + banner - 1)) 10,30,90 || fail "$DPI DPI: the banner ends before $banner rows ($png)"
    ! shows "$OX" $((OY + banner + 1)) 10,30,90 || fail "$DPI DPI: the banner runs past $banner rows ($png)"
    # The selected item (the drive that may be updated): its first band at the list's scaled
    # place, then its icon's badge at the scaled (21, 16) of the icon at the scaled (10, 0).
    x=$((OX + $(scale 388 $DPI)))
    orv_pixels "$SHOT" column "$x" $((OY + $(scale 92 $DPI))) $((OY + $(scale 104 $DPI))) 242,242,255
    [ "$OUT" != none ] || fail "$DPI DPI: no selected item at the list's place ($png)"
    top=$OUT
    # The gradient's lower half starts after half its 3-pixel bands: rows 15, 24 and 30 of items
    # 32, 48 and 64 high.
    lower=$(($(scale 32 $DPI) / 3 / 2 * 3))
    shows "$x" $((top + lower)) 200,223,255 ||
        fail "$DPI DPI: the item's lower half does not start at row $lower: $OUT ($png)"
    shows $((OX + $(scale 8 $DPI) + $(scale 10 $DPI) + $(scale 21 $DPI))) $((top + $(scale 16 $DPI))) 34,160,60 ||
        fail "$DPI DPI: no badge of the scaled icon: $OUT ($png)"
    # The firmware line in navy and orange, at its scaled row.
    line=($((OX + $(scale 8 $DPI))) $((OY + $(scale 136 $DPI))) $((OX + $(scale 300 $DPI))) $((OY + $(scale 162 $DPI))))
    orv_pixels "$SHOT" count "${line[@]}" 0,0,128
    ((OUT > 10 * DPI / 96)) || fail "$DPI DPI: the old revision is not on its line ($OUT navy pixels, $png)"
    echo "$DPI DPI: window $WIDTH x $HEIGHT, client origin ($OX, $OY), item top $top; $png"
    xdotool windowfocus "$WID" 2>/dev/null
    xdotool key --clearmodifiers alt+F4 2>/dev/null
    orv_wait_exit 30
    [ "$RC" = 0 ] || fail "$DPI DPI: exit code $RC: $(tail -n 5 "$WORK/program.out")"
done
echo "PASS: $CHECK"
