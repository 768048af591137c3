#!/usr/bin/env bash
# orvane-sim -- /LIST on the built-in machine: every disk in SCSI-address order, the same
# report in the debug log, no window, exit code 0.
. "$(dirname "$0")/lib/common.sh"
orv_init "$@"
orv_fresh_log

orv_sim "$WORK/out.txt" --speed 1000 -- /list
orv_check_exit "$WORK/out.txt" 0
orv_check_line "$WORK/out.txt" "Disks: 5"
! grep -q '^\[window\] shown$' "$WORK/out.txt" || fail "the window was shown"

# The built-in machine enumerates its disks out of address order; the list is sorted.
got=$(grep '^  SCSI address: ' "$WORK/out.txt")
want="  SCSI address: port 0, path 0, target 0, lun 0
  SCSI address: port 0, path 1, target 0, lun 0
  SCSI address: port 1, path 0, target 0, lun 0
  SCSI address: port 2, path 0, target 0, lun 0
  SCSI address: port 3, path 0, target 0, lun 0"
[ "$got" = "$want" ] || fail "addresses out of order: $got"
got=$(grep '^  Controller IDs: ' "$WORK/out.txt" | tr '\n' ' ')
[ "$got" = "  Controller IDs: 8086:2922   Controller IDs: 8086:2922   Controller IDs: 174C:55AA   Controller IDs: 152D:2338   Controller IDs: 067B:2507 " ] ||
    fail "controller identifiers: $got"
orv_check_line "$WORK/out.txt" "  Drive letters: C:"
orv_check_line "$WORK/out.txt" "  Parent: PCI\\VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02\\3&11583659&0&FA [storahci] 8086:2922"

# The log holds the same report.
[ -f "$LOG" ] || fail "no debug log at $LOG"
diff <(tr -d '\r' <"$LOG") <(grep -v '^\[exit\]' "$WORK/out.txt") >/dev/null ||
    fail "the log differs from the console report: $(diff <(tr -d '\r' <"$LOG") <(grep -v '^\[exit\]' "$WORK/out.txt") | head)"
echo "PASS: $CHECK"
