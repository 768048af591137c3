#!/usr/bin/env bash
# orvane-sim -- /LIST on the built-in machine: every disk in SCSI-address order with its drive's
# transport (found with IDENTIFY alone), the same report in the debug log, no window, exit code 0.
. "$(dirname "$0")/lib/common.sh"
# The log without the device object's own lines (transport, open, command and error lines)
# is the console report.
report_in_log() {
    diff <(tr -d '\r' <"$LOG" |
        grep -vE '^(PRO: |\([A-Za-z0-9 ]+\) (CreateFile|Cmd:)|ATA(>512)? Status Register: |IDE_CmdReg: |GetLastError=|ATACMD_ERR : |DeviceGetFirmwareInfo - )' |
        grep -vE '^(csmi_ioctl ERR=|TAtaDevice::get_phy_info |  Name: +"|  Description: +"|  Revision:    [0-9]|CSMI_SAS_|Phy\[[0-9]+\] Port: |  (Type|InitProto|TargetProto|PhyIdent): +0x|  SASAddress\(|Error! NumberOfPhys=|CSMI STP )') \
        <(grep -v '^\[exit\]' "$1") | head -n 5
    [ "${PIPESTATUS[0]}" = 0 ]
}

orv_init "$@"
orv_fresh_log

orv_sim "$WORK/out.txt" --speed 1000 -- /list
orv_check_exit "$WORK/out.txt" 0
orv_check_line "$WORK/out.txt" "Disks: 6"
! grep -q '^\[window\] shown$' "$WORK/out.txt" || fail "the window was shown"

# The built-in machine enumerates its disks out of address order; the list is sorted.
got=$(grep '^  SCSI address: ' "$WORK/out.txt")
want="  SCSI address: port 0, path 0, target 0, lun 0
  SCSI address: port 0, path 1, target 0, lun 0
  SCSI address: port 1, path 0, target 0, lun 0
  SCSI address: port 2, path 0, target 0, lun 0
  SCSI address: port 3, path 0, target 0, lun 0
  SCSI address: port 4, path 0, target 0, lun 0"
[ "$got" = "$want" ] || fail "addresses out of order: $got"
got=$(grep '^  Controller IDs: ' "$WORK/out.txt" | tr '\n' ' ')
[ "$got" = "  Controller IDs: 8086:2922   Controller IDs: 8086:2922   Controller IDs: 174C:55AA   Controller IDs: 152D:2338   Controller IDs: 067B:2507   Controller IDs: 1B36:0010 " ] ||
    fail "controller identifiers: $got"
orv_check_line "$WORK/out.txt" "  Drive letters: C:"
orv_check_line "$WORK/out.txt" "  Parent: PCI\\VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02\\3&11583659&0&FA [storahci] 8086:2922"

# Each disk's drive, reached through its own transport.
got=$(grep -E '^  (Transport|DEF): ' "$WORK/out.txt" | tr '\n' '|')
[ "$got" = "  Transport: 1 (ATA PASSTHROUGH)|  Transport: 1 (ATA PASSTHROUGH)|  Transport: 5 (SAT ATA PASS THROUGH)|  Transport: 6 (JMICRON)|  Transport: 7 (PROLIFIC)|  Transport: 0 (SYSTEM NOT SUPPORT)|" ] ||
    fail "transports: $got"
# Standard commands only: the debug log shows no vendor command (FFh) sent to any drive.
# (grep reads the file itself: under pipefail an early exit of grep -q would fail the pipe.)
! grep -q 'Cmd:FF ' "$LOG" || fail "a vendor command was sent: $(grep -m1 'Cmd:FF ' "$LOG")"
grep -q 'Cmd:EC ' "$LOG" || fail "no IDENTIFY in the log"
orv_check_line "$WORK/out.txt" "  Identify model: MERETH SSD 512GB"
# The drives behind the RAID controller's CSMI port.
orv_check_line "$WORK/out.txt" "  Phy 0, port 0, SATA: TOLBERN TQ-256K7KW, revision 1.02, serial TQ256K7KW00A1"
# The NVMe disk answers no ATA command; its firmware slots come from the driver's firmware interface.
got=$(grep -E '^  NVMe ' "$WORK/out.txt" | tr '\n' '|')
[ "$got" = "  NVMe firmware: upgrade supported, 2 slots, active slot 2, pending none|  NVMe slot 1: read-only, revision N0812A0|  NVMe slot 2: writable, revision N0812C1|" ] ||
    fail "NVMe slots: $got"

# The log holds the same report, with the device object's lines between.
[ -f "$LOG" ] || fail "no debug log at $LOG"
msg=$(report_in_log "$WORK/out.txt") || fail "the log differs from the console report: $msg"
echo "PASS: $CHECK"
