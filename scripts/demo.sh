#!/usr/bin/env bash
# Demonstration on Linux: builds orvane-sim, orvane-pack and orvane-simtag, packs a generated firmware image
# into a copy of orvane-sim and runs it on the built-in simulated machine. The window's events
# appear as console lines; the script ends with the program's exit code.
set -u -o pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT" || exit 1
. scripts/lib/packages.sh
. scripts/lib/build.sh

DEMO=build/demo
LOGS=build/logs
mkdir -p "$DEMO" "$LOGS"

orv_ensure_packages "${ORV_NATIVE_PACKAGES[@]}" || exit 1

# Only the three programs the demonstration runs, with the flags of the release and test builds,
# so that either one's objects serve the other.
echo "== building orvane-sim, orvane-pack and orvane-simtag (build/native)"
orv_configure build/native "" "$LOGS/demo-configure.log" "${ORV_RELEASE_FLAGS[@]}" || { echo "CMake failed"; exit 1; }
if ! orv_build build/native "$LOGS/demo-build.log" orvane-sim orvane-pack orvane-simtag; then
    echo "the build failed; see $LOGS/demo-build.log"
    exit 1
fi

# The same bytes on every run: a text header, then a fixed pseudo-random sequence.
image=$DEMO/demo-firmware-S0614C0.bin
perl -e '
    my ($n) = @ARGV;
    my $out = "MERETH SSD 512GB DEMONSTRATION FIRMWARE S0614C0\0";
    my $x = 20160125;
    while (length($out) < $n) {
        $x = ($x * 1103515245 + 12345) % 2147483648;
        $out .= pack("C", ($x >> 16) & 0xFF);
    }
    binmode STDOUT;
    print substr($out, 0, $n);
' 394240 >"$image" || exit 1
# The simulated drive reads the revision the image installs from its tag (docs/machine-format.md).
build/native/orvane-simtag "$image" S0614C0 "" 64 || exit 1
echo "== firmware image: $image ($(stat -c %s "$image") bytes, sha256 $(sha256sum "$image" | cut -c1-16)...)"

# A second image for the built-in machine's NVMe drive (revision N0812C1); its revision text
# sits at byte 256, where the simulated controller reads the new revision from.
nvme_image=$DEMO/demo-firmware-N0812D0.bin
perl -e '
    my $out = "NVME DEMONSTRATION FIRMWARE\0" . ("\0" x 228) . "N0812D0\0";
    my $x = 20260105;
    while (length($out) < 10000) {
        $x = ($x * 1103515245 + 12345) % 2147483648;
        $out .= pack("C", ($x >> 16) & 0xFF);
    }
    binmode STDOUT;
    print $out;
' >"$nvme_image" || exit 1
build/native/orvane-simtag "$nvme_image" N0812D0 "" 512 || exit 1

# Header texts are the build's own. Slot 1 is for the built-in machine's 512 GB drive (model
# "MERETH SSD 512GB", revision S0614B0): its record accepts revisions S0614A0 to S0614B0 and
# the image installs S0614C0. Slot 2 is for the NVMe drive. Every other drive is refused, and
# all drives are listed, so the list shows both kinds. bWinFlash true flashes the images as
# stored, so they are not enciphered.
manifest=$DEMO/manifest.json
cat >"$manifest" <<JSON
{
  "target_model": "MERETH SSD 512GB",
  "iVisualStyle": 0,
  "iLanguage": 0,
  "iFlashMode": 1,
  "options": {
    "bListMatchedOnly": false,
    "bAskReboot": true,
    "bWinFlash": true
  },
  "slots": [
    {
      "image": "$(basename "$image")",
      "new_fw": "S0614C0",
      "fw_ext": "S0614C0",
      "encipher": false,
      "records": [
        { "fws": "S0614A0", "fwe": "S0614B0", "model": "MERETH SSD 512GB" }
      ]
    },
    {
      "image": "$(basename "$nvme_image")",
      "new_fw": "N0812D0",
      "fw_ext": "N0812D0",
      "encipher": false,
      "records": [
        { "fws": "N0812A0", "fwe": "N0812C1", "model": "NVMe MERETH SSD 1TB" }
      ]
    }
  ],
  "aux": {}
}
JSON
echo "== manifest: $manifest"
cat "$manifest"

echo "== packing"
if ! build/native/orvane-pack build --manifest "$manifest" --base build/native/orvane-sim --out "$DEMO/orvane-sim-demo"; then
    echo "packing failed"
    exit 1
fi
echo "packed: $DEMO/orvane-sim-demo"

# A private temporary folder, so the debug log holds this run only.
export TMPDIR=$ROOT/$DEMO/tmp
rm -rf "$TMPDIR"
mkdir -p "$TMPDIR"

echo "== the disks the packed program finds on the built-in simulated machine (/LIST)"
echo
"$DEMO/orvane-sim-demo" --speed 50 -- /LIST
list_rc=$?
echo "== /LIST exited with code $list_rc"
echo

# The user looks at the list: the program selects the last drive it may update; then they pick
# a drive it refuses, then the NVMe drive with its firmware slots, and close the window.
actions=wait:1000,select:1,wait:1000,select:5,wait:1000,close
echo "== running $DEMO/orvane-sim-demo --speed 50 --actions $actions on the built-in simulated machine"
echo
"$DEMO/orvane-sim-demo" --speed 50 --actions "$actions"
rc=$?
echo "== exited with code $rc"

# A machine whose drives sit behind a RAID controller only: no disk of the list identifies, so the
# program looks behind the controller's CSMI ports; none of those drives is one the package takes.
echo
echo "== running $DEMO/orvane-sim-demo on tests/device/machines/csmi_only.json (drives behind a RAID controller)"
echo
"$DEMO/orvane-sim-demo" --speed 50 --machine tests/device/machines/csmi_only.json
csmi_rc=$?
echo "== exited with code $csmi_rc (3: no drive the package may update)"
echo

# --- The update itself. An image the simulated 512 GB drive takes: its tag names the revision
# (S0614C0) and DEF text (GM802040) the drive reports once it has restarted with it.
update_image=$DEMO/demo-update-S0614C0.bin
cp "$image" "$update_image" || exit 1
build/native/orvane-simtag "$update_image" S0614C0 GM802040 >/dev/null || exit 1
update_manifest=$DEMO/update-manifest.json
cat >"$update_manifest" <<JSON
{
  "target_model": "MERETH SSD 512GB",
  "iVisualStyle": 0,
  "iLanguage": 0,
  "iFlashMode": 0,
  "options": {
    "bAutoFlashAll": true,
    "bListMatchedOnly": true,
    "ReBoot": true,
    "bAskReboot": true,
    "bNFlashAuto": true,
    "bWinFlash": true
  },
  "slots": [
    {
      "image": "$(basename "$update_image")",
      "new_fw": "S0614C0",
      "fw_ext": "GM802040",
      "encipher": false,
      "records": [
        { "fws": "S0614A0", "fwe": "S0614C0", "model": "MERETH SSD 512GB" }
      ]
    }
  ],
  "aux": {}
}
JSON
echo
echo "== the update package: $update_manifest (automatic walk over the listed drives, restart"
echo "   after the download, restart question; an equal revision counts as up to date)"
build/native/orvane-pack build --manifest "$update_manifest" --base build/native/orvane-sim --out "$DEMO/orvane-sim-update" >/dev/null || exit 1
echo
echo "== running $DEMO/orvane-sim-update --speed 50 --answers ok,no: the window opens, the automatic"
echo "   walk updates the 512 GB drive; the restart question is answered No"
echo
"$DEMO/orvane-sim-update" --speed 50 --answers ok,no --save-machine "$DEMO/machine-after.json" \
    --drive-state "$DEMO/drives-after.json"
update_rc=$?
echo "== exited with code $update_rc"
echo "== what the debug log says about the download, the restart and the verification:"
tr -d '\r' <"$TMPDIR/ORVANE_DEBUG.txt" | grep -E 'INDEX:|Start UpdateFW|Normal flash|End of UpdateFW|ATACMD_RET|SCAN DEVICES|FIND DEVICES|^SN[0-9]+:|FW_CMP_|Flash finished|Flash Total Time' |
    sed 's/^/    /'
chunks=$(tr -d '\r' <"$TMPDIR/ORVANE_DEBUG.txt" | grep -c 'Cmd:92 FR:03')
echo "    ($chunks DOWNLOAD MICROCODE chunks sent)"
echo "== the 512 GB drive afterwards: $(tr -d ' \n' <"$DEMO/drives-after.json" | grep -o '{[^{}]*MS512A0123456789[^{}]*\[[^]]*\]}')"
echo
echo "== the same machine as the update left it, listed again (/LIST), then the update package once more"
echo
"$DEMO/orvane-sim-update" --speed 50 --machine "$DEMO/machine-after.json" -- /LIST | grep -E 'S0614|^\[exit\]'
"$DEMO/orvane-sim-update" --speed 50 --machine "$DEMO/machine-after.json" | grep -E '^\[status\]|^\[box\]|^\[exit\]'
rerun_rc=${PIPESTATUS[0]}
echo "== exited with code $rerun_rc"


# --- The boot-time route: a package with bWinFlash off carries its image enciphered and a flasher
# for each Windows family; the program writes the image and the flasher into the system directory
# and registers the flasher to run at the next start. The flasher here is a stand-in made of its
# settings block only (the Windows builds make runnable ones under tools/stubs/).
boot_dir=$DEMO/boot
rm -rf "$boot_dir" && mkdir -p "$boot_dir/tmp" || exit 1
perl -e 'binmode STDOUT; print "FLASHER-STAND-IN;";
         print $_, "\0" x 48 for qw(UPDATEBOOT= B_PREFORMAT= A_PREFORMAT= PROTOCOL= SSDREBOOT= _____FW= _FW_EXT=
                                     DRIVECOUNT= VENDID1= FW1= SN1=)' >"$boot_dir/flasher.bin" || exit 1
cp "$update_image" "$boot_dir/fw.bin" || exit 1
cat >"$boot_dir/manifest.json" <<JSON
{
  "target_model": "MERETH SSD 512GB",
  "iFlashMode": 0,
  "options": { "bListMatchedOnly": true, "bAutoFlashAll": true, "ReBoot": true, "bWinFlash": false },
  "slots": [
    { "image": "fw.bin", "new_fw": "S0614C0", "fw_ext": "GM802040",
      "records": [ { "fws": "S0614A0", "fwe": "S0614C0", "model": "MERETH SSD 512GB" } ] }
  ],
  "aux": { "EXE_WIN7_X64": "flasher.bin", "EXE_WIN7_X86": "flasher.bin" }
}
JSON
# The built-in machine's registry, with one more boot-time program that must survive.
cat >"$boot_dir/machine.json" <<'JSON'
{ "system": { "registry": {
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion": { "ProductName": "Windows 10 Pro", "CurrentBuild": "19045" },
    "SYSTEM\\CurrentControlSet\\Control\\ProductOptions": { "ProductType": "WinNT" },
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager": { "BootExecute": ["autocheck autochk *", "othertool /x"] } } } }
JSON
boot_execute() {
    perl -MJSON::PP -e 'open my $f, "<", $ARGV[0] or exit 1; my $j = decode_json(do { local $/; <$f> });
        my $v = $j->{system}{registry}{"SYSTEM\\CurrentControlSet\\Control\\Session Manager"}{BootExecute};
        print join(" | ", map { "\"$_\"" } @$v), "\n"' "$1"
}
history_states() {
    perl -MJSON::PP -e 'open my $f, "<", $ARGV[0] or exit 1; my $j = decode_json(do { local $/; <$f> });
        printf "    %s %s -> %s: %s%s\n", $_->{serial}, $_->{revision_before}, $_->{target_revision}, $_->{state},
            $_->{detail} ne "" ? " ($_->{detail})" : "" for @{$j->{entries}}' "$1"
}
build/native/orvane-pack build --manifest "$boot_dir/manifest.json" --base build/native/orvane-sim \
    --out "$DEMO/orvane-sim-boot" >/dev/null || exit 1
echo
echo "== the boot-time package: $boot_dir/manifest.json (bWinFlash off: the image is stored enciphered)"
echo "== BootExecute before: $(boot_execute "$boot_dir/machine.json")"
echo "== running $DEMO/orvane-sim-boot --answers ok,no: the warning is acknowledged, the restart declined"
echo
TMPDIR=$boot_dir/tmp "$DEMO/orvane-sim-boot" --speed 50 --machine "$boot_dir/machine.json" --answers ok,no \
    --save-machine "$boot_dir/machine-after.json" | grep -E '^\[box\]|^\[exit\]'
boot_rc=${PIPESTATUS[0]}
echo "== exited with code $boot_rc"
sysdir=$boot_dir/tmp/orvane-sim/system32
echo "== the simulated system directory ($sysdir):"
ls -l "$sysdir" | sed -n 's/^\S\+\s\+\S\+\s\+\S\+\s\+\S\+\s\+\(\S\+\)\s.*\s\(\S\+\)$/    \2 (\1 bytes)/p'
if cmp -s <(head -c "$(stat -c %s "$update_image")" "$sysdir/FW.bin") "$update_image"; then
    echo "    FW.bin is the deciphered image"
else
    echo "    FW.bin is NOT the image" && boot_rc=1
fi
echo "    Ostrel.exe carries: $(tr '\0' '\n' <"$sysdir/Ostrel.exe" | grep '=' | tr '\n' ' ')"
echo "== BootExecute after:  $(boot_execute "$boot_dir/machine-after.json")"
tr -d '\r' <"$boot_dir/tmp/ORVANE_DEBUG.txt" | grep -E '^Boot Flash|^BOOT_SETUP' | sed 's/^/    /'
echo "== the update history after the boot-time run (the drive is pending until the flasher has run):"
history_states "$boot_dir/tmp/orvane-sim/programdata/Orvane/history.json"

# --- The restart: the flasher registered in BootExecute runs once and writes FW.bin to the drive
# it names; then "/VERIFY", as a deployment tool runs it after the restarts, checks the history's
# pending entries against the drives and ends with 0 when every one is verified.
echo
echo "== the machine restarts (--restart), then $DEMO/orvane-sim-boot /VERIFY /RESULT:$boot_dir/verify.json"
echo
TMPDIR=$boot_dir/tmp "$DEMO/orvane-sim-boot" --speed 50 --machine "$boot_dir/machine-after.json" --restart \
    -- /VERIFY "/RESULT:$boot_dir/verify.json" | grep -E '^\[restart\]|^\[exit\]'
verify_rc=${PIPESTATUS[0]}
echo "== /VERIFY exited with code $verify_rc (0: every pending update verified)"
tr -d '\r' <"$boot_dir/tmp/ORVANE_DEBUG.txt" | grep -E '^HISTORY|^VERIFY' | sed 's/^/    /'
perl -MJSON::PP -e 'open my $f, "<", $ARGV[0] or exit 1; my $j = decode_json(do { local $/; <$f> });
    printf "    result: run %s, exit %d; %s\n", $j->{run}, $j->{exit_code},
        join("; ", map { "$_->{serial} $_->{state} (target $_->{target_revision}, found " . ($_->{revision_found} // "nothing") . ")" } @{$j->{verification}})' \
    "$boot_dir/verify.json"
echo
echo "== debug log: $TMPDIR/ORVANE_DEBUG.txt"
echo "== the run on the built-in machine exited with code $rc"
[ "$list_rc" = 0 ] || exit "$list_rc"
[ "$csmi_rc" = 3 ] || exit "$csmi_rc"
[ "$update_rc" = 0 ] || exit "$update_rc"
[ "$rerun_rc" = 0 ] || exit "$rerun_rc"
[ "$boot_rc" = 0 ] || exit "$boot_rc"
[ "$verify_rc" = 0 ] || exit "$verify_rc"
exit "$rc"
