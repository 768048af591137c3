#!/usr/bin/env bash
# The boot-time route for real under Wine: orvane-sim packed with bWinFlash off (its image stored
# enciphered) and the flasher and copy-program stand-ins in its auxiliary area, run with the real
# system layer (--real-system) on the built-in machine's 512 GB drive, the warning answered OK and
# the restart question No. Checked in the prefix afterwards:
# - exit 0, no restart done; "FW.bin" (the deciphered image) and "Ostrel.exe" (the x64 flasher,
#   Wine's Windows being 64-bit) in drive_c/windows/system32. The 64-bit program writes them there
#   itself; the 32-bit one's writes land in drive_c/windows/syswow64 and the copy-program stand-in
#   it starts brings them to system32;
# - BootExecute, read back with reg.exe: earlier entries kept in their places, "Ostrel FW.bin"
#   added once, not again by a second run; "autocheck autochk *" added only when the value was
#   absent; the stored bytes a well-formed multi-string;
# - "Ostrel.exe FW.bin" run by hand prints the settings the program wrote and the image's size.
# The prefix is shared with the other checks: BootExecute and the files are put back as they were.
. "$(dirname "$0")/../lib/common.sh"
orv_init "$@"
[ -n "$WINE" ] || fail "this check needs a Windows build"

# pe_width FILE: x86 or x64.
pe_width() {
    case $(x86_64-w64-mingw32-objdump -f "$1" 2>/dev/null) in
    *pei-x86-64*) echo x64 ;;
    *pei-i386*) echo x86 ;;
    *) return 1 ;;
    esac
}
WIDTH=$(pe_width "$BUILD/orvane-sim.exe") || fail "cannot tell the width of $BUILD/orvane-sim.exe"
SYS=$WINEPREFIX/drive_c/windows/system32
WOW=$WINEPREFIX/drive_c/windows/syswow64
[ -d "$SYS" ] && [ -d "$WOW" ] || fail "the prefix has no system32 and syswow64: it must be a 64-bit one"
SM='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager'

# --- The package: the stand-ins this build and its sibling build folder supply.
ROOT_BUILDS=$(dirname "$BUILD")
AUX=""
aux_entry() { # SLOT FILE: adds the slot when FILE exists
    [ -f "$2" ] || return 1
    cp "$2" "$WORK/$1.exe" || fail "cannot copy $2"
    AUX+="${AUX:+, }\"$1\": \"$1.exe\""
}
for fam in 2008 win7 2003 xp; do
    aux_entry "EXE_${fam^^}_X86" "$ROOT_BUILDS/win32/orvane-flasher-$fam-x86.exe"
    [ $fam = xp ] || aux_entry "EXE_${fam^^}_X64" "$ROOT_BUILDS/win64/orvane-flasher-$fam-x64.exe"
done
for c in win7 2k3 2k8 xp; do
    aux_entry "EXE_COPYFILE_${c^^}" "$ROOT_BUILDS/win32/orvane-copyfile-$c.exe"
done
# Wine's Windows is 64-bit and not of the 2003, Vista, 2008 or XP families: the x64 Windows 7 slot.
FLASHER=$WORK/EXE_WIN7_X64.exe
HAVE_FLASHER=0
[ -f "$FLASHER" ] && HAVE_FLASHER=1
if [ "$WIDTH" = x64 ]; then
    ((HAVE_FLASHER)) || fail "this build made no x64 Windows 7 flasher stand-in (orvane-flasher-win7-x64.exe)"
else
    ls "$WORK"/EXE_COPYFILE_*.exe >/dev/null 2>&1 || fail "this build made no copy-program stand-in"
    ((HAVE_FLASHER)) || echo "note: no build/win64 stand-ins: the x64 flasher slot is empty, so Ostrel.exe is" \
        "an empty file and is not run by hand"
fi

# The image the simulated drive takes (tag, revision, DEF text, length), 770 sectors.
orv_tagged_image "$WORK/fw.bin" 394240 S0614C0 GM802031 20240611

# The flags differ from their neighbours' where they can: an erase option (Preformat, bBPreformat)
# would be refused on this drive, which holds C:.
cat >"$WORK/boot.json" <<JSON || fail "cannot write the manifest"
{
  "iFlashMode": 0,
  "options": { "bListMatchedOnly": true, "bAutoFlashAll": true, "bWinFlash": false,
               "ReBoot": true, "Preformat": false, "bBPreformat": false, "bUpdateBoot": true },
  "slots": [
    { "image": "fw.bin", "new_fw": "S0614C0", "fw_ext": "GM802031",
      "records": [ { "fws": "S0614A0", "fwe": "S0614C0", "model": "MERETH SSD 512GB" } ] }
  ],
  "aux": { $AUX }
}
JSON
SIM=$WORK/orvane-sim-boot.exe
orv_pack "$WORK/boot.json" "$BUILD/orvane-sim.exe" "$SIM"

# --- The prefix as it was, put back however the check ends.
reg_value() { # the BootExecute line's data as reg.exe shows it; fails when there is none
    local line
    line=$(orv_exec 60 reg.exe query "$SM" /v BootExecute 2>/dev/null | tr -d '\r' | grep -E '^ +BootExecute +REG_MULTI_SZ')
    [ -n "$line" ] || return 1
    sed -E 's/^ +BootExecute +REG_MULTI_SZ( +|$)//' <<<"$line"
}
set_value() {
    orv_exec 60 reg.exe add "$SM" /v BootExecute /t REG_MULTI_SZ /d "$1" /f >/dev/null 2>&1 ||
        fail "cannot set BootExecute to '$1'"
}
delete_value() { orv_exec 60 reg.exe delete "$SM" /v BootExecute /f >/dev/null 2>&1; }

ORIGINAL=$(reg_value) && HAD_VALUE=1 || HAD_VALUE=0
FILES=("$SYS/Ostrel.exe" "$SYS/FW.bin" "$WOW/Ostrel.exe" "$WOW/FW.bin" "$WOW/CopyFile.exe")
mkdir -p "$WORK/saved" || fail "cannot make $WORK/saved"
for i in "${!FILES[@]}"; do
    [ -e "${FILES[$i]}" ] && { mv "${FILES[$i]}" "$WORK/saved/$i" || fail "cannot set aside ${FILES[$i]}"; }
done
restore_prefix() {
    local rc=$?
    local i
    wait_copier
    for i in "${!FILES[@]}"; do
        rm -f "${FILES[$i]}"
        [ -e "$WORK/saved/$i" ] && mv "$WORK/saved/$i" "${FILES[$i]}"
    done
    if ((HAD_VALUE)); then
        orv_exec 60 reg.exe add "$SM" /v BootExecute /t REG_MULTI_SZ /d "$ORIGINAL" /f >/dev/null 2>&1
    else
        delete_value
    fi
    orv_cleanup "$rc"
}
# The copy program runs on after the program ends: nothing is put back underneath it.
wait_copier() {
    local i
    for ((i = 0; i < 300; i++)); do
        pgrep -fi 'syswow64.copyfile\.exe' >/dev/null || return 0
        sleep 0.1
    done
}
trap restore_prefix EXIT

# boot_run NAME [RESTART]: one run of the package, the restart question answered RESTART (no or
# yes); checks what every run must show.
boot_run() {
    local restart=${2:-no}
    [ "$WIDTH" = x86 ] && rm -f "$SYS/Ostrel.exe" "$SYS/FW.bin"
    orv_fresh_log
    OUT=$WORK/$1.txt
    orv_sim "$OUT" --real-system --speed 1000 --answers "ok,$restart"
    orv_check_exit "$OUT" 0
    grep -qE '^\[box\] caption="Information" text="WARNING: THIS PROCESS WILL UPDATE THE FIRMWARE ON YOUR SSD\..* -> OK$' \
        "$OUT" || fail "$1: the warning was not shown and acknowledged: $(grep '^\[box\]' "$OUT")"
    grep -qE '^\[box\] caption="Question" text="The update process needs to REBOOT your computer\..* buttons=YESNO -> '"${restart^^}"'$' "$OUT" ||
        fail "$1: the restart question was not asked and answered $restart: $(grep '^\[box\]' "$OUT")"
    # A restart done for real would have ended Wine's session and this program with it.
    if [ "$restart" = yes ]; then
        orv_check_line "$OUT" "[system] forced restart recorded, not done"
    else
        grep -q '^\[system\]' "$OUT" && fail "$1: a restart or shutdown was asked for: $(grep '^\[system\]' "$OUT")"
    fi
    orv_check_log_has "Boot Flash START"

    if [ "$WIDTH" = x64 ]; then
        # Written straight into the native folder; nothing into the 32-bit one.
        [ -f "$SYS/FW.bin" ] && [ -f "$SYS/Ostrel.exe" ] || fail "$1: FW.bin and Ostrel.exe are not in $SYS"
        for f in FW.bin Ostrel.exe CopyFile.exe; do
            [ -e "$WOW/$f" ] && fail "$1: the 64-bit program wrote $WOW/$f"
        done
    else
        [ -f "$WOW/FW.bin" ] && [ -f "$WOW/Ostrel.exe" ] || fail "$1: the 32-bit program's files are not in $WOW"
        [ -f "$WOW/CopyFile.exe" ] || fail "$1: no copy program in $WOW"
        # The copy program runs on its own: wait for it to bring both files over.
        local i done=0
        for ((i = 0; i < 300; i++)); do
            if cmp -s "$WOW/FW.bin" "$SYS/FW.bin" && cmp -s "$WOW/Ostrel.exe" "$SYS/Ostrel.exe"; then
                done=1
                break
            fi
            sleep 0.1
        done
        ((done)) || fail "$1: the copy program did not bring FW.bin and Ostrel.exe into $SYS within 30 s"
        wait_copier
    fi
    cmp -s "$SYS/FW.bin" "$WORK/fw.bin" || fail "$1: $SYS/FW.bin is not the deciphered image"
    if ((HAVE_FLASHER)); then
        [ "$(stat -c %s "$SYS/Ostrel.exe")" = "$(stat -c %s "$FLASHER")" ] ||
            fail "$1: Ostrel.exe is not the size of the x64 Windows 7 flasher"
    else
        [ ! -s "$SYS/Ostrel.exe" ] || fail "$1: Ostrel.exe is not the empty slot's empty file"
    fi
}

# check_value EXPECTED: reg.exe shows BootExecute as EXPECTED ("\0" between entries), and the
# stored bytes are those entries, each ended by a NUL, then the closing NUL.
check_value() {
    local got
    got=$(reg_value) || fail "no BootExecute value after the run"
    [ "$got" = "$1" ] || fail "BootExecute is '$got', expected '$1'"
    rm -f "$WORK/sm.reg"
    orv_exec 60 reg.exe export "$SM" "$(orv_winpath "$WORK/sm.reg")" /y >/dev/null 2>&1 ||
        fail "cannot export the session manager's key"
    perl -e '
        open(my $f, "<:raw:encoding(UTF-16)", $ARGV[0]) or die "cannot read $ARGV[0]\n";
        local $/; my $t = <$f>;
        $t =~ s/\r//g;
        $t =~ /^"BootExecute"=hex\(7\):((?:[0-9a-f]{2},?|\\\n\s*)*)/mi or die "no BootExecute line\n";
        (my $hex = $1) =~ s/[^0-9a-f]//gi;
        my $bytes = pack("H*", $hex);
        (my $want = $ARGV[1]) =~ s/\\0/\0/g;
        $want = join("", map { "$_\0" } split(/\0/, $want)) . "\0";
        $want = join("", map { "$_\0" } split(//, $want));  # UTF-16LE
        exit 0 if $bytes eq $want;
        my $show = $bytes; $show =~ s/\0\0/\\0/g; $show =~ s/\0//g;
        die "stored as \"$show\"\n";
    ' "$WORK/sm.reg" "$1" 2>"$WORK/export.err" || fail "BootExecute is not stored as a well-formed list: $(cat "$WORK/export.err")"
}

# --- 1. Another boot-time program is registered besides the disk check.
set_value 'autocheck autochk *\0othertool /x'
boot_run first
check_value 'autocheck autochk *\0othertool /x\0Ostrel FW.bin'
PROTOCOL=$(tr -d '\r' <"$LOG" | sed -n 's/^BOOT_SETUP: PROTOCOL=\([0-9]*\), .*/\1/p' | head -n 1)
[ -n "$PROTOCOL" ] || fail "the log names no transport number (BOOT_SETUP: PROTOCOL=...)"

# The stand-in run by hand, as a support engineer checks a prepared system.
if ((HAVE_FLASHER)); then
    loader=$WINE
    [ -x /usr/lib/wine/wine64 ] && loader=/usr/lib/wine/wine64
    (cd "$WORK" && timeout -k 5 60 "$loader" 'C:\windows\system32\Ostrel.exe' FW.bin) 2>"$WORK/flasher.err" |
        tr -d '\r' >"$WORK/flasher.txt"
    rc=${PIPESTATUS[0]}
    [ "$rc" = 0 ] || fail "Ostrel.exe FW.bin exited $rc: $(cat "$WORK/flasher.txt" "$WORK/flasher.err")"
    grep -q 'slot EXE_WIN7_X64;' "$WORK/flasher.txt" || fail "Ostrel.exe is not the x64 Windows 7 flasher: $(head -n 1 "$WORK/flasher.txt")"
    diff <(sed 1d "$WORK/flasher.txt") - <<EOF || fail "Ostrel.exe FW.bin printed the above"
UPDATEBOOT=1
B_PREFORMAT=0
A_PREFORMAT=0
PROTOCOL=$PROTOCOL
SSDREBOOT=1
_____FW=S0614C0
_FW_EXT=GM802031
DRIVECOUNT=0001
VENDID1=MERETH SSD 512GB                        
FW1=S0614B0 
SN1=MS512A0123456789    
Image: C:\\windows\\system32\\FW.bin, 394240 bytes
EOF
fi

# --- 2. A second run replaces its own entry and adds no other; the restart it asks for is only
# recorded.
boot_run second yes
check_value 'autocheck autochk *\0othertool /x\0Ostrel FW.bin'

# --- 3. Its entry at the front, the other after it: the other keeps its place, ours goes last.
set_value 'Ostrel FW.bin\0othertool /x'
boot_run front
check_value 'othertool /x\0Ostrel FW.bin'

# --- 4. No value at all: the disk check Windows runs by default comes first.
delete_value
boot_run absent
check_value 'autocheck autochk *\0Ostrel FW.bin'

echo "PASS: $CHECK"
