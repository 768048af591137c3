#!/usr/bin/env bash
# What waiting costs. A benchmark, not a test: it prints what it measured and judges nothing
# (the goal is at most 0.01 of a core while the program waits). CI does not run it.
#   (a) 200 delays of 10 ms on the window thread's timer: natively (the simulated machine's clock
#       and message queue, as orvane-sim runs) and under Wine (x64, the real counter and message
#       queue; the wineserver's own processor time is shown apart);
#   (b) one whole update of the built-in machine's 512 GB drive by orvane-sim at real-time speed
#       (--speed 1, "/S": no window), processor seconds per wall second.
# Uses the programs ./scripts/test.sh built (build/native, build/win64); builds the native ones
# when they are missing. Prints a table and writes it as JSON to build/bench/bench.json.
#   ./scripts/bench.sh [DELAYS [MS]]
set -u -o pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT" || exit 1

COUNT=${1:-200}
MS=${2:-10}
OUT=build/bench
NATIVE=build/native
WIN64=build/win64
mkdir -p "$OUT" build/logs
ROWS=()   # JSON objects, one per measurement

note() { echo "== $*"; }

# json_field JSON NAME: a number or string field of a flat JSON object.
json_field() {
    perl -ne 'if (/"'"$2"'":\s*"?([^",}]*)"?/) { print $1; exit }' <<<"$1"
}

if [ ! -x "$NATIVE/delay_bench" ] || [ ! -x "$NATIVE/orvane-sim" ] || [ ! -x "$NATIVE/orvane-pack" ]; then
    note "building the native programs ($NATIVE)"
    cmake -S . -B "$NATIVE" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >build/logs/bench-configure.log 2>&1 &&
        cmake --build "$NATIVE" -j 2 --target delay_bench orvane-sim orvane-pack >build/logs/bench-build.log 2>&1 || {
        echo "the native build failed; see build/logs/bench-*.log"
        exit 1
    }
fi

# --- (a) delays, natively
note "(a) $COUNT delays of $MS ms, native"
if row=$("$NATIVE/delay_bench" "$COUNT" "$MS"); then
    ROWS+=("$row")
else
    echo "delay_bench failed"
    exit 1
fi

# --- (a) delays under Wine (x64)
WINE_NOTE=
if [ -f "$WIN64/delay_bench.exe" ] && [ -f "$WIN64/wineprefix/.orvane-ready" ]; then
    note "(a) $COUNT delays of $MS ms, Wine x64"
    pfx=$ROOT/$WIN64/wineprefix
    # A wineserver of our own, in the foreground so its pid (and processor time) is ours to read.
    WINEPREFIX=$pfx wineserver -k >/dev/null 2>&1
    WINEPREFIX=$pfx WINEDEBUG=-all wineserver -f -p </dev/null >/dev/null 2>&1 &
    server=$!
    # A first program starts the prefix's services; measure after that.
    WINEPREFIX=$pfx WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= timeout 60 /usr/lib/wine/wine64 \
        "$WIN64/delay_bench.exe" 1 1 >/dev/null 2>&1
    ticks() { awk '{ print $14 + $15 }' "/proc/$server/stat" 2>/dev/null || echo 0; }
    hz=$(getconf CLK_TCK)
    t0=$(ticks)
    if row=$(WINEPREFIX=$pfx WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= timeout 120 /usr/lib/wine/wine64 \
        "$WIN64/delay_bench.exe" "$COUNT" "$MS" | tr -d '\r'); then
        t1=$(ticks)
        wall=$(json_field "$row" wall_s)
        server_cpu=$(perl -e 'printf "%.4f", ($ARGV[1] - $ARGV[0]) / $ARGV[2]' "$t0" "$t1" "$hz")
        server_frac=$(perl -e 'printf "%.4f", $ARGV[1] > 0 ? $ARGV[0] / $ARGV[1] : 0' "$server_cpu" "$wall")
        ROWS+=("${row%\}}, \"wineserver_cpu_s\": $server_cpu, \"wineserver_cpu_fraction\": $server_frac}")
    else
        WINE_NOTE="delay_bench.exe failed under Wine"
    fi
    WINEPREFIX=$pfx wineserver -k >/dev/null 2>&1
    kill "$server" 2>/dev/null
    wait "$server" 2>/dev/null
else
    WINE_NOTE="no $WIN64/delay_bench.exe with a ready Wine prefix: run ./scripts/test.sh first"
fi

# --- (b) a whole update at real-time speed
note "(b) one whole update of the 512 GB drive, orvane-sim --speed 1"
work=$OUT/update
rm -rf "$work"
mkdir -p "$work/tmp"
# A pseudo-random image whose tag (docs/machine-format.md, at byte 64) makes the simulated drive
# come back with revision S0614C0 and its own DEF text.
perl -e '
    my ($n) = @ARGV;
    my ($out, $x) = ("", 20160125);
    while (length($out) < $n) {
        $x = ($x * 1103515245 + 12345) % 2147483648;
        $out .= pack("C", ($x >> 16) & 0xFF);
    }
    substr($out, 64, 28) = "ORVSIMFW" . "S0614C0 " . "GM802030" . pack("V", $n);
    binmode STDOUT;
    print $out;
' 394240 >"$work/fw.bin" || exit 1
cat >"$work/manifest.json" <<'JSON'
{
  "iVisualStyle": 0,
  "iLanguage": 0,
  "options": { "bListMatchedOnly": true, "bWinFlash": true, "ReBoot": true },
  "slots": [
    {
      "image": "fw.bin",
      "new_fw": "S0614C0",
      "fw_ext": "S0614C0",
      "encipher": false,
      "records": [ { "fws": "S0614A0", "fwe": "S0614B0", "model": "MERETH SSD 512GB" } ]
    }
  ],
  "aux": {}
}
JSON
if ! "$NATIVE/orvane-pack" build --manifest "$work/manifest.json" --base "$NATIVE/orvane-sim" \
    --out "$work/orvane-sim-bench" >"$work/pack.log" 2>&1; then
    echo "packing failed: $work/pack.log"
    exit 1
fi
row=$(TMPDIR=$ROOT/$work/tmp timeout 600 "$NATIVE/delay_bench" --run "$work/orvane-sim-bench" --speed 1 -- /S \
    2>"$work/run.out")
rc=$(json_field "$row" exit_code)
log=$work/tmp/ORVANE_DEBUG.txt
updated=false
grep -q 'Flash finished !' "$log" 2>/dev/null && updated=true
ROWS+=("{\"where\": \"orvane-sim update\", \"drive_updated\": $updated, \"exit_code\"${row#*\"exit_code\"}")

# --- the table and the JSON
echo
printf '%-22s %10s %10s %10s %12s %14s\n' "measurement" "wall s" "cpu s" "cpu/wall" "late mean ms" "wineserver/wall"
for row in "${ROWS[@]}"; do
    where=$(json_field "$row" where)
    [ "$where" = native ] || [ "$where" = win32 ] && where="$COUNT x $MS ms, ${where/win32/Wine x64}"
    printf '%-22s %10s %10s %10s %12s %14s\n' "$where" "$(json_field "$row" wall_s)" "$(json_field "$row" cpu_s)" \
        "$(json_field "$row" cpu_fraction)" "$(json_field "$row" late_mean_ms)" \
        "$(json_field "$row" wineserver_cpu_fraction)"
done
[ -n "$WINE_NOTE" ] && echo "Wine: $WINE_NOTE"
echo "update: exit code $rc, drive updated: $updated (log: $log)"
{
    echo "{"
    echo "  \"date\": \"$(date -u +%Y-%m-%dT%H:%M:%SZ)\","
    echo "  \"goal_cpu_fraction\": 0.01,"
    [ -n "$WINE_NOTE" ] && echo "  \"wine_note\": \"$WINE_NOTE\","
    echo "  \"results\": ["
    for i in "${!ROWS[@]}"; do
        sep=,
        ((i == ${#ROWS[@]} - 1)) && sep=
        echo "    ${ROWS[$i]}$sep"
    done
    echo "  ]"
    echo "}"
} >"$OUT/bench.json"
echo "written: $OUT/bench.json"
