#!/usr/bin/env bash
# The demonstration's path through the packed orvane-sim: the automatic walk updates the built-in
# machine's 512 GB drive (download, restart, re-find, verification, "Flash finished !"), the
# drive's state afterwards holds the new revision, and a second run on the machine as the first
# left it reports the drive as up to date.
. "$(dirname "$0")/lib/common.sh"
orv_init "$@"

# The image the simulated drive takes: its tag names the new revision and DEF text.
orv_tagged_image "$WORK/fw.bin" 394240 S0614C0 GM802031 20160125

# bNFlashAuto: the rerun finds the same revision, which counts as up to date only with it.
MANIFEST='{
  "iFlashMode": 1,
  "options": { "bListMatchedOnly": true, "bAutoFlashAll": true, "ReBoot": true, "bAskReboot": true, "bNFlashAuto": true,
               "bWinFlash": true },
  "slots": [
    { "image": "fw.bin", "new_fw": "S0614C0", "fw_ext": "GM802031", "encipher": false,
      "records": [ { "fws": "S0614A0", "fwe": "S0614C0", "model": "MERETH SSD 512GB" } ] }
  ]
}'

# --- The walk over the one listed drive.
orv_run walk "$MANIFEST" --drive-state "$WORK/state1.json"
orv_check_exit "$OUT" 0
orv_check_line "$OUT" '[box] caption="Information" text="Flash finished !" buttons=OK -> OK'
orv_check_log_has "INDEX: 0, NEXT: 0"
orv_check_log_has "SN0: MS512A0123456789     | MS512A0123456789    "
orv_check_log_has "FW_CMP_1:(0) S0614C0  | S0614C0 "
orv_check_log_has "ATACMD_RET: 0x0       //0=OK, 1=ERR, 2=TIMEOUT, 0xFE=FAIL, 0xFF=SYS NOT SUPPORT"
[ -f "$WORK/state1.json" ] || fail "no drive state written"
# drive_field SERIAL FIELD: the field of the drive with that serial number in the state file.
drive_field() {
    perl -MJSON::PP -e '
        my ($serial, $field) = @ARGV[0, 1];
        open my $f, "<", $ARGV[2] or exit 1;
        my $j = decode_json(do { local $/; <$f> });
        my @todo = ($j);
        while (@todo) {
            my $v = shift @todo;
            if (ref $v eq "HASH") {
                if (defined $v->{serial} && $v->{serial} eq $serial) { print $v->{$field}; exit 0 }
                push @todo, values %$v;
            } elsif (ref $v eq "ARRAY") { push @todo, @$v }
        }
        exit 1;
    ' "$1" "$2" "$WORK/state1.json"
}
rev=$(drive_field MS512A0123456789 revision) || fail "the drive state does not name the 512 GB drive"
[ "$rev" = "S0614C0" ] || fail "the 512 GB drive holds revision '$rev' after the walk, expected S0614C0"

# --- The machine as the walk left it: the built-in machine with the drive at its new revision.
perl -0777 -ne 'print $1 if /R"machine\((.*)\)machine"/s' "$ORV_SOURCE_DIR/src/platform/sim/sim_machine.cpp" |
    sed 's/S0614B0/S0614C0/g' >"$WORK/after.json" || fail "cannot write the machine after the walk"
grep -q S0614C0 "$WORK/after.json" || fail "the built-in machine's 512 GB drive was not found"
orv_run rerun - --machine "$(orv_machine "$WORK/after.json")"
orv_check_exit "$OUT" 0
orv_check_line "$OUT" "[status] This drive is the latest firmware."
orv_check_log_has "bUseFWExt=false,This drive is the latest firmware"
orv_check_log_lacks "Flash FW START" "an up-to-date drive is not flashed again"
echo "ok"
