#!/usr/bin/env bash
# Updates that take effect at the next start, across two runs of the packed orvane-sim:
# - an NVMe drive whose activation answers 20h: the first run leaves the image pending, the saved
#   machine keeps it, and the restarted run finds the drive on the new revision;
# - the boot-time route: the first run writes the flasher and FW.bin and registers the flasher;
#   after the restart the flasher has updated the drive it names and its BootExecute entry is gone;
# - "/VERIFY" on the NVMe route: exit 10 before the restart, the drive verified (exit 0) after it.
. "$(dirname "$0")/lib/common.sh"
orv_init "$@"

# json_get FILE PERL_EXPR: prints the expression over the decoded document $j.
json_get() {
    perl -MJSON::PP -e '
        open my $f, "<", $ARGV[0] or die "cannot read $ARGV[0]\n";
        our $j = decode_json(do { local $/; <$f> });
        my $v = eval $ARGV[1];
        die "$@" if $@;
        print ref $v eq "ARRAY" ? join("|", @$v) : (defined $v ? $v : "null");
    ' "$1" "$2"
}
# drive_field STATE_FILE SERIAL FIELD
drive_field() {
    json_get "$1" "my (\$d) = grep { \$_->{serial} eq '$2' } @\$j; \$d ? \$d->{$3} : '<no drive>'"
}

# --- 1. NVMe: the activation answers 20h, the image waits for the restart.
orv_tagged_image "$WORK/nvme.bin" 16384 N0812D0 "" 20260105
NVME_MANIFEST='{
  "iFlashMode": 1,
  "options": { "bListMatchedOnly": true, "bAutoFlashAll": true, "ReBoot": true, "bWinFlash": true,
               "bNFlashAuto": true },
  "slots": [
    { "image": "nvme.bin", "new_fw": "N0812D0", "fw_ext": "", "encipher": false,
      "records": [ { "fws": "N0812A0", "fwe": "N0812D0", "model": "NVMe MERETH SSD 1TB" } ] }
  ]
}'
# The built-in machine's NVMe disk alone, its controller answering the activation with 20h.
perl -0777 -ne 'print $1 if /R"machine\((.*)\)machine"/s' "$ORV_SOURCE_DIR/src/platform/sim/sim_machine.cpp" |
    perl -MJSON::PP -0777 -ne '
        my $m = decode_json($_);
        my @nvme = grep { $_->{nvme} } @{ $m->{disks} };
        @nvme == 1 or die "the built-in machine has no single NVMe disk\n";
        $nvme[0]{nvme}{activate_status} = "0x20";
        print JSON::PP->new->pretty->encode({ disks => \@nvme });
    ' >"$WORK/nvme-machine.json" || fail "cannot write the NVMe machine"

orv_run nvme "$NVME_MANIFEST" --machine "$(orv_machine "$WORK/nvme-machine.json")" \
    --save-machine "$WORK/nvme-saved.json" --drive-state "$WORK/nvme-state1.json"
orv_check_exit "$OUT" 0
orv_check_log_has "Firmware activate succeeded. PLEASE REBOOT COMPUTER "
[ "$(drive_field "$WORK/nvme-state1.json" MN1T0H0000000007 revision)" = N0812C1 ] ||
    fail "the NVMe drive runs the new firmware before the restart"
[ "$(drive_field "$WORK/nvme-state1.json" MN1T0H0000000007 pending)" = N0812D0 ] ||
    fail "no image pending activation after the first run: $(cat "$WORK/nvme-state1.json")"

# Loaded again without a restart, the image still waits.
orv_run nvme-again - --machine "$(orv_machine "$WORK/nvme-saved.json")" --drive-state "$WORK/nvme-state2.json" -- /LIST
[ "$(drive_field "$WORK/nvme-state2.json" MN1T0H0000000007 pending)" = N0812D0 ] ||
    fail "the saved machine lost the image pending activation: $(cat "$WORK/nvme-state2.json")"
grep -q '^\[restart\]' "$OUT" && fail "a run without --restart restarted the machine: $(grep '^\[restart\]' "$OUT")"

# "/VERIFY" before the restart: the update waits for it and is neither decided nor counted (exit 10).
orv_run nvme-verify-early - --machine "$(orv_machine "$WORK/nvme-saved.json")" -- /VERIFY "/RESULT:$WORK/verify-early.json"
orv_check_exit "$OUT" 10
orv_check_log_has "VERIFY: 0 decided, 0 failed, 1 still pending"
[ "$(json_get "$WORK/verify-early.json" 'scalar @{$j->{verification}}')" = 0 ] || fail "an update decided before its restart"

# "/VERIFY" as the first start after the restart: the drive runs the new firmware, exit 0.
orv_run nvme-verify - --machine "$(orv_machine "$WORK/nvme-saved.json")" --restart -- /VERIFY "/RESULT:$WORK/verify.json"
orv_check_exit "$OUT" 0
orv_check_log_has "VERIFY: 1 decided, 0 failed, 0 still pending"
[ "$(json_get "$WORK/verify.json" '$j->{verification}[0]{state} . " " . $j->{verification}[0]{revision_found}')" = \
    "verified N0812D0" ] || fail "the restarted drive was not verified: $(cat "$WORK/verify.json")"
grep -q '^\[box\]' "$OUT" && fail "/VERIFY showed a box: $(grep '^\[box\]' "$OUT")"

orv_run nvme-restarted - --machine "$(orv_machine "$WORK/nvme-saved.json")" --restart \
    --drive-state "$WORK/nvme-state3.json"
orv_check_exit "$OUT" 0
orv_check_line "$OUT" "[restart] drive MN1T0H0000000007 now runs N0812D0 (was N0812C1)"
[ "$(drive_field "$WORK/nvme-state3.json" MN1T0H0000000007 revision)" = N0812D0 ] ||
    fail "the NVMe drive does not run the new revision after the restart: $(cat "$WORK/nvme-state3.json")"
[ "$(drive_field "$WORK/nvme-state3.json" MN1T0H0000000007 pending)" = null ] ||
    fail "an image still pending after the restart"
orv_check_log_lacks "Firmware activate succeeded. PLEASE REBOOT COMPUTER " "the restarted drive was updated again"

# --- 2. The boot-time route on the built-in machine's 512 GB drive.
# A flasher stand-in: every key with room for its value behind it.
perl -e '
    binmode STDOUT;
    print "MZWIN7_X64;";
    print $_, "\0" x 48 for qw(UPDATEBOOT= B_PREFORMAT= A_PREFORMAT= PROTOCOL= SSDREBOOT= _____FW= _FW_EXT=
                               DRIVECOUNT= VENDID1= FW1= SN1=);
' >"$WORK/flasher.exe" || fail "cannot write the flasher stand-in"
orv_tagged_image "$WORK/fw.bin" 394240 S0614C0 GM802031 20240611
BOOT_MANIFEST='{
  "iFlashMode": 0,
  "options": { "bListMatchedOnly": true, "bAutoFlashAll": true, "bWinFlash": false, "ReBoot": true,
               "Preformat": false, "bBPreformat": false, "bUpdateBoot": false },
  "slots": [
    { "image": "fw.bin", "new_fw": "S0614C0", "fw_ext": "GM802031",
      "records": [ { "fws": "S0614A0", "fwe": "S0614C0", "model": "MERETH SSD 512GB" } ] }
  ],
  "aux": { "EXE_WIN7_X64": "flasher.exe" }
}'
orv_run boot "$BOOT_MANIFEST" --answers ok,no --save-machine "$WORK/boot-saved.json" \
    --drive-state "$WORK/boot-state1.json"
orv_check_exit "$OUT" 0
orv_check_log_has "Boot Flash START"
[ "$(json_get "$WORK/boot-saved.json" '$j->{system}{registry}{"SYSTEM\\CurrentControlSet\\Control\\Session Manager"}{BootExecute}')" = \
    "autocheck autochk *|Ostrel FW.bin" ] || fail "the flasher is not registered in the saved machine"
[ "$(drive_field "$WORK/boot-state1.json" MS512A0123456789 revision)" = S0614B0 ] ||
    fail "the drive changed before the restart"

# The next start: the saved machine names the same system folder, where the flasher and FW.bin are.
orv_run boot-restarted - --machine "$(orv_machine "$WORK/boot-saved.json")" --restart \
    --save-machine "$WORK/boot-saved2.json" --drive-state "$WORK/boot-state2.json" -- /LIST
orv_check_line "$OUT" \
    "[restart] boot-time flasher Ostrel wrote FW.bin (S0614C0) to drive MS512A0123456789; it runs S0614C0"
[ "$(drive_field "$WORK/boot-state2.json" MS512A0123456789 revision)" = S0614C0 ] ||
    fail "the drive does not run the new firmware after the restart: $(cat "$WORK/boot-state2.json")"
[ "$(drive_field "$WORK/boot-state2.json" MS512A0123456789 def)" = GM802031 ] || fail "the drive's DEF text is not the image's"
[ "$(drive_field "$WORK/boot-state2.json" WX21A3C5D7E9 revision)" = CC43 ] || fail "another drive was changed"
[ "$(json_get "$WORK/boot-saved2.json" '$j->{system}{registry}{"SYSTEM\\CurrentControlSet\\Control\\Session Manager"}{BootExecute}')" = \
    "autocheck autochk *" ] || fail "BootExecute still names the flasher after the restart"

# A second restart runs no flasher.
orv_run boot-again - --machine "$(orv_machine "$WORK/boot-saved2.json")" --restart -- /LIST
grep -q '^\[restart\]' "$OUT" && fail "the flasher ran twice: $(grep '^\[restart\]' "$OUT")"
echo "ok"
