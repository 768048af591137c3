#!/usr/bin/env bash
# orvane-sim acting as the user (--actions): a click on Update reaches the program's handler, a
# press on the hidden Close button or on a disabled Update does nothing, the engineering chord
# opens the file dialog that the script answers, a power query outside an update passes, the
# automatic-flash timer fires in simulated time, and closing the window ends the run. A bad
# action is a usage error that names it.
. "$(dirname "$0")/lib/common.sh"
orv_init "$@"

orv_manifest_one_slot "$WORK/manifest.json"
SIM=$WORK/orvane-sim-fw$EXE
orv_pack "$WORK/manifest.json" "$BUILD/orvane-sim$EXE" "$SIM"
orv_fresh_log

fw=$WORK/fw.bin # the slot's image, written with the manifest
[ -n "$WINE" ] && fw=$(orv_winpath "$fw")
orv_sim "$WORK/out.txt" --actions "press:Close,press:Update,press:Update+Ctrl+Shift+F9,file:$fw,power:query-suspend,select:0,close,press:Update"
orv_check_line "$WORK/out.txt" "[press] cmdClose ignored: cmdClose is hidden"
orv_check_line "$WORK/out.txt" "[press] cmdUpdate"
orv_check_line "$WORK/out.txt" "[press] cmdUpdate holding Ctrl+Shift+F9"
orv_check_line "$WORK/out.txt" "[dialog] open \"Firmware Files (*.BIN) |*.BIN\" ext=BIN must-exist -> $fw"
orv_check_line "$WORK/out.txt" "[power] event 0x0000 -> TRUE"
orv_check_line "$WORK/out.txt" "[pick] cboDrives item 0: (M)  0-0-0-0 MERETH SSD 512GB S0614B0 "
orv_check_line "$WORK/out.txt" "[close]"
# The user acts on the shown window, and nothing after the close is taken.
first=$(grep -n '^\[press\]' "$WORK/out.txt" | head -n 1 | cut -d: -f1)
shown=$(grep -n '^\[window\] shown$' "$WORK/out.txt" | cut -d: -f1)
[ -n "$first" ] && [ -n "$shown" ] && [ "$first" -gt "$shown" ] || fail "a press before the window was shown"
[ "$(grep -c '^\[press\]' "$WORK/out.txt")" = 3 ] || fail "the press after the close was taken: $(cat "$WORK/out.txt")"
orv_check_exit "$WORK/out.txt" 0
orv_check_log_has "cmdUpdateClick: the update workflow is not built yet"
orv_check_log_has "cmdUpdateClick: flashing the chosen file $fw is not built yet"
orv_check_last_log_line "EXIT_ERROR: 0x0"

# Automatic flashing: activation disables Update and starts the timer, which fires once.
cat >"$WORK/auto.json" <<'JSON' || fail "cannot write auto.json"
{
  "options": {"bAutoFlashAll": true},
  "slots": [{"image": "fw.bin", "new_fw": "1.02", "fw_ext": "GM802030", "encipher": false, "records": []}]
}
JSON
SIM=$WORK/orvane-sim-auto$EXE
orv_pack "$WORK/auto.json" "$BUILD/orvane-sim$EXE" "$SIM"
orv_fresh_log
orv_sim "$WORK/auto.txt" --speed 20 --actions "press:Update"
orv_check_line "$WORK/auto.txt" "[press] cmdUpdate ignored: cmdUpdate is disabled"
orv_check_line "$WORK/auto.txt" "[timer] tmrAutoFlash started"
orv_check_line "$WORK/auto.txt" "[timer] tmrAutoFlash fired"
orv_check_line "$WORK/auto.txt" "[timer] tmrAutoFlash stopped"
orv_check_exit "$WORK/auto.txt" 0
orv_check_log_has "tmrAutoFlashTimer: the automatic update of every drive is not built yet"

# A bad script: exit 64, the item named, nothing run.
SIM=
orv_sim "$WORK/bad.txt" --actions "press:Update,press:Updat"
[ "$RC" = 64 ] || fail "exit code $RC for a bad action, expected 64"
grep -qF "orvane-sim: --actions: action 2 'press:Updat': no button 'Updat' (Update, Close)" "$WORK/bad.txt.err" ||
    fail "no clear message for the bad action: $(cat "$WORK/bad.txt.err")"
[ ! -s "$WORK/bad.txt" ] || fail "the program ran despite the bad action: $(cat "$WORK/bad.txt")"
echo "PASS: $CHECK"
