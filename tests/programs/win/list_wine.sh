#!/usr/bin/env bash
# Orvane.exe /LIST under Wine: exit 0 with no window; the report shows what Wine exposes, and the
# debug log holds the same report. What Wine answers (Wine 8):
# - the disk interface set is empty, so no disk is listed, opened or asked for NVMe firmware slots;
# - the report tries the RAID ports "\\.\SCSI0:" to "\\.\SCSI15:" for a CSMI driver: none opens
#   (error 2), so no "CSMI port" line appears (the relay trace of CreateFileA shows the 16 tries);
# - WMI counts two disks and maps C: and Z: to them.
. "$(dirname "$0")/../lib/common.sh"
orv_init "$@"
[ -n "$WINE" ] || fail "this check needs a Windows build"
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY: the check looks for windows"
[ -f "$BUILD/Orvane.exe" ] || fail "no $BUILD/Orvane.exe"
orv_fresh_log

# Standard output apart from Wine's own messages and its relay trace on standard error.
orv_relay_include kernel32.CreateFileA
(cd "$WORK" && WINEDEBUG=-all,+relay exec "$WINE" "$BUILD/Orvane.exe" /LIST) >"$WORK/out.raw" 2>"$WORK/err.txt" &
PID=$!
ORV_PIDS+=("$PID")
orv_wait_exit_windowless 60
[ "$RC" = 0 ] || fail "exit code $RC, expected 0; stderr: $(grep -v '^wine: ' "$WORK/err.txt" | tail -n 5)"

# Each SCSI port was tried and none opened (INVALID_HANDLE_VALUE: all ones at either width).
awk '/:Call KERNEL32\.CreateFileA\(/ {
         name = ""
         if (match($0, /"[^"]*"/)) name = substr($0, RSTART + 1, RLENGTH - 2)
     }
     /:Ret  KERNEL32\.CreateFileA\(\)/ && match(name, /SCSI[0-9]+:$/) {
         port = substr(name, RSTART)
         match($0, /retval=[0-9a-f]+/)
         print port, substr($0, RSTART + 7, RLENGTH - 7)
     }' \
    "$WORK/err.txt" >"$WORK/scsi-opens.txt"
for n in $(seq 0 15); do
    grep -qxE "SCSI$n: f+" "$WORK/scsi-opens.txt" ||
        fail "the relay trace shows no failed open of SCSI$n: ($WORK/scsi-opens.txt: $(cat "$WORK/scsi-opens.txt"))"
done

tr -d '\r' <"$WORK/out.raw" >"$WORK/out.txt"
# The sizes are those of the host's disk.
expected='^Disks: 0
WMI disk drives: 2
  Index 0: , Wine Disk Drive, IDE, [0-9]+ bytes
  Index 1: , Wine Disk Drive, IDE, [0-9]+ bytes
WMI drive letters: C: on disk 0, Z: on disk 1$'
[[ "$(cat "$WORK/out.txt")" =~ $expected ]] || fail "the report is not what Wine exposes: $(cat "$WORK/out.txt")"

[ -f "$LOG" ] || fail "no debug log at $LOG"
diff <(tr -d '\r' <"$LOG") "$WORK/out.txt" >/dev/null ||
    fail "the log differs from the console report: $(diff <(tr -d '\r' <"$LOG") "$WORK/out.txt" | head)"
echo "PASS: $CHECK"
