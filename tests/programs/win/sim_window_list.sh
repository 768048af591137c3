#!/usr/bin/env bash
# orvane-simwin (the real window over the built-in simulated machine), packed with two slots whose
# records accept the 512 GB SATA drive and the NVMe drive (the rest are refused), on the virtual
# display. Walking the drive list with the
# keyboard, every item is checked by screenshot at the drawing's colours and places: the selected
# item's gradient, its icon (green badge: may be updated; red: may not), the firmware line (navy
# and orange revisions) or the refusal in dark red, and the NVMe selectors for an NVMe drive.
# Then the same package in the Chinese text set: the refusal and the caption drawn with CJK glyphs.
. "$(dirname "$0")/../lib/common.sh"
orv_init "$@"
[ -n "$WINE" ] || fail "this check needs a Windows build"
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY for the window checks"
# Places in the window's client area (the layout's): the drive list at (8, 92), 433 wide; the
# firmware line at y 141; the NVMe selectors, captioned, in two rows: the slot's list at y 165
# and the activation's at y 192, both lists right of the captions (x 85 and on in English, 75 in
# Chinese); the regions are inside them.
LIST_X=8
LIST_Y=92
PLAIN_X=$((LIST_X + 380))        # a column of the item clear of its icon and text
BADGE_X=$((LIST_X + 10 + 21))    # the icon at (left + 10, top); its badge at (21, 16)
BADGE_DY=16
LINE=(8 136 290 162)             # the firmware line
FW_SLOT=(100 167 140 183)
COMMIT=(100 194 200 210)

NAVY=0,0,128
ORANGE=255,128,0
DARK_RED=128,0,0
BLACK=0,0,0
WHITE=255,255,255
GREEN_BADGE=34,160,60
RED_BADGE=200,40,40

# make_manifest FILE LANGUAGE
make_manifest() {
    orv_make_image "$WORK/fw.bin" 394240 11
    orv_make_image "$WORK/nvme.bin" 10000 12
    cat >"$1" <<JSON || fail "cannot write $1"
{
  "iVisualStyle": 0,
  "iLanguage": $2,
  "options": { "bListMatchedOnly": false, "bAutoFlashAll": false, "bWinFlash": true },
  "slots": [
    {
      "image": "fw.bin",
      "new_fw": "S0614C0",
      "fw_ext": "S0614C0",
      "encipher": false,
      "records": [ { "fws": "S0614A0", "fwe": "S0614B0", "model": "MERETH SSD 512GB" } ]
    },
    {
      "image": "nvme.bin",
      "new_fw": "N0812D0",
      "fw_ext": "N0812D0",
      "encipher": false,
      "records": [ { "fws": "N0812A0", "fwe": "N0812C1", "model": "NVMe MERETH SSD 1TB" } ]
    }
  ]
}
JSON
}

# shot NAME: a screenshot as PPM in SHOT, and the client area's origin in OX, OY (found by the
# banner's first colour, which only its left column has).
shot() {
    local png=$BUILD/test-results/sim_window_$1.png
    sleep 0.7 # let the window finish painting
    orv_screenshot "$png"
    SHOT=$WORK/$1.ppm
    /usr/bin/convert "$png" "ppm:$SHOT" || fail "cannot convert $png"
    orv_pixels "$SHOT" find 10,30,90
    read -r OX OY <<<"$OUT"
    [ "$OX" != none ] || fail "no banner in the screenshot $png: is the window on screen?"
}

# In client coordinates of the last shot, answers in OUT: px X Y; count X0 Y0 X1 Y1 COLOUR;
# glyphs X0 Y0 X1 Y1 COLOUR.
px() { orv_pixels "$SHOT" at $((OX + $1)) $((OY + $2)); }
count() { orv_pixels "$SHOT" count $((OX + $1)) $((OY + $2)) $((OX + $3)) $((OY + $4)) "$5"; }
glyphs() { orv_pixels "$SHOT" glyphs $((OX + $1)) $((OY + $2)) $((OX + $3)) $((OY + $4)) "$5"; }

# expect_px X Y COLOUR WHAT
expect_px() {
    px "$1" "$2"
    [ "$OUT" = "$3" ] || fail "$4: pixel ($1, $2) is $OUT, expected $3 (screenshot $SHOT)"
}

# check_item: the selected item as drawn in the list's field; sets KIND to ready or refused and
# NVME to 1 when the NVMe selectors show.
check_item() {
    local y top
    # The item's first band: the list has the focus, so its item is drawn as selected.
    orv_pixels "$SHOT" column $((OX + PLAIN_X)) $((OY + LIST_Y)) $((OY + LIST_Y + 12)) 242,242,255
    y=$OUT
    [ "$y" != none ] || fail "item $ITEM: no first band (242,242,255) in the list at x $PLAIN_X"
    top=$((y - OY))
    expect_px $PLAIN_X $((top + 14)) 225,242,253 "item $ITEM: last band of the upper half"
    expect_px $PLAIN_X $((top + 15)) 200,223,255 "item $ITEM: first band of the lower half"
    expect_px $PLAIN_X $((top + 27)) 172,207,255 "item $ITEM: last band"
    local badge
    px $BADGE_X $((top + BADGE_DY)); badge=$OUT
    local navy orange red
    count "${LINE[@]}" $NAVY; navy=$OUT
    count "${LINE[@]}" $ORANGE; orange=$OUT
    count "${LINE[@]}" $DARK_RED; red=$OUT
    case $badge in
    "$GREEN_BADGE")
        KIND=ready
        ((navy > 10 && orange > 10)) || fail "item $ITEM may be updated, but the firmware line shows $navy navy and $orange orange pixels"
        ((red == 0)) || fail "item $ITEM may be updated, but $red dark red pixels show"
        ;;
    "$RED_BADGE")
        KIND=refused
        ((red > 30)) || fail "item $ITEM may not be updated, but only $red dark red pixels show"
        ((navy == 0 && orange == 0)) || fail "item $ITEM may not be updated, but the revisions show"
        ;;
    *) fail "item $ITEM: no icon at ($BADGE_X, $((top + BADGE_DY))): $badge" ;;
    esac
    local slot commit
    count "${FW_SLOT[@]}" $WHITE; slot=$OUT
    count "${COMMIT[@]}" $WHITE; commit=$OUT
    if ((slot > 200 && commit > 200)); then
        NVME=1
    elif ((slot == 0 && commit == 0)); then
        NVME=0
    else
        fail "item $ITEM: the NVMe selectors show in part ($slot and $commit white pixels)"
    fi
}

# start LANGUAGE: packs and starts the program; sets WID.
start() {
    make_manifest "$WORK/manifest-$1.json" "$1"
    orv_pack "$WORK/manifest-$1.json" "$BUILD/orvane-simwin.exe" "$WORK/simwin-$1.exe"
    orv_start "$WORK/simwin-$1.exe"
    WID=$(orv_find_window 60 '^Mereth Orvane') || fail "no main window within 60 s; visible: $(orv_visible_windows)"
}

stop() {
    xdotool windowfocus "$WID" 2>/dev/null
    xdotool key --clearmodifiers alt+F4 2>/dev/null
    orv_wait_exit 30
    [ "$RC" = 0 ] || fail "exit code $RC, expected 0: $(tail -n 5 "$WORK/program.out")"
}

[ -f "$BUILD/orvane-simwin.exe" ] || fail "no $BUILD/orvane-simwin.exe"

# --- English: every item of the list
start 0
shot start
ITEM=selected
check_item
[ "$KIND" = ready ] || fail "the start-up selects the last drive that may be updated; the selected item is $KIND"

xdotool key --clearmodifiers Home 2>/dev/null
ready=0 refused=0 nvme=0 items=0
last=
for ITEM in $(seq 0 15); do
    shot "item$ITEM"
    sum=$(md5sum <"$SHOT")
    [ "$sum" = "$last" ] && break # Down on the last item changes nothing
    last=$sum
    check_item
    items=$((items + 1))
    [ "$KIND" = ready ] && ready=$((ready + 1))
    [ "$KIND" = refused ] && refused=$((refused + 1))
    nvme=$((nvme + NVME))
    echo "item $ITEM: $KIND, NVMe selectors $NVME"
    xdotool key --clearmodifiers Down 2>/dev/null
done
((items >= 3)) || fail "only $items items in the list"
((ready >= 1 && refused >= 1)) || fail "the list has $ready drives that may be updated and $refused that may not"
((nvme >= 1)) || fail "no item showed the NVMe selectors"
stop

# --- Chinese text set: an item that may not be updated shows the refusal in CJK glyphs.
start 1
shot zh-start
ITEM=selected
check_item
# The caption before the revisions, in black: full-width glyphs, not boxes.
glyphs 8 136 200 162 $BLACK
read -r runs distinct width <<<"$OUT"
((runs >= 3 && distinct >= 3 && width >= 8)) ||
    fail "the Chinese caption is not drawn in CJK glyphs: $runs glyphs, $distinct shapes, mean width $width"
xdotool key --clearmodifiers Home 2>/dev/null
for ITEM in $(seq 0 15); do
    shot "zh-item$ITEM"
    check_item
    [ "$KIND" = refused ] && break
    xdotool key --clearmodifiers Down 2>/dev/null
done
[ "$KIND" = refused ] || fail "no item that may not be updated in the Chinese run"
glyphs "${LINE[@]}" $DARK_RED
read -r runs distinct width <<<"$OUT"
((runs >= 4 && distinct >= 4 && width >= 8)) ||
    fail "the Chinese refusal is not drawn in CJK glyphs: $runs glyphs, $distinct shapes, mean width $width"
stop
echo "PASS: $CHECK"
