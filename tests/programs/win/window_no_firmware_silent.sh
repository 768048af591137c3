#!/usr/bin/env bash
# Orvane.exe packed without firmware, started with /S: no box at all, exit code 4.
. "$(dirname "$0")/../lib/common.sh"
orv_init "$@"

orv_manifest_no_slots "$WORK/manifest.json"
orv_pack "$WORK/manifest.json" "$BUILD/Orvane.exe" "$WORK/Orvane-nofw.exe"
orv_fresh_log

orv_start "$WORK/Orvane-nofw.exe" /S
end=$((SECONDS + 30))
while kill -0 "$PID" 2>/dev/null; do
    shown=$(orv_visible_windows)
    [ -z "$shown" ] || fail "a window appeared in a silent run: $shown"
    ((SECONDS < end)) || fail "the program did not end within 30 s"
    sleep 0.1
done
orv_wait_exit 1
[ "$RC" = 4 ] || fail "exit code $RC, expected 4"
orv_check_last_log_line "EXIT_ERROR: 0x4"
echo "PASS: $CHECK"
