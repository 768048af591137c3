#!/usr/bin/env bash
# Packs orvane-sim with a manifest, then checks the packer's summary, that `orvane-pack show`
# and the packed program itself (--package) both report the packed values (show with each
# image's SHA-256, worked out here with sha256sum), and that the images and the auxiliary
# executable lie where the layout puts them.
# usage: pack_roundtrip.sh BUILD_DIR   (ORVANE_WINE set: Windows build, run under Wine)
set -u
BUILD=$(cd "${1:?usage: pack_roundtrip.sh BUILD_DIR}" && pwd)
WINE=${ORVANE_WINE:-}
EXE=""
[ -n "$WINE" ] && EXE=.exe
PACK=$BUILD/orvane-pack$EXE
SIM=$BUILD/orvane-sim$EXE
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

run() {
    if [ -n "$WINE" ]; then
        WINEPREFIX=${ORVANE_WINEPREFIX:?ORVANE_WINEPREFIX must be set for Wine} WINEDEBUG=-all \
            WINEDLLOVERRIDES=mscoree,mshtml= "$WINE" "$@"
    else
        "$@"
    fi
}

# Windows programs reach Unix absolute paths through drive Z:.
path_arg() {
    if [ -n "$WINE" ]; then printf 'Z:%s' "$1"; else printf '%s' "$1"; fi
}

# JSON without the whitespace between tokens (strings kept as they are), so that
# compact and indented output of the same document compare equal.
compact_json() {
    tr -d '\r' | awk '{
        out = ""
        for (i = 1; i <= length($0); i++) {
            c = substr($0, i, 1)
            if (instr) {
                out = out c
                if (esc) esc = 0; else if (c == "\\") esc = 1; else if (c == "\"") instr = 0
            } else if (c == "\"") {
                instr = 1; out = out c
            } else if (c != " " && c != "\t") {
                out = out c
            }
        }
        printf "%s", out
    }'
}

for f in "$PACK" "$SIM"; do
    [ -f "$f" ] || { echo "FAIL: $f is not built"; exit 1; }
done

cd "$WORK" || exit 1
yes 'first slot image' | head -c 1500 > fw1.bin
yes 'second' | head -c 700 > fw2.bin
yes 'flasher' | head -c 333 > flasher.exe
cat > manifest.json <<'JSON'
{
  "version": "v9.8.7", "banner": "Roundtrip  banner", "target_model": "RT MODEL 512",
  "iVisualStyle": 4, "iLanguage": 1, "iFlashMode": -2,
  "options": {"bAskReboot": false, "bUseFWExt": true, "iNoticeLevel": 2, "Preformat": true},
  "slots": [
    {"image": "fw1.bin", "new_fw": "2.10", "fw_ext": "GM900001",
     "records": [{"fws": "2.00", "fwe": "2.09", "model": "TOLBERN TQ-512"}, {"model": "OTHER DRIVE"}]},
    {"image": "fw2.bin", "new_fw": "3.00", "fw_ext": "GM900002", "encipher": false}
  ],
  "aux": {"EXE_WIN7_X64": "flasher.exe"}
}
JSON
# What both must report: keys in sorted order, as the description is written.
expected=$(compact_json <<'JSON'
{"aux": {"EXE_WIN7_X64": {"size": 333}},
 "banner": "Roundtrip  banner", "iFWCount": 2, "iFlashMode": -2, "iLanguage": 1, "iVisualStyle": 4,
 "options": {"Preformat": true, "ReBoot": false, "bAskReboot": false, "bAskShutdown": false,
             "bAutoFlashAll": false, "bAutoStart": false, "bBPreformat": false, "bFOld": false,
             "bListMatchedOnly": true, "bNFlashAuto": false, "bUnattended": false, "bUpdateBoot": false,
             "bUseFWExt": true, "bWinFlash": true, "iNoticeLevel": 2},
 "slots": [
   {"fw_ext": "GM900001", "new_fw": "2.10",
    "records": [{"fwe": "2.09", "fws": "2.00", "model": "TOLBERN TQ-512"}, {"fwe": "", "fws": "", "model": "OTHER DRIVE"}],
    "size": 1500, "start": 0},
   {"fw_ext": "GM900002", "new_fw": "3.00", "size": 700, "start": 1500}],
 "target_model": "RT MODEL 512", "version": "v9.8.7"}
JSON
)
# show adds each slot's digest (keys in sorted order: after "records", before "size").
expected_show=$(printf '%s' "$expected" |
    sed -e 's/"size":1500/"sha256":"f698fab796953799604c2aef5b049ff037165d9f7876ebb14168facabf065edc","size":1500/' \
        -e 's/"size":700/"sha256":"086de401608647ece7db58c5b3b354b7196ccdf48155d93f8195bea021443e1f","size":700/')
[ "$expected_show" != "$expected" ] || { echo "FAIL: the expected show output lacks its digests"; exit 1; }
[ "$(sha256sum < fw1.bin | cut -c1-64)" = f698fab796953799604c2aef5b049ff037165d9f7876ebb14168facabf065edc ] ||
    { echo "FAIL: fw1.bin is not the image this check was written for"; exit 1; }

base_sum=$(cksum < "$SIM")
packed=$WORK/packed$EXE
if ! run "$PACK" build --manifest "$(path_arg "$WORK/manifest.json")" --base "$(path_arg "$SIM")" \
        --out "$(path_arg "$packed")" > pack.out 2> pack.err; then
    cat pack.out pack.err
    echo "FAIL: orvane-pack build failed"
    exit 1
fi
[ "$(cksum < "$SIM")" = "$base_sum" ] || fail "the base program was changed"
summary="slot 1: 1500 bytes, new revision 2.10, DEF GM900001, SHA-256 f698fab796953799604c2aef5b049ff037165d9f7876ebb14168facabf065edc
slot 2: 700 bytes, new revision 3.00, DEF GM900002, SHA-256 086de401608647ece7db58c5b3b354b7196ccdf48155d93f8195bea021443e1f
written: $(path_arg "$packed")"
[ "$(tr -d '\r' < pack.out)" = "$summary" ] || fail "the build's summary is not as expected:
$(cat pack.out)"
[ ! -s pack.err ] || fail "the build said more on stderr: $(cat pack.err)"

check_report() {  # name, expected, command...
    local name=$1 expected=$2
    shift 2
    if ! run "$@" > report.out 2> report.err; then
        cat report.err
        fail "$name exited with an error"
        return
    fi
    local got
    got=$(compact_json < report.out)
    if [ "$got" != "$expected" ]; then
        fail "$name reports other values than were packed:"
        diff <(printf '%s\n' "$expected" | sed 's/,"/,\n"/g') <(printf '%s\n' "$got" | sed 's/,"/,\n"/g')
    fi
}
check_report "orvane-pack show" "$expected_show" "$PACK" show "$(path_arg "$packed")"
check_report "the packed program's --package" "$expected" "$packed" --package

# The bytes themselves: images from the image area's start (block + 14,618), the
# flasher at the start of the auxiliary payload (block + 14,618 + 7,864,320 + 1,052).
marker_at=$(grep -obUaF 'PARA_OPT=' "$packed" | head -n 1 | cut -d: -f1)
if [ -z "$marker_at" ]; then
    fail "no package block in the packed program"
else
    block=$((marker_at - 9310))
    image=$((block + 14618))
    payload=$((image + 7864320 + 1052))
    region() { tail -c +$(($1 + 1)) "$packed" | head -c "$2"; }
    cmp -s <(region "$image" 1500) fw1.bin || fail "slot 1's image is not at the start of the image area"
    cmp -s <(region $((image + 1500)) 700) fw2.bin || fail "slot 2's image does not follow slot 1's"
    cmp -s <(region "$payload" 333) flasher.exe || fail "the flasher is not at the start of the auxiliary payload"
fi

if [ "$failures" -ne 0 ]; then
    echo "pack_roundtrip: $failures check(s) failed"
    exit 1
fi
echo "pack_roundtrip: ok"
