#!/usr/bin/env bash
# The drive scan's edge cases through whole runs of a packed orvane-sim: no ATA drive, then the
# drives behind CSMI phys; IDENTIFY failing twice, or always; a blank DEF text; NVMe drives on a
# vendor driver and with SlotCount 1 / ActiveSlot 2, each selection offering its own slots; and
# an unattended "/T:" run that enters the named drive once for every disk.
. "$(dirname "$0")/lib/common.sh"
orv_init "$@"

MACHINES=$ORV_SOURCE_DIR/tests/device/machines
CSMI=$(orv_machine "$MACHINES/csmi_only.json") || exit 1
RETRIES=$(orv_machine "$MACHINES/identify_retries.json") || exit 1
NVME=$(orv_machine "$MACHINES/nvme_variants.json") || exit 1
orv_make_image "$WORK/fw.bin" 4096 21

# any_drive [MORE_OPTIONS]: a manifest of one slot whose group sets no constraint, every drive
# listed.
any_drive() {
    printf '%s' '{"options": {"bListMatchedOnly": false'"${1:-}"'},
 "slots": [{"image": "fw.bin", "new_fw": "1.05", "fw_ext": "GT105000", "encipher": false, "records": []}]}'
}

# The log's lines without CRs.
log_text() { tr -d '\r' <"$LOG"; }

log_has_prefix() {
    log_text | awk -v p="$1" 'index($0, p) == 1 { f = 1 } END { exit !f }' ||
        fail "the log has no line starting '$1' (log: $LOG)"
}

# --- No drive answers on the only disk (a RAID volume): the ATA scan enters nothing, the CSMI
# scan finds the two SATA drives behind the RAID controller (SCSI port 0), addressed
# controller-path(port)-target(phy)-0. The stored record takes the "1.02" drive only.
orv_run csmi '{"options": {"bListMatchedOnly": false}}' --machine "$CSMI" --actions "select:1,press:Update"
orv_check_exit "$OUT" 0
log_has_prefix "============== (ATA) SCANNING COUNT(1) "
orv_check_log_has "ATA_DEV_CNT: 0 / 1 "
log_has_prefix "============== (CSMI) SCANNING "
orv_check_log_has "max_number_of_phys=32, phy_info.bNumberOfPhys=2"
# The attached SAS address 50 01 e3 b0 00 a1 01 00, read as a little-endian value.
orv_check_log_has "csmi0,0 : phy_no: 0, csmi_port: 0, scsi_index: 0, SAS_ADDR: 458499316449616"
orv_check_log_has "I :[SCSI0|0001A100B0E30150] TOLBERN TQ-256K7KW                       1.02    "
orv_check_log_has "csmi0,1 : phy_no: 1, csmi_port: 1, scsi_index: 1, SAS_ADDR: 72516093354377552"
# Its vendor read fails: the DEF text is the revision, whose 8th character is a blank.
orv_check_log_has "Cannot get DEF (frmOrvane): 1.01   "
orv_check_log_has "CSMI_DEV_CNT: 2"
orv_check_log_has "gScanType: 1, CNT: 2"
orv_check_lines "$OUT" "$ORV_ITEMS" '[items] cboDrives: 2
[item] eligible     "(S)  0-0-0-0 TOLBERN TQ-256K7KW 1.02    "
[item] not eligible "(S)  0-1-1-0 TOLBERN TQ-1T0K7KW 1.01    "'
orv_check_line "$OUT" "[firmware line] It will be updated from 1.02     To 1.02"
# A selection opens the drive through its controller's CSMI port; the refused one disables Update.
[ "$(log_text | grep -cxF 'cboDrivesChange: 2')" = 2 ] || fail "csmi: a selection did not open the CSMI port"
orv_check_line "$OUT" "[label] lblUpdateMsg: This drive is not allowed to be updated."
orv_check_line "$OUT" "[press] cmdUpdate ignored: cmdUpdate is disabled"

# The same controller on a machine with no disk at all: an empty ATA scan, then CSMI (port 5).
cat >"$WORK/no_disks.json" <<'JSON' || fail "cannot write no_disks.json"
{"comment": "the built-in machine without its disks: only the RAID controller's phys hold drives", "disks": []}
JSON
NODISKS=$(orv_machine "$WORK/no_disks.json") || exit 1
orv_run nodisk - --machine "$NODISKS"
orv_check_exit "$OUT" 0
log_has_prefix "============== (ATA) SCANNING COUNT(0) "
orv_check_log_has "ATA_DEV_CNT: 0 / 0 "
orv_check_log_has "gScanType: 1, CNT: 2"
orv_check_lines "$OUT" "$ORV_ITEMS" '[items] cboDrives: 2
[item] eligible     "(S)  5-0-0-0 TOLBERN TQ-256K7KW 1.02    "
[item] not eligible "(S)  5-3-3-0 TOLBERN TQ-512K7KW 1.00    "'

# --- IDENTIFY failing twice is entered on the third attempt; failing every time is not, and
# the next drive takes its entry. A blank DEF text reads as the revision.
orv_run identify "$(any_drive)" --machine "$RETRIES" --actions "select:1"
orv_check_exit "$OUT" 0
section() { log_text | awk -v a="SCAN: $1" -v b="$2" '$0 == a { on = 1 } $0 == b { on = 0 } on'; }
got=$(section 0 "SCAN: 1" | grep -E 'Cmd:EC|Status Register|IDENTIFY\(frmOrvane\)|^\[0-')
[ "$got" = "(ATA PASSTHROUGH) Cmd:EC FR:00 SC:01 SN:00 CL:00 CH:00  1 / 0
ATA Status Register: 0x51
(ATA PASSTHROUGH) Cmd:EC FR:00 SC:01 SN:00 CL:00 CH:00  1 / 0
ATA Status Register: 0x51
(ATA PASSTHROUGH) Cmd:EC FR:00 SC:01 SN:00 CL:00 CH:00  1 / 0
IDENTIFY(frmOrvane): TOLBERN TQ-128K7KW                       1.03    , TQ128K7KW0F2        
[0-7] TOLBERN TQ-128K7KW                       1.03     | GT10300" ] ||
    fail "identify: the first drive's attempts: $got"
[ "$(section 1 "SCAN: 2" | grep -c 'Cmd:EC')" = 3 ] || fail "identify: the failing drive was not tried three times"
[ "$(section 1 "SCAN: 2" | grep -cF 'IDENTIFY(frmOrvane)')" = 0 ] || fail "identify: the failing drive identified"
orv_check_log_has "DEF[Idx] (frmOrvane) is Empty, copy FW "
orv_check_log_has "DEF (frmOrvane): 1.02   "
orv_check_log_has "[2- ] TOLBERN TQ-256K7KW                       1.02     | 1.02   "
orv_check_log_has "ATA_DEV_CNT: 2 / 3 "
orv_check_lines "$OUT" "$ORV_ITEMS" '[items] cboDrives: 2
[item] eligible     "(S)  0-0-0-0 TOLBERN TQ-128K7KW 1.03    "
[item] eligible     "(S)  0-2-0-0 TOLBERN TQ-256K7KW 1.02    "'
orv_check_log_has "cboDrivesChange: 1, idx=1"

# --- NVMe: the vendor driver's drive is not entered; SlotCount 1 with ActiveSlot 2 takes the
# first slot's revision. Each selection fills the slot selector from its own drive.
orv_run nvme - --machine "$NVME" --actions "select:0,select:1"
orv_check_exit "$OUT" 0
orv_check_log_has "No MS Inbox-driver found !"
orv_check_log_has "SlotCount 1, ActiveSlot 2, PendingActSlot 255"
# (The device object's firmware dump ends its last line with a blank.)
orv_check_log_has "Current firmware : S1000001"
orv_check_log_has "Refresh by slot info : [2] NVMe MERETH SSD 128GB S1000001 "
orv_check_log_has "gScanType: 0, CNT: 2"
orv_check_log_has "  DEF0 |                    NVMe MERETH SSD 128GB | S1000001"
orv_check_lines "$OUT" "$ORV_ITEMS" '[items] cboDrives: 2
[item] eligible     "(S)  1-0-0-0 NVMe MERETH SSD 256GB U0812C1"
[item] eligible     "(S)  2-0-0-0 NVMe MERETH SSD 128GB S1000001"'
# After the scan: the start-up selection (128GB, one slot), then 256GB (two), then 128GB again.
got=$(sed -n '/^\[select\] cboDrives: 1$/,$p' "$OUT" | grep -E '^\[(pick|items\] cboFwSlot|show\] (lblFwSlot|cboFwSlot|lblCommitAction|cboCommitAction)|select\] cbo(FwSlot|CommitAction))')
[ "$got" = '[show] lblFwSlot
[show] cboFwSlot
[show] lblCommitAction
[show] cboCommitAction
[items] cboFwSlot: "1"
[select] cboFwSlot: 0
[select] cboCommitAction: 3
[pick] cboDrives item 0: (S)  1-0-0-0 NVMe MERETH SSD 256GB U0812C1
[show] lblFwSlot
[show] cboFwSlot
[show] lblCommitAction
[show] cboCommitAction
[items] cboFwSlot: "1 (read-only)" "2"
[select] cboFwSlot: 1
[select] cboCommitAction: 3
[pick] cboDrives item 1: (S)  2-0-0-0 NVMe MERETH SSD 128GB S1000001
[show] lblFwSlot
[show] cboFwSlot
[show] lblCommitAction
[show] cboCommitAction
[items] cboFwSlot: "1"
[select] cboFwSlot: 0
[select] cboCommitAction: 3' ] || fail "nvme: the selectors: $got"
# The selection fills the selectors, once per drive it opens; the scan leaves them alone.
[ "$(grep -c '^\[items\] cboCommitAction: "0 - store, do not activate" ' "$OUT")" = 3 ] || fail "nvme: the commit actions"
orv_check_line "$OUT" "[firmware line] It will be updated from U0812C1 To 1.05"

# --- "/T:" in an unattended package: every ATA disk of the built-in machine is opened through
# that path, so the table holds its drive once per disk, at each disk's own address.
orv_run target "$(any_drive ', "bUnattended": true')" -- '/T:\\.\PhysicalDrive0'
orv_check_exit "$OUT" 0
orv_check_log_has 'DEV_PATH:\\.\PhysicalDrive0'
orv_check_lines "$OUT" '^\[item\] .*GB S0614B0' '[item] eligible     "(M)  0-0-0-0 MERETH SSD 512GB S0614B0 "
[item] eligible     "(S)  0-1-0-0 MERETH SSD 512GB S0614B0 "
[item] eligible     "(S)  1-0-0-0 MERETH SSD 512GB S0614B0 "
[item] eligible     "(S)  2-0-0-0 MERETH SSD 512GB S0614B0 "
[item] eligible     "(S)  3-0-0-0 MERETH SSD 512GB S0614B0 "'
[ "$(log_text | grep -c '^IDENTIFY(frmOrvane): MERETH SSD 512GB  .*, MS512A0123456789 ')" = 5 ] ||
    fail "target: the named drive was not identified once per disk"
! grep -q '^\[item\] .*\(HDD 1TB\|256GB\|240GB\|128GB\)' "$OUT" || fail "target: another ATA drive was entered"
orv_check_line "$OUT" "[panel] compact unattended view"
echo "PASS: $CHECK"
