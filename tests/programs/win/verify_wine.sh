#!/usr/bin/env bash
# The update history and "/VERIFY" under Wine with the real system calls:
# - orvane-sim packed with one slot for the built-in machine's 512 GB drive and ReBoot off, run with
#   the real system layer (--real-system) and /S: the download is not read back, so the drive is
#   "pending"; the history is written where FOLDERID_ProgramData points, in its Orvane folder;
# - Orvane.exe packed the same, started with /VERIFY: no window at all; Wine's machine has not
#   restarted since the update, so the entry is neither decided nor counted: still pending, exit 10,
#   and the result document says so.
. "$(dirname "$0")/../lib/common.sh"
orv_init "$@"
. "$ORV_SOURCE_DIR/tests/programs/lib/result.sh"
[ -n "$WINE" ] || fail "this check needs a Windows build"

DATA=$WINEPREFIX/drive_c/ProgramData/Orvane
KNOWN=$(orv_exec 60 cmd.exe /c 'echo %ProgramData%' 2>/dev/null | tr -d '\r')
[ "$KNOWN" = 'C:\ProgramData' ] || fail "Wine's %ProgramData% is '$KNOWN', the check expects C:\\ProgramData"

orv_tagged_image "$WORK/fw.bin" 394240 S0614C0 GM802031 20240611
cat >"$WORK/update.json" <<'JSON' || fail "cannot write the manifest"
{
  "iFlashMode": 0,
  "options": { "bListMatchedOnly": true, "ReBoot": false, "bWinFlash": true },
  "slots": [
    { "image": "fw.bin", "new_fw": "S0614C0", "fw_ext": "GM802031", "encipher": false,
      "records": [ { "fws": "S0614A0", "fwe": "S0614C0", "model": "MERETH SSD 512GB" } ] }
  ]
}
JSON
SIM=$WORK/orvane-sim-update.exe
orv_pack "$WORK/update.json" "$BUILD/orvane-sim.exe" "$SIM"
orv_pack "$WORK/update.json" "$BUILD/Orvane.exe" "$WORK/Orvane-update.exe"

R=$WORK/update-result.json
OUT=$WORK/update.txt
orv_sim "$OUT" --real-system --speed 1000 -- /S "/RESULT:$(orv_winpath "$R")"
orv_check_exit "$OUT" 0
orv_result_expect "$R" '(grep { $_->{serial} eq "MS512A0123456789" } @{$j->{drives}})[0]{outcome}' pending
orv_result_expect "$R" '(grep { $_->{serial} eq "MS512A0123456789" } @{$j->{drives}})[0]{history_state}' pending
[ -d "$DATA" ] || fail "no folder $DATA: the history was not written where FOLDERID_ProgramData points"
[ -f "$DATA/history.json" ] || fail "no $DATA/history.json"
cp "$DATA/history.json" "$WORK/history-after-update.json"
orv_result_expect "$DATA/history.json" '$j->{schema}' 1
orv_result_expect "$DATA/history.json" 'scalar(@{$j->{entries}})' 1
orv_result_expect "$DATA/history.json" '$j->{entries}[0]{state}' pending
orv_result_expect "$DATA/history.json" '$j->{entries}[0]{target_revision}' S0614C0
orv_result_expect "$DATA/history.json" '$j->{entries}[0]{time} =~ /^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$/ ? 1 : 0' 1

R=$WORK/verify-result.json
orv_fresh_log
orv_start "$WORK/Orvane-update.exe" /VERIFY "/RESULT:$(orv_winpath "$R")"
orv_wait_exit_windowless 60
[ "$RC" = 10 ] || fail "/VERIFY exited with $RC, expected 10 (still pending); log: $(tr -d '\r' <"$LOG" | tail -n 5)"
orv_check_log_has "VERIFY: 0 decided, 0 failed, 1 still pending"
orv_result_expect "$R" '$j->{run}' verify
orv_result_expect "$R" '$j->{exit_code}' 10
orv_result_expect "$R" 'scalar(@{$j->{verification}})' 0
cmp -s "$DATA/history.json" "$WORK/history-after-update.json" || fail "/VERIFY changed a history it decided nothing in"
echo "ok"
