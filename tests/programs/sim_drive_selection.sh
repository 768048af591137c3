#!/usr/bin/env bash
# The drive list and the selection, acted on through orvane-sim --actions: a refused drive shows
# the refusal in dark red and disables Update (in both text sets), an accepted one the firmware
# line; an NVMe drive shows the slot and commit selectors and an ATA drive hides them; with
# bListMatchedOnly only accepted drives are listed, each item still opening its own drive.
. "$(dirname "$0")/lib/common.sh"
orv_init "$@"

MACHINE=$(orv_machine "$ORV_SOURCE_DIR/tests/device/machines/tolbern_revisions.json") || exit 1
orv_make_image "$WORK/fw.bin" 4096 31

# after LINE: the console lines after the first LINE, up to the next pick, press or window line.
after() {
    awk -v a="$1" 'on && /^\[(pick|press|window)\]/ { exit } on { print } $0 == a { on = 1 }' "$OUT"
}

check_after() {
    local got
    got=$(after "$1")
    [ "$got" = "$2" ] || fail "$NAME: after '$1' expected:
$2
got:
$got"
}

# accepted OLD NEW EXT: what selecting an accepted ATA drive shows, after the selectors.
accepted() {
    printf '%s' "[enable] cmdUpdate
[show] lblOldFW
[show] lblTo
[show] lblNewFW
[label] lblUpdateMsg: It will be updated from
[colour] lblUpdateMsg: 0,0,0
[colour] lblTo: 0,0,0
[label] lblNewFW: $2
[label] lblFWExt: $3
[label] lblOldFW: $1
[firmware line] It will be updated from $1 To $2
[show] cboDrives"
}

HIDE_SELECTORS='[hide] lblFwSlot
[hide] cboFwSlot
[hide] lblCommitAction
[hide] cboCommitAction'

# --- The build's record, every drive listed: the "1.1" drive is refused, the system disk is
# marked (M), and selecting back the "1.02" drive restores the firmware line. Its update finds
# it already up to date (bNFlashAuto: an equal revision is the latest).
orv_run refuse '{"options": {"bListMatchedOnly": false, "bNFlashAuto": true}}' --machine "$MACHINE" \
    --actions "select:2,press:Update,select:0,press:Update"
orv_check_exit "$OUT" 0
orv_check_line "$OUT" '[item] not eligible "(M)  0-0-1-0 ABC 1.02    "'
check_after "[pick] cboDrives item 2: (S)  0-1-0-0 TOLBERN TQ-256K7KW 1.1     " "$HIDE_SELECTORS
[disable] cmdUpdate
[hide] lblOldFW
[hide] lblTo
[hide] lblNewFW
[label] lblUpdateMsg: This drive is not allowed to be updated.
[colour] lblUpdateMsg: 128,0,0"
orv_check_lines "$OUT" '^\[press\]' "[press] cmdUpdate ignored: cmdUpdate is disabled
[press] cmdUpdate"
check_after "[pick] cboDrives item 0: (S)  0-0-0-0 TOLBERN TQ-256K7KW 1.02    " "$HIDE_SELECTORS
$(accepted "1.02    " 1.02 GM802030)"
# Each selection opens its ATA drive; the refused one is named in the log.
orv_check_log_has "cboDrivesChange: 1, idx=2"
[ "$(tr -d '\r' <"$LOG" | grep -cxF 'cboDrivesChange: 3-2')" = 3 ] || fail "refuse: not every selection opened its drive"
orv_check_log_has "ENABLED: 0, TOLBERN TQ-256K7KW                       1.1     "
orv_check_log_has "bUseFWExt=false,This drive is the latest firmware"

# --- The Chinese text set: the refusal and the firmware line's captions change, the rest not.
orv_run chinese '{"iLanguage": 1, "options": {"bListMatchedOnly": false}}' --machine "$MACHINE" --actions "select:3,select:0"
orv_check_exit "$OUT" 0
orv_check_line "$OUT" "[label] Label1: 請選擇要更新的裝置"
check_after "[pick] cboDrives item 3: (S)  0-2-0-0 TOLBERN TQ-256K7KW 1.10    " "$HIDE_SELECTORS
[disable] cmdUpdate
[hide] lblOldFW
[hide] lblTo
[hide] lblNewFW
[label] lblUpdateMsg: 此磁碟不允許更新。
[colour] lblUpdateMsg: 128,0,0"
orv_check_line "$OUT" "[firmware line] 將從以下版本更新 1.02     至 1.02"
orv_check_log_has "ENABLED: 0, TOLBERN TQ-256K7KW                       1.10    "

# --- The built-in machine, every drive accepted: the NVMe drive (listed last) is selected with
# its two slots; an ATA drive hides the selectors again.
orv_run nvme '{"options": {"bListMatchedOnly": false},
  "slots": [{"image": "fw.bin", "new_fw": "N0813A0", "fw_ext": "GN813000", "encipher": false, "records": []}]}' \
    --actions "select:0,select:5"
orv_check_exit "$OUT" 0
orv_check_line "$OUT" '[item] eligible     "(S)  4-0-0-0 NVMe MERETH SSD 1TB N0812C1"'
orv_check_line "$OUT" "[firmware line] It will be updated from N0812C1 To N0813A0"
check_after "[pick] cboDrives item 0: (M)  0-0-0-0 MERETH SSD 512GB S0614B0 " "$HIDE_SELECTORS
$(accepted "S0614B0 " N0813A0 GN813000)"
# Captioned, the read-only slot 1 marked and slot 2 chosen, each activation saying what it does.
got=$(after "[pick] cboDrives item 5: (S)  4-0-0-0 NVMe MERETH SSD 1TB N0812C1" | head -n 10)
[ "$got" = '[show] lblFwSlot
[show] cboFwSlot
[show] lblCommitAction
[show] cboCommitAction
[label] lblFwSlot: Firmware slot
[label] lblCommitAction: Activation
[items] cboFwSlot: "1 (read-only)" "2"
[items] cboCommitAction: "0 - store, do not activate" "1 - store, activate at next restart" "2 - activate stored image at next restart" "3 - store and activate now"
[select] cboFwSlot: 1
[select] cboCommitAction: 3' ] || fail "nvme: the selectors after selecting the NVMe drive: $got"
[ "$(tr -d '\r' <"$LOG" | grep -cxF 'cboDrivesChange: 3-1, m_DevInfo[idx].order=5')" = 2 ] ||
    fail "nvme: the NVMe drive was not opened as device 5 at start-up and on its selection"

# --- bListMatchedOnly: only the drive the record takes is listed, in the list and the log,
# and its one item opens its own entry (the table's fifth).
orv_run matched '{"slots": [{"image": "fw.bin", "new_fw": "1.05", "fw_ext": "GT105000", "encipher": false,
  "records": [{"fws": "1.00", "fwe": "1.99", "model": "TOLBERN TQ-512K7KW"}]}]}' --machine "$MACHINE"
orv_check_exit "$OUT" 0
orv_check_lines "$OUT" "$ORV_ITEMS" '[items] cboDrives: 1
[item] eligible     "(S)  0-3-0-0 TOLBERN TQ-512K7KW 1.02    "'
got=$(tr -d '\r' <"$LOG" | grep '^cboDrives: str:')
[ "$got" = "cboDrives: str:(S)  0-3-0-0 TOLBERN TQ-512K7KW 1.02     " ] || fail "matched: the list in the log: $got"
orv_check_log_has "cboDrivesChange: 1, idx=4"
orv_check_line "$OUT" "[firmware line] It will be updated from 1.02     To 1.05"
echo "PASS: $CHECK"
