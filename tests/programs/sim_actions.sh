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
orv_sim "$WORK/out.txt" --speed 50 --actions "press:Close,power:query-suspend,press:Update+Ctrl+Shift+F9,cancel,select:0,close,press:Update"
orv_check_line "$WORK/out.txt" "[press] cmdClose ignored: cmdClose is hidden"
orv_check_line "$WORK/out.txt" "[power] event 0x0000 -> TRUE"
orv_check_line "$WORK/out.txt" "[press] cmdUpdate holding Ctrl+Shift+F9"
orv_check_line "$WORK/out.txt" "[dialog] open \"Firmware Files (*.BIN) |*.BIN\" ext=BIN must-exist -> cancelled"
orv_check_line "$WORK/out.txt" "[pick] cboDrives item 0: (M)  0-0-0-0 MERETH SSD 512GB S0614B0 "
orv_check_line "$WORK/out.txt" "[close]"
# The user acts on the shown window, and nothing after the close is taken.
first=$(grep -n '^\[press\]' "$WORK/out.txt" | head -n 1 | cut -d: -f1)
shown=$(grep -n '^\[window\] shown$' "$WORK/out.txt" | cut -d: -f1)
[ -n "$first" ] && [ -n "$shown" ] && [ "$first" -gt "$shown" ] || fail "a press before the window was shown"
[ "$(grep -c '^\[press\]' "$WORK/out.txt")" = 2 ] || fail "the press after the close was taken: $(cat "$WORK/out.txt")"
orv_check_exit "$WORK/out.txt" 0
orv_check_last_log_line "EXIT_ERROR: 0x0"

# The engineering path flashes the chosen file and answers with its box; the program goes on.
orv_fresh_log
orv_sim "$WORK/eng.txt" --speed 50 --actions "press:Update+Ctrl+Shift+F9,file:$fw"
orv_check_line "$WORK/eng.txt" "[dialog] open \"Firmware Files (*.BIN) |*.BIN\" ext=BIN must-exist -> $fw"
tr -d '\r' <"$LOG" | grep -F -- " Start UpdateFW , max_sector=1, bIsNvme=0" >/dev/null || fail "no download of the chosen file in $LOG"
grep -Eq '^\[box\] .*text="Flash (OK|Failed)!"' "$WORK/eng.txt" || fail "no answer box for the chosen file: $(cat "$WORK/eng.txt")"
# The exit code follows the answer: a file the drive refused is no success for a caller.
code=1
grep -q '^\[box\] .*text="Flash OK!"' "$WORK/eng.txt" && code=0
orv_check_exit "$WORK/eng.txt" "$code"
orv_check_last_log_line "EXIT_ERROR: 0x$code"

# A plain click runs the normal path: the stored slot's 1.02 is below the drive's revision.
orv_fresh_log
orv_sim "$WORK/normal.txt" --speed 50 --actions "press:Update"
orv_check_line "$WORK/normal.txt" "[press] cmdUpdate"
orv_check_log_has "bUseFWExt=false,This drive is the latest firmware"
orv_check_exit "$WORK/normal.txt" 0

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
orv_check_log_has "INDEX: 0, NEXT: 1"

# A bad script: exit 64, the item named, nothing run.
SIM=
orv_sim "$WORK/bad.txt" --actions "press:Update,press:Updat"
[ "$RC" = 64 ] || fail "exit code $RC for a bad action, expected 64"
grep -qF "orvane-sim: --actions: action 2 'press:Updat': no button 'Updat' (Update, Close)" "$WORK/bad.txt.err" ||
    fail "no clear message for the bad action: $(cat "$WORK/bad.txt.err")"
[ ! -s "$WORK/bad.txt" ] || fail "the program ran despite the bad action: $(cat "$WORK/bad.txt")"
echo "PASS: $CHECK"
