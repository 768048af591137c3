#!/usr/bin/env bash
# The flasher and copy-program stand-ins of this build, run by hand under Wine:
# - each flasher stand-in of the build's width carries every settings key exactly once, each
#   followed by at least 40 zero bytes, so the program's first-match patch can only hit that room;
# - unpatched, a stand-in prints its family, width and slot, the eleven keys with empty values and
#   the image size; patched as the program patches it, it prints the values; an image name without a
#   folder is looked up beside the program first, then in the current folder; an unreadable image
#   fails;
# - 32-bit build (its prefix is 64-bit, so the copy programs run under WOW64): each copy program
#   brings "Ostrel.exe" and "FW.bin" from syswow64 to the native system32, replacing older copies,
#   and fails when a source is missing. What it puts into the shared prefix is removed again.
. "$(dirname "$0")/../lib/common.sh"
orv_init "$@"
[ -n "$WINE" ] || fail "this check needs a Windows build"

KEYS=(UPDATEBOOT= B_PREFORMAT= A_PREFORMAT= PROTOCOL= SSDREBOOT= _____FW= _FW_EXT= DRIVECOUNT= VENDID1= FW1= SN1=)

# pe_machine FILE: x86 or x64, from the PE header's machine field.
pe_machine() {
    perl -e '
        open(my $f, "<:raw", $ARGV[0]) or exit 1;
        local $/; my $b = <$f>;
        my $pe = unpack("V", substr($b, 0x3C, 4));
        substr($b, $pe, 4) eq "PE\0\0" or exit 1;
        my $m = unpack("v", substr($b, $pe + 4, 2));
        print $m == 0x14C ? "x86" : $m == 0x8664 ? "x64" : sprintf("0x%X", $m);
    ' "$1"
}

WIDTH=$(pe_machine "$BUILD/Orvane.exe") || fail "cannot read the machine of $BUILD/Orvane.exe"
if [ "$WIDTH" = x86 ]; then
    FLASHERS=("2008:EXE_2008_X86:Server 2008" "win7:EXE_WIN7_X86:Windows 7" "2003:EXE_2003_X86:Server 2003"
              "xp:EXE_XP_X86:Windows XP")
    COPIERS="2k3 2k8 win7 xp"
elif [ "$WIDTH" = x64 ]; then
    FLASHERS=("2008:EXE_2008_X64:Server 2008" "win7:EXE_WIN7_X64:Windows 7" "2003:EXE_2003_X64:Server 2003")
    COPIERS=""
else
    fail "Orvane.exe is built for machine $WIDTH"
fi

# The build holds exactly the stand-ins of its width.
expected=$( (for f in "${FLASHERS[@]}"; do echo "orvane-flasher-${f%%:*}-$WIDTH.exe"; done
for c in $COPIERS; do echo "orvane-copyfile-$c.exe"; done) | sort)
got=$(cd "$BUILD" && ls orvane-flasher-*.exe orvane-copyfile-*.exe 2>/dev/null | sort)
[ "$got" = "$expected" ] || fail "stand-ins built: '$(echo $got)', expected '$(echo $expected)'"
for exe in $got; do
    [ "$(pe_machine "$BUILD/$exe")" = "$WIDTH" ] || fail "$exe is not a $WIDTH program"
    # Static runtime: it imports only what every Windows has.
    dlls=$(x86_64-w64-mingw32-objdump -p "$BUILD/$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr A-Z a-z | sort -u)
    [ "$(echo $dlls)" = "kernel32.dll msvcrt.dll" ] || fail "$exe imports '$(echo $dlls)'; it must run alone"
done

# (a) Every key once, followed by at least 40 zero bytes.
for f in "${FLASHERS[@]}"; do
    exe=$BUILD/orvane-flasher-${f%%:*}-$WIDTH.exe
    perl -e '
        my $file = shift;
        open(my $f, "<:raw", $file) or die "cannot read $file\n";
        local $/; my $b = <$f>;
        for my $key (@ARGV) {
            my @at;
            my $p = -1;
            push @at, $p while ($p = index($b, $key, $p + 1)) >= 0;
            die "$file: key $key found " . scalar(@at) . " times, expected once\n" unless @at == 1;
            my $room = substr($b, $at[0] + length($key), 40);
            die "$file: fewer than 40 zero bytes after $key\n" unless $room eq "\0" x 40;
        }
    ' "$exe" "${KEYS[@]}" || fail "the settings block of $(basename "$exe") is not as the program needs it"
done

# run_stub OUT EXE ARGS...: runs a stand-in from WORK; its output lines, without CRs, into OUT and
# OUT.err; sets RC.
run_stub() {
    local out=$1
    shift
    orv_exec 60 "$@" 2>"$out.err.raw" >"$out.raw"
    RC=$?
    tr -d '\r' <"$out.raw" >"$out"
    tr -d '\r' <"$out.err.raw" >"$out.err"
}

# The settings lines of a stand-in nothing has patched.
unpatched_settings() { printf '%s\n' "${KEYS[@]}"; }

mkdir -p "$WORK/sys"
orv_make_image "$WORK/sys/FW.bin" 394240 3
orv_make_image "$WORK/FW.bin" 1000 4

# (b) Unpatched, each stand-in names what it is for and shows empty values.
for f in "${FLASHERS[@]}"; do
    IFS=: read -r tag slot family <<<"$f"
    cp "$BUILD/orvane-flasher-$tag-$WIDTH.exe" "$WORK/sys/Ostrel.exe" || fail "cannot copy the $tag stand-in"
    run_stub "$WORK/$tag.txt" "$WORK/sys/Ostrel.exe" FW.bin
    [ "$RC" = 0 ] || fail "the $tag stand-in exited $RC: $(cat "$WORK/$tag.txt.err")"
    diff "$WORK/$tag.txt" - <<EOF || fail "the unpatched $tag stand-in printed the above"
Boot-time flasher stand-in for $family ($WIDTH), slot $slot; it flashes nothing.
$(unpatched_settings)
Image: $(orv_winpath "$WORK/sys/FW.bin"), 394240 bytes
EOF
done

# Patched as the program patches it: each value written over the zeros right after its key.
MODEL="MERETH QZ4-AB256 SATA SOLID STATE DRIVE4" # 40 characters, the model's full width
SERIAL="0123456789ABCDEFGHIJ"                     # 20
VALUES=("UPDATEBOOT=1" "B_PREFORMAT=0" "A_PREFORMAT=1" "PROTOCOL=3" "SSDREBOOT=1" "_____FW=1.02"
        "_FW_EXT=GM802030" "DRIVECOUNT=0001" "VENDID1=$MODEL" "FW1=SBFM61.3" "SN1=$SERIAL")
[ ${#MODEL} = 40 ] && [ ${#SERIAL} = 20 ] || fail "the test's model or serial has the wrong width"
first=${FLASHERS[0]}
cp "$BUILD/orvane-flasher-${first%%:*}-$WIDTH.exe" "$WORK/sys/Ostrel.exe" || fail "cannot copy a stand-in"
size_before=$(stat -c %s "$WORK/sys/Ostrel.exe")
perl -e '
    my $file = shift;
    open(my $f, "<:raw", $file) or die "cannot read $file\n";
    local $/; my $b = <$f>; close $f;
    for (@ARGV) {
        my ($key, $value) = /^([^=]*=)(.*)$/ or die "bad setting $_\n";
        my $n = ($b =~ s/\Q$key\E\0{${\ length($value)}}/$key$value/g);
        die "$key: $n places patched, expected 1\n" unless $n == 1;
    }
    open($f, ">:raw", $file) or die "cannot write $file\n";
    print $f $b;
' "$WORK/sys/Ostrel.exe" "${VALUES[@]}" || fail "cannot patch the stand-in"
[ "$(stat -c %s "$WORK/sys/Ostrel.exe")" = "$size_before" ] || fail "patching changed the stand-in's size"

IFS=: read -r tag slot family <<<"$first"
run_stub "$WORK/patched.txt" "$WORK/sys/Ostrel.exe" FW.bin
[ "$RC" = 0 ] || fail "the patched stand-in exited $RC: $(cat "$WORK/patched.txt.err")"
diff "$WORK/patched.txt" - <<EOF || fail "the patched stand-in printed the above"
Boot-time flasher stand-in for $family ($WIDTH), slot $slot; it flashes nothing.
$(printf '%s\n' "${VALUES[@]}")
Image: $(orv_winpath "$WORK/sys/FW.bin"), 394240 bytes
EOF

# Without the image beside it, the current folder's; an absolute path as given.
mv "$WORK/sys/FW.bin" "$WORK/sys/FW.away" || fail "cannot move the image"
run_stub "$WORK/cwd.txt" "$WORK/sys/Ostrel.exe" FW.bin
[ "$RC" = 0 ] || fail "with FW.bin in the current folder only, exit $RC: $(cat "$WORK/cwd.txt.err")"
[ "$(tail -n 1 "$WORK/cwd.txt")" = "Image: FW.bin, 1000 bytes" ] ||
    fail "with FW.bin in the current folder only: $(tail -n 1 "$WORK/cwd.txt")"
run_stub "$WORK/abs.txt" "$WORK/sys/Ostrel.exe" "$(orv_winpath "$WORK/sys/FW.away")"
[ "$RC" = 0 ] && [ "$(tail -n 1 "$WORK/abs.txt")" = "Image: $(orv_winpath "$WORK/sys/FW.away"), 394240 bytes" ] ||
    fail "an absolute image path: exit $RC, $(tail -n 1 "$WORK/abs.txt")"

# An image that cannot be read, or none named: the settings still show, the run fails.
for args in nope.bin ""; do
    run_stub "$WORK/bad.txt" "$WORK/sys/Ostrel.exe" $args
    [ "$RC" != 0 ] || fail "exit 0 with image '$args'"
    grep -q '^error: ' "$WORK/bad.txt.err" || fail "no error message with image '$args'"
    [ "$(sed -n 2,12p "$WORK/bad.txt")" = "$(printf '%s\n' "${VALUES[@]}")" ] ||
        fail "the settings are not shown with image '$args'"
    grep -q '^Image: ' "$WORK/bad.txt" && fail "an image size is shown with image '$args'"
done

# (c) The copy programs, under WOW64 in the 32-bit build's 64-bit prefix.
if [ -n "$COPIERS" ]; then
    WOW=$WINEPREFIX/drive_c/windows/syswow64
    NATIVE=$WINEPREFIX/drive_c/windows/system32
    [ -d "$WOW" ] && [ -d "$NATIVE" ] || fail "the prefix has no syswow64 and system32: it must be a 64-bit one"
    # What another run left in the shared prefix is set aside and put back.
    mkdir -p "$WORK/saved/wow" "$WORK/saved/native"
    for n in Ostrel.exe FW.bin; do
        [ -e "$WOW/$n" ] && { mv "$WOW/$n" "$WORK/saved/wow/" || fail "cannot set aside $WOW/$n"; }
        [ -e "$NATIVE/$n" ] && { mv "$NATIVE/$n" "$WORK/saved/native/" || fail "cannot set aside $NATIVE/$n"; }
    done
    restore_prefix() {
        local rc=$? n
        for n in Ostrel.exe FW.bin; do
            rm -f "$WOW/$n" "$NATIVE/$n"
            [ -e "$WORK/saved/wow/$n" ] && mv "$WORK/saved/wow/$n" "$WOW/"
            [ -e "$WORK/saved/native/$n" ] && mv "$WORK/saved/native/$n" "$NATIVE/"
        done
        orv_cleanup "$rc"
    }
    trap restore_prefix EXIT

    seed=10
    for c in $COPIERS; do
        # Different bytes each time, so each run must replace what the one before copied.
        orv_make_image "$WOW/FW.bin" $((300000 + seed)) $seed
        cp "$WORK/sys/Ostrel.exe" "$WOW/Ostrel.exe" && printf 'run %s' "$c" >>"$WOW/Ostrel.exe" ||
            fail "cannot write into $WOW"
        cp "$WOW/Ostrel.exe" "$WORK/Ostrel.expected" && cp "$WOW/FW.bin" "$WORK/FW.expected" || fail "cannot keep copies"
        run_stub "$WORK/copy-$c.txt" "$BUILD/orvane-copyfile-$c.exe"
        [ "$RC" = 0 ] || fail "copy program $c exited $RC: $(cat "$WORK/copy-$c.txt.err")"
        for n in Ostrel.exe FW.bin; do
            cmp -s "$NATIVE/$n" "$WORK/${n%%.*}.expected" || fail "copy program $c: system32/$n is not the syswow64 one"
            cmp -s "$WOW/$n" "$WORK/${n%%.*}.expected" || fail "copy program $c changed syswow64/$n"
            grep -qiE "^copied [A-Z]:\\\\windows\\\\syswow64\\\\$n to [A-Z]:\\\\windows\\\\system32\\\\$n\$" \
                "$WORK/copy-$c.txt" || fail "copy program $c reports no copy of $n: $(cat "$WORK/copy-$c.txt")"
        done
        seed=$((seed + 1))
    done

    # A missing source fails and says so.
    rm -f "$WOW/FW.bin"
    run_stub "$WORK/copy-missing.txt" "$BUILD/orvane-copyfile-win7.exe"
    [ "$RC" != 0 ] || fail "the copy program exited 0 without FW.bin in syswow64"
    grep -qi '^error: cannot copy .*FW.bin' "$WORK/copy-missing.txt.err" ||
        fail "no message naming the missing FW.bin: $(cat "$WORK/copy-missing.txt.err")"
fi
echo "PASS: $CHECK"
