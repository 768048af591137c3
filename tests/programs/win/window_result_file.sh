#!/usr/bin/env bash
# Orvane.exe under Wine with /RESULT: (the real file calls): packed without firmware and started
# with /S, exit 4 and a document that says so, replacing the one at the path whole; packed with
# one slot, the no-match exit 3; a folder at the path is left alone and the exit code stays.
. "$(dirname "$0")/../lib/common.sh"
orv_init "$@"
. "$ORV_SOURCE_DIR/tests/programs/lib/result.sh"

VERSION=$(orv_project_version)
[ -n "$VERSION" ] || fail "no project version in CMakeLists.txt"

orv_manifest_no_slots "$WORK/nofw.json"
orv_pack "$WORK/nofw.json" "$BUILD/Orvane.exe" "$WORK/Orvane-nofw.exe"
R=$WORK/nofw.json.out
head -c 5000 /dev/zero | tr '\0' x >"$R"
orv_fresh_log
orv_start "$WORK/Orvane-nofw.exe" /S "/Result:$(orv_winpath "$R")"
orv_wait_exit_windowless 30
[ "$RC" = 4 ] || fail "exit code $RC, expected 4"
orv_check_last_log_line "EXIT_ERROR: 0x4"
orv_result_expect "$R" '$j->{exit_code}' 4
orv_result_expect "$R" '$j->{exit_meaning}' "no firmware in the executable, or a malformed package (the message names the field)"
orv_result_expect "$R" '$j->{program_version}' "$VERSION"
orv_result_expect "$R" 'scalar(@{$j->{drives}})' 0
orv_result_expect "$R" '$j->{start_time} =~ /^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$/ ? 1 : 0' 1
[ "$(tail -c 2 "$R" | od -An -c | tr -d ' ')" = '}\n' ] || fail "the document does not end where it should"
[ ! -e "$R.tmp" ] || fail "the temporary file is left"

orv_manifest_one_slot "$WORK/fw.json"
orv_pack "$WORK/fw.json" "$BUILD/Orvane.exe" "$WORK/Orvane-fw.exe"
R=$WORK/nomatch.json
orv_fresh_log
orv_start "$WORK/Orvane-fw.exe" "/RESULT:$(orv_winpath "$R")" /S
orv_wait_exit_windowless 60
[ "$RC" = 3 ] || fail "exit code $RC, expected 3"
orv_result_expect "$R" '$j->{exit_code}' 3
orv_result_expect "$R" '$j->{exit_meaning}' "no eligible drive, a failed scan, or an erase-capable package refused on the boot drive"

mkdir -p "$WORK/folder.json"
orv_fresh_log
orv_start "$WORK/Orvane-nofw.exe" /S "/RESULT:$(orv_winpath "$WORK/folder.json")"
orv_wait_exit_windowless 30
[ "$RC" = 4 ] || fail "exit code $RC with a folder at the path, expected 4"
last=$(tr -d '\r' <"$LOG" | awk 'NF { l = $0 } END { print l }')
[[ $last == "RESULT: not written (cannot replace "* ]] || fail "the log ends with '$last'"
[ -d "$WORK/folder.json" ] && [ -z "$(ls -A "$WORK/folder.json")" ] || fail "the folder was touched"
[ ! -e "$WORK/folder.json.tmp" ] || fail "the temporary file is left"
echo "PASS: $CHECK"
