#!/usr/bin/env bash
# Orvane.exe /LIST under Wine: exit 0 with no window; the report shows what Wine exposes (WMI
# counts two disks, but Wine's disk interface set is empty, so no disk node is listed), and the
# debug log holds the same report.
. "$(dirname "$0")/../lib/common.sh"
orv_init "$@"
[ -n "$WINE" ] || fail "this check needs a Windows build"
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY: the check looks for windows"
[ -f "$BUILD/Orvane.exe" ] || fail "no $BUILD/Orvane.exe"
orv_fresh_log

# Standard output apart from Wine's own messages on standard error.
(cd "$WORK" && exec "$WINE" "$BUILD/Orvane.exe" /LIST) >"$WORK/out.raw" 2>"$WORK/err.txt" &
PID=$!
ORV_PIDS+=("$PID")
end=$((SECONDS + 60))
while kill -0 "$PID" 2>/dev/null; do
    shown=$(orv_visible_windows)
    [ -z "$shown" ] || fail "a window appeared during /LIST: $shown"
    ((SECONDS < end)) || fail "Orvane.exe /LIST did not end within 60 s"
    sleep 0.1
done
orv_wait_exit 1
[ "$RC" = 0 ] || fail "exit code $RC, expected 0; stderr: $(grep -v '^wine: ' "$WORK/err.txt" | tail -n 5)"

tr -d '\r' <"$WORK/out.raw" >"$WORK/out.txt"
# Wine's disk interface set is empty; its WMI has two disks and maps C: and Z: to them.
# (The sizes are those of the host's disk.)
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
