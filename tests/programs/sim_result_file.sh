#!/usr/bin/env bash
# orvane-sim with /RESULT: the document of an update walk, of the start-up's early exits and of
# /LIST; paths it refuses or cannot write leave the exit code as it was and no file behind.
. "$(dirname "$0")/lib/common.sh"
orv_init "$@"
. "$ORV_SOURCE_DIR/tests/programs/lib/result.sh"

VERSION=$(orv_project_version)
[ -n "$VERSION" ] || fail "no project version in CMakeLists.txt"

# rpath FILE: a host path as the program under test names it.
rpath() { if [ -n "$WINE" ]; then orv_winpath "$1"; else echo "$1"; fi; }

# common_fields FILE CODE MEANING: what every document holds.
common_fields() {
    orv_result_expect "$1" '$j->{program_version}' "$VERSION"
    orv_result_expect "$1" '$j->{schema}' 2
    orv_result_expect "$1" 'length($j->{host_name}) > 0 ? 1 : 0' 1
    orv_result_expect "$1" '$j->{exit_code}' "$2"
    orv_result_expect "$1" '$j->{exit_meaning}' "$3"
    orv_result_expect "$1" '$j->{start_time} =~ /^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$/ ? 1 : 0' 1
    orv_result_expect "$1" '$j->{end_time} ge $j->{start_time} ? 1 : 0' 1
    [ ! -e "$1.tmp" ] || fail "the temporary file $1.tmp is left"
}

# --- An automatic walk that updates the built-in machine's 512 GB drive and asks for the restart
# (answered Yes): the document is there, and lists every other drive as not updated.
orv_tagged_image "$WORK/fw.bin" 394240 S0614C0 GM802031 7
MANIFEST='{
  "iFlashMode": 1,
  "options": { "bListMatchedOnly": true, "bAutoFlashAll": true, "ReBoot": true, "bAskReboot": true, "bWinFlash": true },
  "slots": [
    { "image": "fw.bin", "new_fw": "S0614C0", "fw_ext": "GM802031", "encipher": false,
      "records": [ { "fws": "S0614A0", "fwe": "S0614C0", "model": "MERETH SSD 512GB" } ] }
  ]
}'
R=$WORK/walk.json
echo "an older document" >"$R"
orv_run walk "$MANIFEST" -- "/result:$(rpath "$R")"
orv_check_exit "$OUT" 0
orv_check_log_has "RESTART requested"
orv_check_last_log_line "EXIT_ERROR: 0x0"
common_fields "$R" 0 "success, or the drive already has the firmware"
orv_result_expect "$R" '(grep { $_->{serial} eq "MS512A0123456789" } @{$j->{drives}})[0]{outcome}' updated
orv_result_expect "$R" '(grep { $_->{serial} eq "MS512A0123456789" } @{$j->{drives}})[0]{revision_before}' S0614B0
orv_result_expect "$R" '(grep { $_->{serial} eq "MS512A0123456789" } @{$j->{drives}})[0]{revision_after}' S0614C0
orv_result_expect "$R" '(grep { $_->{serial} eq "MS512A0123456789" } @{$j->{drives}})[0]{transport}' "ATA PASSTHROUGH"
orv_result_expect "$R" '(grep { $_->{serial} eq "MS512A0123456789" } @{$j->{drives}})[0]{duration_seconds} > 5 ? 1 : 0' 1
orv_result_expect "$R" 'scalar(@{$j->{drives}}) > 1 ? 1 : 0' 1
orv_result_expect "$R" 'scalar(grep { $_->{serial} ne "MS512A0123456789" && !($_->{outcome} eq "not_updated" &&
                                $_->{detail} eq "not eligible") } @{$j->{drives}})' 0

# --- The start-up's early exits: each still writes its document.
orv_manifest_no_slots "$WORK/nofw.json"
for args in "/S" ""; do
    R=$WORK/nofw${args:+-silent}.json
    orv_run nofw "$(cat "$WORK/nofw.json")" -- $args "/RESULT:$(rpath "$R")"
    orv_check_exit "$OUT" 4
    orv_check_last_log_line "EXIT_ERROR: 0x4"
    common_fields "$R" 4 "no firmware in the executable, or a malformed package (the message names the field)"
    orv_result_expect "$R" 'scalar(@{$j->{drives}})' 0
done

orv_manifest_one_slot "$WORK/unattended.json"
perl -0pi -e 's/"slots"/"options": { "bUnattended": true },\n  "slots"/' "$WORK/unattended.json"
# Its "/T:" is part of the path, not the target: no target, exit 2. Windows allows no colon there,
# so the path itself is refused; a second document with a plain path says exit 2.
R=$WORK/unattended.json.out
orv_run unattended "$(cat "$WORK/unattended.json")" -- "/RESULT:$(rpath "$WORK")/T:y/r.json" "/RESULT:$(rpath "$R")"
orv_check_exit "$OUT" 2
if tr -d '\r' <"$LOG" | grep '^DEV_PATH:' >/dev/null; then fail "part of the result path was taken as the target"; fi
MEANING2="an unattended package was started without a usable target, or the command line was refused (a target the package does not take, an unknown argument with /S)"
common_fields "$R" 2 "$MEANING2"
orv_run unattended - -- "/RESULT:$(rpath "$WORK")/T:y/r.json"
orv_check_exit "$OUT" 2
grep -q "^RESULT: refused (the character 0x3A is not allowed in a file name): " <(tr -d '\r' <"$LOG") ||
    fail "no refusal of the path with a colon in the log"
orv_check_last_log_line "EXIT_ERROR: 0x2"
[ ! -e "$WORK/T:y" ] || fail "a folder was made for the refused path"

# A bad "/C:" (8), then the port scan finds no drive there: the start-up ends with 3.
orv_run raid - -- "/C:2,XYZ" "/RESULT:$(rpath "$WORK/raid.json")"
orv_check_exit "$OUT" 3
common_fields "$WORK/raid.json" 3 "no eligible drive, a failed scan, or an erase-capable package refused on the boot drive"

# A second copy, and a target given to a package that takes none: both end before the scan, so
# the document lists no drive.
printf '{ "system": { "instances_running": ["orvane-sim"] } }\n' >"$WORK/other_copy.json"
R=$WORK/second.json
orv_run second "" --machine "$(rpath "$WORK/other_copy.json")" -- /S "/RESULT:$(rpath "$R")"
orv_check_exit "$OUT" 9
orv_check_line "$OUT" "[instance] another copy is running: orvane-sim brought forward"
orv_check_log_has "INSTANCE: another copy of orvane-sim is running"
common_fields "$R" 9 "another copy of the program is running; this one touched no drive"
orv_result_expect "$R" 'scalar(@{$j->{drives}})' 0
R=$WORK/refused.json
orv_run refused "" -- /S '/T:\\.\PhysicalDrive0' "/RESULT:$(rpath "$R")"
orv_check_exit "$OUT" 2
orv_check_log_has 'COMMAND_LINE_REFUSED: The argument "/T:\\.\PhysicalDrive0" names a target, but only an unattended package takes one. Nothing was updated.'
common_fields "$R" 2 "$MEANING2"
orv_result_expect "$R" 'scalar(@{$j->{drives}})' 0

# --- /LIST: the report, then the document without drives.
R=$WORK/list.json
orv_run list "" -- /LIST "/RESULT:$(rpath "$R")"
orv_check_exit "$OUT" 0
common_fields "$R" 0 "success, or the drive already has the firmware"
orv_result_expect "$R" 'scalar(@{$j->{drives}})' 0

# --- Paths that cannot be written: refused in the log, the exit code as it was, nothing left.
mkdir -p "$WORK/folder.json"
SIM=$WORK/orvane-sim-nofw$EXE
for target in "$WORK/missing/r.json" "$WORK/folder.json"; do
    orv_run nofw - -- /S "/RESULT:$(rpath "$target")"
    orv_check_exit "$OUT" 4
    last=$(tr -d '\r' <"$LOG" | awk 'NF { l = $0 } END { print l }')
    [[ $last == "RESULT: not written (cannot "* ]] || fail "for $target the log ends with '$last'"
    [ ! -e "$target.tmp" ] || fail "the temporary file $target.tmp is left"
done
[ -d "$WORK/folder.json" ] && [ -z "$(ls -A "$WORK/folder.json")" ] || fail "the folder was touched"
[ ! -e "$WORK/missing" ] || fail "a folder was made for the missing one"
orv_run nofw - -- /S "/RESULT:"
orv_check_exit "$OUT" 4
orv_check_log_has "RESULT: refused (no path given): "
echo "PASS: $CHECK"
