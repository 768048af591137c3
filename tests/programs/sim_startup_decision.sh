#!/usr/bin/env bash
# What the start-up decides after the scan: no accepted drive gives the no-match box (with the
# detected drives unless only matched ones are listed, always in the Chinese set; never with
# "/S" or in an unattended package) and exit code 3; with one, the warning or the notice is
# asked even with "/S", and a No ends the run there.
. "$(dirname "$0")/lib/common.sh"
orv_init "$@"

# The build's record takes none of these NVMe drives.
NVME=$(orv_machine "$ORV_SOURCE_DIR/tests/device/machines/nvme_variants.json") || exit 1
orv_make_image "$WORK/fw.bin" 4096 41

# boxes EXPECTED: the run's message boxes, one line each, are EXPECTED (empty: none).
boxes() {
    orv_check_lines "$OUT" '^\[box\]' "$1"
}

# The run ended at the no-match decision, exit code 3, without showing the window.
no_match_end() {
    orv_check_exit "$OUT" 3
    orv_check_log_has "MainForm: 2"
    ! grep -q '^\[window\] shown$' "$OUT" || fail "$NAME: the window was shown"
    orv_check_last_log_line "EXIT_ERROR: 0x3"
}

# --- No accepted drive.
orv_run matched_only "" --machine "$NVME"
boxes '[box] caption="Error" text="No matched drives detected !\n" buttons=OK -> OK'
no_match_end

orv_run all_listed '{"options": {"bListMatchedOnly": false}}' --machine "$NVME"
boxes '[box] caption="Error" text="No matched drives detected !\nDetected drives :\n(S)  1-0-0-0 NVMe MERETH SSD 256GB U0812C1\n(S)  2-0-0-0 NVMe MERETH SSD 128GB S1000001\n" buttons=OK -> OK'
no_match_end

# The Chinese set lists the detected drives whatever bListMatchedOnly says (here: none listed).
orv_run chinese '{"iLanguage": 1}' --machine "$NVME"
boxes '[box] caption="Error" text="未偵測到符合的磁碟 !\n偵測到的磁碟 :\n" buttons=OK -> OK'
no_match_end

# "/S": no box, the same end.
SIM=$WORK/orvane-sim-all_listed$EXE
orv_run silent - --machine "$NVME" -- /s
boxes ""
no_match_end

# An unattended package never shows it, "/S" or not.
orv_run unattended '{"options": {"bListMatchedOnly": false, "bUnattended": true}}' --machine "$NVME" -- '/T:\\.\PhysicalDrive1'
boxes ""
no_match_end
orv_check_log_has 'DEV_PATH:\\.\PhysicalDrive1'

# --- An accepted drive with "/S": the warning (style 4, never the notice with it) and the
# notice (style 0) are still asked; Yes goes on to the silent update, No ends the run.
WARNING='WARNING: THIS PROCESS WILL UPDATE THE FIRMWARE ON YOUR SSD.  THERE IS A RISK DURING FIRMWARE UPDATE PROCESS.  YOUR SSD MAY NOT FUNCTION PROPERLY IF THE FIRMWARE PROCESS IS INTERRUPTED FOR ANY REASON.  AS WE PROVIDES NO WARRANTY FOR THE DATA ON YOUR DRIVE, IT IS STRONGLY RECOMMENDED THAT YOU SHOULD BACKUP ALL IMPORTANT FILES IN ADVANCE.'
SLOT='"slots": [{"image": "fw.bin", "new_fw": "1.05", "fw_ext": "GT105000", "encipher": false, "records": []}]'

orv_run warning "{\"iVisualStyle\": 4, \"options\": {\"iNoticeLevel\": 2}, $SLOT}" --answers yes -- /S
boxes "[box] caption=\"Warning\" text=\"$WARNING\" buttons=YESNO -> YES"
orv_check_exit "$OUT" 0
orv_check_lines <(tr -d '\r' <"$LOG") '^MainForm: ' "MainForm: 1
MainForm: 3
MainForm: 4
MainForm: 5"
! grep -q '^\[window\] shown$' "$OUT" || fail "$NAME: the window was shown"

orv_run warning_no - --answers no -- /S
boxes "[box] caption=\"Warning\" text=\"$WARNING\" buttons=YESNO -> NO"
orv_check_exit "$OUT" 0
orv_check_lines <(tr -d '\r' <"$LOG") '^MainForm: ' "MainForm: 1"
orv_check_last_log_line "EXIT_ERROR: 0x0"

orv_run notice "{\"target_model\": \"TOLBERN TQ-256K7KW\", \"options\": {\"iNoticeLevel\": 2}, $SLOT}" --answers yes -- /S
boxes '[box] caption="Warning" text="This flash utility only supports TOLBERN TQ-256K7KW SSD.\n\nNOTICE : \n\n1> Please close all applications before running this utility !\n2> Don'"'"'t turn off the system while flash is in progress. \n3> Don'"'"'t remove the adapter and battery during F/W reflash processing. \n\nDo you wish to continue ?" buttons=YESNO -> YES'
orv_check_exit "$OUT" 0
orv_check_log_has "MainForm: 5"
echo "PASS: $CHECK"
