#!/usr/bin/env bash
# Packing and signing: a throwaway CA and code-signing certificate made with openssl; a Windows
# program packed (PE checksum right, no certificate table), signed with `orvane-pack sign`
# (PKCS#12 with a password file, and PEM certificate and key) and checked with
# `osslsigncode verify -CAfile`; the signed program packed again (its signature removed, said
# so, the same program as the first packing) and signed again. A failed check and a missing
# signer leave no output. The PE fields are read here by a reader of this check's own.
# Native: the MinGW-made stand-ins of both widths. Windows build (under Wine): orvane-sim.exe,
# `sign` refuses there, so the signing is done with osslsigncode directly.
. "$(dirname "$0")/lib/common.sh"
orv_init "$@"

for tool in openssl osslsigncode python3; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/lib/packages.sh lists it)"
done
PACK=$BUILD/orvane-pack$EXE
[ -f "$PACK" ] || fail "no $PACK"

# pe_fields FILE: "STORED COMPUTED CERT_OFFSET CERT_SIZE" (hex), the checksum summed as 16-bit
# words with the CheckSum field as zero, carries folded back, plus the length.
pe_fields() {
    python3 - "$1" <<'PY'
import array, struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
assert data[pe:pe + 4] == b"PE\0\0", "no PE signature"
opt = pe + 24
magic = struct.unpack_from("<H", data, opt)[0]
dirs = opt + {0x10B: 96, 0x20B: 112}[magic]
field = opt + 64
words = bytearray(data)
words[field:field + 4] = bytes(4)
if len(words) % 2:
    words.append(0)
# One sum of all words, its carries folded back at the end: the same one's-complement sum as
# folding after every word.
halves = array.array("H", bytes(words))
if sys.byteorder == "big":
    halves.byteswap()
total = sum(halves)
while total > 0xFFFF:
    total = (total & 0xFFFF) + (total >> 16)
total += len(data)
stored = struct.unpack_from("<I", data, field)[0]
offset, size = struct.unpack_from("<II", data, dirs + 4 * 8)
print("%x %x %x %x" % (stored, total & 0xFFFFFFFF, offset, size))
PY
}

# check_pe FILE WHAT [signed|unsigned]: the PE checksum is right; signed: a certificate table
# ends the file and verifies against the throwaway CA; unsigned: no certificate table.
check_pe() {
    local f size
    read -r -a f <<<"$(pe_fields "$1")"
    [ ${#f[@]} = 4 ] || fail "cannot read the PE headers of $1"
    [ "${f[0]}" = "${f[1]}" ] || fail "$2: PE checksum ${f[0]}, the file sums to ${f[1]}"
    case ${3:-} in
    unsigned)
        [ "${f[2]} ${f[3]}" = "0 0" ] || fail "$2 still has a certificate table (offset ${f[2]}, size ${f[3]})"
        ;;
    signed)
        size=$(stat -c %s "$1")
        [ "${f[3]}" != 0 ] && [ $((0x${f[2]} + 0x${f[3]})) = "$size" ] ||
            fail "$2 has no certificate table at its end (offset ${f[2]}, size ${f[3]}, file $size)"
        osslsigncode verify -CAfile "$WORK/ca.pem" -in "$1" >"$WORK/verify.out" 2>&1 ||
            fail "$2 does not verify: $(tail -n 5 "$WORK/verify.out")"
        ;;
    esac
}

# pack ARGS...: the build's orvane-pack (paths already as it names them); the caller redirects.
pack() { orv_exec 120 "$PACK" "$@"; }

# refused OUT SAYS LEFT COMMAND...: COMMAND fails, its output (kept in OUT) holds SAYS, and none
# of the files named in LEFT is there.
refused() {
    local out=$1 says=$2 left=$3 f
    shift 3
    "$@" >"$out" 2>&1 && fail "succeeded: $*"
    grep -q "$says" "$out" || fail "no '$says' from $*: $(cat "$out")"
    for f in $left; do
        [ ! -e "$f" ] || fail "$f left behind by $*"
    done
}

arg() { if [ -n "$WINE" ]; then orv_winpath "$1"; else echo "$1"; fi; }

# The throwaway CA and a code-signing certificate it issued, as PEM and as PKCS#12 with a password.
cd "$WORK" || fail "no $WORK"
{
    openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Orvane Check CA" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" &&
        openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Orvane Check Signer" &&
        printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >ext.cnf &&
        openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile ext.cnf \
            -out signer.pem &&
        printf 'not on any command line\n' >pass.txt &&
        openssl pkcs12 -export -inkey signer.key -in signer.pem -passout file:pass.txt -out signer.p12
} >openssl.out 2>&1 || fail "openssl could not make the certificates: $(tail -n 5 openssl.out)"

orv_manifest_one_slot "$WORK/manifest.json"

# sign_packed IN OUT HOW: native, `orvane-pack sign` (HOW: p12 or pem); under Wine, osslsigncode.
# What the signer said stays in OUT's name with .out.
sign_packed() {
    local log=${2%.exe}.out
    if [ -n "$WINE" ]; then
        osslsigncode sign -h sha256 -pkcs12 signer.p12 -readpass pass.txt -in "$1" -out "$2" >"$log" 2>&1 ||
            fail "osslsigncode could not sign $1: $(tail -n 5 "$log")"
        return
    fi
    local creds=(--pkcs12 signer.p12 --pass-file pass.txt)
    [ "$3" = pem ] && creds=(--cert signer.pem --key signer.key)
    pack sign --in "$1" --out "$2" "${creds[@]}" --ca ca.pem >"$log" 2>&1 ||
        fail "orvane-pack sign $1 failed: $(cat "$log")"
    grep -q 'verify passed' "$log" || fail "orvane-pack sign did not report the check: $(cat "$log")"
    [ ! -e "$2.partial" ] || fail "$2.partial left behind"
}

# same_program A B: B is A but for CheckSum and up to 7 zero bytes after it (a signer pads to 8).
same_program() {
    python3 - "$1" "$2" <<'PY' || fail "$2 is not the program $1 was"
import struct, sys
a, b = (open(p, "rb").read() for p in sys.argv[1:3])
field = struct.unpack_from("<I", a, 0x3C)[0] + 24 + 64
strip = lambda d: d[:field] + d[field + 4:]
extra = b[len(a):]
sys.exit(0 if len(extra) < 8 and extra.count(0) == len(extra) and strip(a) == strip(b[:len(a)]) else 1)
PY
}

if [ -n "$WINE" ]; then
    bases=("$BUILD/orvane-sim.exe")
else
    bases=("$BUILD/pe-standin-64.exe" "$BUILD/pe-standin-32.exe")
fi
for base in "${bases[@]}"; do
    [ -f "$base" ] || fail "no base program $base (the MinGW-w64 compilers make the stand-ins)"
    name=$(basename "$base" .exe)
    check_pe "$base" "$name as linked"

    packed=$WORK/$name-packed.exe
    orv_pack "$WORK/manifest.json" "$base" "$packed"
    ! grep -q 'signature was removed' "$WORK/pack.out" || fail "a signature removed from unsigned $name"
    check_pe "$packed" "packed $name" unsigned

    signed=$WORK/$name-signed.exe
    sign_packed "$packed" "$signed" p12
    check_pe "$signed" "signed $name" signed
    pack show "$(arg "$signed")" >show.out 2>&1 || fail "orvane-pack show cannot read signed $name: $(cat show.out)"
    grep -q '"new_fw": "1.02"' show.out || fail "signed $name does not show its package"

    # The signed program packed again: its signature goes, and the result is what packing made.
    repacked=$WORK/$name-repacked.exe
    orv_pack "$WORK/manifest.json" "$signed" "$repacked"
    grep -q 'the base program was signed; its signature was removed' "$WORK/pack.out" ||
        fail "packing signed $name said nothing of its signature: $(cat "$WORK/pack.out")"
    check_pe "$repacked" "repacked $name" unsigned
    same_program "$packed" "$repacked"
    resigned=$WORK/$name-resigned.exe
    sign_packed "$repacked" "$resigned" pem
    check_pe "$resigned" "signed again $name" signed

    # A signature table with something after it is not removed: packing refuses.
    cp "$signed" odd.exe && printf 'x' >>odd.exe
    refused odd.out 'is not at the end of the file' "odd-packed.exe odd-packed.exe.partial" \
        pack build --manifest "$(arg "$WORK/manifest.json")" --base "$(arg "$WORK/odd.exe")" \
        --out "$(arg "$WORK/odd-packed.exe")"
done

packed=$WORK/$(basename "${bases[0]}" .exe)-packed.exe
if [ -n "$WINE" ]; then
    refused refuse.out signtool w.exe \
        pack sign --in "$(arg "$packed")" --out "$(arg "$WORK/w.exe")" --pkcs12 "$(arg "$WORK/signer.p12")"
else
    # A certificate that does not chain to the given CA: signed, but the check fails; no output.
    refused bad.out 'does not verify' "bad.exe bad.exe.partial" \
        pack sign --in "$packed" --out bad.exe --cert signer.pem --key signer.key --ca signer.pem
    # No osslsigncode on PATH: named, with the package to install; nothing written.
    mkdir -p nopath
    refused missing.out 'install the osslsigncode package' m.exe \
        orv_exec 60 env PATH="$WORK/nopath" "$PACK" sign --in "$packed" --out m.exe --pkcs12 signer.p12
    # The password reaches the signer as a file name only: it is in no message.
    ! grep -q 'not on any command line' ./*.out || fail "the password appears in the output"
fi

echo "pack_sign: ok ($(osslsigncode --version 2>&1 | head -n 1))"
