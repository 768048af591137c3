#!/usr/bin/env bash
# orvane-sim --machine tests/device/machines/all_transports.json -- /LIST: one disk per ATA
# transport, each shown with the transport open_device chose and the drive's identify texts;
# IDENTIFY alone finds each transport, and no DEF text is read (that takes a vendor command).
. "$(dirname "$0")/lib/common.sh"
# The log without the device object's own lines (transport, open, command and error lines)
# is the console report.
report_in_log() {
    diff <(tr -d '\r' <"$LOG" |
        grep -vE '^(PRO: |\([A-Za-z0-9 ]+\) (CreateFile|Cmd:)|ATA(>512)? Status Register: |IDE_CmdReg: |GetLastError=|ATACMD_ERR : )' |
        grep -vE '^(csmi_ioctl ERR=|TAtaDevice::get_phy_info |  Name: +"|  Description: +"|  Revision:    [0-9]|CSMI_SAS_|Phy\[[0-9]+\] Port: |  (Type|InitProto|TargetProto|PhyIdent): +0x|  SASAddress\(|Error! NumberOfPhys=|CSMI STP )') \
        <(grep -v '^\[exit\]' "$1") | head -n 5
    [ "${PIPESTATUS[0]}" = 0 ]
}

orv_init "$@"
orv_fresh_log

MACHINE=$ORV_SOURCE_DIR/tests/device/machines/all_transports.json
[ -f "$MACHINE" ] || fail "no machine file $MACHINE"
if [ -n "$WINE" ]; then
    orv_sim "$WORK/out.txt" --machine "$(orv_winpath "$MACHINE")" --speed 1000 -- /LIST
else
    orv_sim "$WORK/out.txt" --machine "$MACHINE" --speed 1000 -- /LIST
fi
orv_check_exit "$WORK/out.txt" 0
orv_check_line "$WORK/out.txt" "Disks: 11"

# Disks in address order: SATA, IDE, SCSI, SIL, then the USB bridges.
got=$(grep -E '^  (Transport|Identify [a-z]+|DEF): ' "$WORK/out.txt")
want=$(cat <<'TEXT'
  Transport: 1 (ATA PASSTHROUGH)
  Identify model: MERETH SSD 512GB
  Identify revision: S0614B0
  Identify serial: MS512A0123456789
  Transport: 2 (IDE PASS THROUGH)
  Identify model: MERETH SSD 64GB PATA
  Identify revision: P0210A1
  Identify serial: MP064B0000000001
  Transport: 3 (SCSI PASS THROUGH)
  Identify model: MERETH SSD 128GB S
  Identify revision: C0305B2
  Identify serial: MC128C0000000002
  Transport: 4 (SIL PASS THROUGH)
  Identify model: MERETH SSD 256GB R
  Identify revision: R0411C3
  Identify serial: MR256D0000000003
  Transport: 5 (SAT ATA PASS THROUGH)
  Identify model: MERETH SSD 240GB U
  Identify revision: U0512D4
  Identify serial: MU240E0000000004
  Transport: 6 (JMICRON)
  Identify model: MERETH SSD 120GB J
  Identify revision: J0613E5
  Identify serial: MJ120F0000000005
  Transport: 7 (PROLIFIC)
  Identify model: MERETH SSD 60GB P
  Identify revision: L0714F6
  Identify serial: ML060G0000000006
  Transport: 8 (SUNPLUS)
  Identify model: MERETH SSD 32GB S
  Identify revision: N0815A7
  Identify serial: MN032H0000000007
  Transport: 9 (IODATA)
  Identify model: MERETH SSD 16GB I
  Identify revision: D0916B8
  Identify serial: MD016J0000000008
  Transport: 10 (LOGITEC)
  Identify model: MERETH SSD 8GB L
  Identify revision: T1017C9
  Identify serial: MT008K0000000009
  Transport: 11 (CYPRESS)
  Identify model: MERETH SSD 4GB C
  Identify revision: Y1118D0
  Identify serial: MY004L0000000010
TEXT
)
[ "$got" = "$want" ] || fail "transports and identify texts differ: $(diff <(echo "$want") <(echo "$got"))"

# The debug log holds the report and, between its lines, what the device object did.
[ -f "$LOG" ] || fail "no debug log at $LOG"
got=$(tr -d '\r' <"$LOG" | grep '^PRO: ' | tr '\n' '|')
[ "$got" = "PRO: ATA PASSTHROUGH|PRO: IDE PASS THROUGH|PRO: SCSI PASS THROUGH|PRO: SIL PASS THROUGH|PRO: SAT ATA PASS THROUGH|PRO: JMICRON|PRO: PROLIFIC|PRO: SUNPLUS|PRO: IODATA|PRO: LOGITEC|PRO: CYPRESS|" ] ||
    fail "the log's transport lines: $got"
msg=$(report_in_log "$WORK/out.txt") || fail "the log differs from the console report: $msg"
echo "PASS: $CHECK"
