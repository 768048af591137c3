#!/usr/bin/env bash
# The program's costs, each against a reference measured in the same run, interleaved, over
# BENCH_REPS repetitions (default 5), with the median and the minimum. A benchmark, not a test:
# it prints what it measured and judges nothing. CI does not run it.
#   (a) waiting: 200 delays of 10 ms on the window thread's timer, processor time per wall
#       second, natively (the simulated clock and message queue, as orvane-sim runs) and as the
#       x64 program under Wine (the real counter and queue; the wineserver's share apart; five
#       times as many delays, as Wine counts processor time in 10 ms ticks);
#       reference: plain sleeps of the same length (a busy wait is 1.0);
#   (b) a whole update of the built-in machine's 512 GB drive by orvane-sim at real-time speed;
#   (c) the cipher: 512 KiB deciphered, against OpenSSL's AES-128-ECB with AES-NI and without:
#       the engine the program picks (the AES instructions where the processor has them) and the table engine;
#   (d) start-up under Wine ("/S", a package without firmware) and (e) "/LIST", against a
#       program with the same manifest that loads the same DLLs and returns;
#   (f) the scan's instructions with 1, 4 and 16 disks, and the opens per disk (callgrind);
#   (g) the host's own cost per download chunk, the simulated drive's part taken out.
# Uses the programs ./scripts/test.sh built (build/native, build/win64); builds the native ones
# when they are missing; the Wine figures need the x64 build and its prefix. Prints two tables
# and writes them as JSON to build/bench/bench.json.
#   ./scripts/bench.sh [DELAYS [MS]]
set -u -o pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT" || exit 1
. scripts/lib/packages.sh

COUNT=${1:-200}
MS=${2:-10}
REPS=${BENCH_REPS:-5}
OUT=build/bench
NATIVE=build/native
WIN64=build/win64
mkdir -p "$OUT" build/logs
ROWS=()   # JSON objects, one per single run
FIGS=()   # JSON objects: figure, reference, goal, unit, median, min, values

note() { echo "== $*"; }

orv_ensure_packages openssl valgrind ||
    { echo "could not install the benchmark's packages (openssl, valgrind)"; exit 1; }

# json_field JSON NAME: a number or string field of a flat JSON object.
json_field() {
    perl -ne 'if (/"'"$2"'":\s*(?:"([^"]*)"|([^",}\s]*))/) { print $1 // $2; exit }' <<<"$1"
}
# stats NUMBERS...: "median min" of the numbers.
stats() { perl -e '@v = sort { $a <=> $b } @ARGV; printf "%.4f %.4f", $v[$#v / 2], $v[0]' "$@"; }
ratio() { perl -e 'printf "%.4f", $ARGV[1] > 0 ? $ARGV[0] / $ARGV[1] : 0' "$1" "$2"; }
# figure NAME REFERENCE GOAL UNIT VALUES...: one row of the figures' table.
figure() {
    local name=$1 ref=$2 goal=$3 unit=$4
    shift 4
    local med min
    read -r med min <<<"$(stats "$@")"
    FIGS+=("{\"figure\": \"$name\", \"reference\": \"$ref\", \"goal\": \"$goal\", \"unit\": \"$unit\", \"median\": $med, \"min\": $min, \"values\": [$(IFS=,; echo "$*")]}")
}

if [ ! -x "$NATIVE/delay_bench" ] || [ ! -x "$NATIVE/orvane-sim" ] || [ ! -x "$NATIVE/orvane-pack" ] ||
    [ ! -x "$NATIVE/cipher_bench" ]; then
    note "building the native programs ($NATIVE)"
    cmake -S . -B "$NATIVE" -G Ninja >build/logs/bench-configure.log 2>&1 &&
        cmake --build "$NATIVE" -j 2 --target delay_bench cipher_bench orvane-sim orvane-pack \
            >build/logs/bench-build.log 2>&1 || {
        echo "the native build failed; see build/logs/bench-*.log"
        exit 1
    }
fi

# --- (a) delays, natively
note "(a) $COUNT delays of $MS ms against plain sleeps, native, $REPS repetitions"
ours=() ref=()
for ((i = 0; i < REPS; i++)); do
    row=$("$NATIVE/delay_bench" "$COUNT" "$MS") || { echo "delay_bench failed"; exit 1; }
    ROWS+=("$row")
    ours+=("$(json_field "$row" cpu_fraction)")
    row=$("$NATIVE/delay_bench" --sleep "$COUNT" "$MS") || { echo "delay_bench --sleep failed"; exit 1; }
    ROWS+=("$row")
    ref+=("$(json_field "$row" cpu_fraction)")
done
figure "waiting ${COUNT}x${MS} ms, native" "-" "<= 0.01" "cores" "${ours[@]}"
figure "plain sleeps ${COUNT}x${MS} ms, native" "reference (busy wait: 1.0)" "-" "cores" "${ref[@]}"

# --- (a) delays under Wine (x64)
# Wine counts a process's processor time in ticks of 10 ms, a fifth of what 200 delays cost: the
# runs under Wine are five times as long, so a tick is a thousandth of a core.
WCOUNT=$((COUNT * 5))
WINE_NOTE=
if [ -f "$WIN64/delay_bench.exe" ] && [ -f "$WIN64/wineprefix/.orvane-ready" ]; then
    note "(a) $WCOUNT delays of $MS ms against plain sleeps, Wine x64, $REPS repetitions"
    pfx=$ROOT/$WIN64/wineprefix
    # A wineserver of our own, in the foreground so its pid (and processor time) is ours to read.
    WINEPREFIX=$pfx wineserver -k >/dev/null 2>&1
    WINEPREFIX=$pfx WINEDEBUG=-all wineserver -f -p </dev/null >/dev/null 2>&1 &
    server=$!
    wine_err=$OUT/wine-delays.err
    : >"$wine_err"
    wine_run() {
        WINEPREFIX=$pfx WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= timeout 300 /usr/lib/wine/wine64 \
            "$WIN64/delay_bench.exe" "$@" 2>>"$wine_err" | tr -d '\r'
    }
    # A first program starts the prefix's services; measure after that.
    wine_run 1 1 >/dev/null
    ticks() { awk '{ print $14 + $15 }' "/proc/$server/stat" 2>/dev/null || echo 0; }
    hz=$(getconf CLK_TCK)
    ours=() ref=() srv=() failed=()
    for ((i = 0; i < REPS; i++)); do
        # A failed run is named and left out; the others still count.
        t0=$(ticks)
        if row=$(wine_run "$WCOUNT" "$MS"); then
            t1=$(ticks)
            wall=$(json_field "$row" wall_s)
            server_frac=$(perl -e 'printf "%.4f", $ARGV[3] > 0 ? ($ARGV[1] - $ARGV[0]) / $ARGV[2] / $ARGV[3] : 0' \
                "$t0" "$t1" "$hz" "$wall")
            ROWS+=("${row%\}}, \"wineserver_cpu_fraction\": $server_frac}")
            ours+=("$(json_field "$row" cpu_fraction)")
            srv+=("$server_frac")
        else
            failed+=("delays, repetition $((i + 1)): exit $?")
        fi
        if row=$(wine_run --sleep "$WCOUNT" "$MS"); then
            ROWS+=("$row")
            ref+=("$(json_field "$row" cpu_fraction)")
        else
            failed+=("plain sleeps, repetition $((i + 1)): exit $?")
        fi
    done
    ((${#ours[@]})) && figure "waiting ${WCOUNT}x${MS} ms, x64 under Wine" "-" "<= 0.01" "cores" "${ours[@]}"
    ((${#srv[@]})) && figure "  its wineserver's share" "-" "-" "cores" "${srv[@]}"
    ((${#ref[@]})) && figure "plain sleeps ${WCOUNT}x${MS} ms, x64 under Wine" "reference (busy wait: 1.0)" "-" \
        "cores" "${ref[@]}"
    ((${#failed[@]})) && WINE_NOTE="delay_bench.exe failed under Wine: $(IFS=';'; echo "${failed[*]}") (stderr: $wine_err)"
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
if [ "$updated" = true ] && [ "$rc" = 0 ]; then
    figure "whole update at real-time speed ($(json_field "$row" wall_s) s)" "-" "<= 0.01" "cores" \
        "$(json_field "$row" cpu_fraction)"
else
    echo "the update did not end with the drive updated (exit code $rc): see $work/run.out and $log"
fi

# OpenSSL's AES-128-ECB decrypt of 512 KiB blocks, in MB/s: "aesni" as it comes; "plain" with the
# AES and carry-less multiply bits of its capability vector cleared (no AES-NI).
# (An empty OPENSSL_ia32cap would clear every bit: the "aesni" run leaves it unset.)
openssl_mb() {
    local cap=()
    [ "$1" = plain ] && cap=(OPENSSL_ia32cap="~0x200000200000000")
    env -u OPENSSL_ia32cap "${cap[@]}" openssl speed -elapsed -seconds 1 -bytes 524288 -decrypt \
        -evp aes-128-ecb 2>/dev/null | awk '/^AES-128-ECB/ { v = $NF; sub(/k$/, "", v); printf "%.1f", v / 1000 }'
}
mb_of() { json_field "$1" median_mb_s; }

if command -v openssl >/dev/null && [ -x "$NATIVE/cipher_bench" ]; then
    note "(c) decipher 512 KiB against OpenSSL with and without AES-NI, $REPS repetitions"
    # Per place (native, wine): ours and the tables' MB/s, and the ratios to each reference.
    declare -A mb ratio_ni ratio_plain ratio_tables engine
    places=(native)
    engine[native]=$(json_field "$("$NATIVE/cipher_bench" 1)" engine)
    # 200 passes (about a quarter of a second with the tables), as long a stretch as OpenSSL's own
    # is steady. Under Wine a persistent server with its services already started: the services
    # that a first program starts would otherwise share the two cores with the passes.
    if [ -f "$WIN64/cipher_bench.exe" ] && [ -f "$WIN64/wineprefix/.orvane-ready" ]; then
        places+=(wine)
        WINEPREFIX=$ROOT/$WIN64/wineprefix WINEDEBUG=-all wineserver -p >/dev/null 2>&1
        engine[wine]=$(json_field "$(WINEPREFIX=$ROOT/$WIN64/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= \
            /usr/lib/wine/wine64 "$WIN64/cipher_bench.exe" 1 2>/dev/null | tr -d '\r')" engine)
        sleep 2
    fi
    # cipher_run PLACE [--tables]: MB/s of 200 passes.
    cipher_run() {
        local place=$1
        shift
        if [ "$place" = native ]; then
            mb_of "$("$NATIVE/cipher_bench" "$@" 200)"
        else
            mb_of "$(WINEPREFIX=$ROOT/$WIN64/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= \
                /usr/lib/wine/wine64 "$WIN64/cipher_bench.exe" "$@" 200 | tr -d '\r')"
        fi
    }
    for ((i = 0; i < REPS; i++)); do
        for place in "${places[@]}"; do
            fast=$(cipher_run "$place")
            ni=$(openssl_mb aesni)
            tables=$(cipher_run "$place" --tables)
            plain=$(openssl_mb plain)
            # A run that printed nothing is named and left out; the others still count.
            if [ -z "$fast" ] || [ -z "$tables" ] || [ -z "$ni" ] || [ -z "$plain" ]; then
                echo "   repetition $((i + 1)), $place: a run printed no figure, left out"
                continue
            fi
            mb[$place]+=" $fast" mb[$place-tables]+=" $tables" mb[openssl-aesni]+=" $ni" mb[openssl-plain]+=" $plain"
            ratio_ni[$place]+=" $(ratio "$fast" "$ni")"
            ratio_plain[$place]+=" $(ratio "$fast" "$plain")"
            ratio_tables[$place]+=" $(ratio "$tables" "$plain")"
        done
    done
    ((${#places[@]} > 1)) && WINEPREFIX=$ROOT/$WIN64/wineprefix wineserver -k >/dev/null 2>&1
    for place in "${places[@]}"; do
        [ -n "${mb[$place]:-}" ] || { echo "   (c) $place: no repetition gave figures"; continue; }
        where=native
        [ "$place" = wine ] && where="x64 under Wine"
        # shellcheck disable=SC2086 # the lists are space-separated numbers
        {
            figure "AES-128 decipher 512 KiB, $where (${engine[$place]})" "OpenSSL AES-128-ECB, AES-NI" ">= 0.5" "speed ratio" \
                ${ratio_ni[$place]}
            figure "AES-128 decipher 512 KiB, $where (${engine[$place]})" "OpenSSL AES-128-ECB, no AES-NI" "-" "speed ratio" \
                ${ratio_plain[$place]}
            figure "AES-128 decipher 512 KiB, $where (tables)" "OpenSSL AES-128-ECB, no AES-NI" ">= 1.5" "speed ratio" \
                ${ratio_tables[$place]}
            figure "AES-128 decipher 512 KiB, $where (${engine[$place]})" "-" "-" "MB/s" ${mb[$place]}
            figure "AES-128 decipher 512 KiB, $where (tables)" "-" "-" "MB/s" ${mb[$place-tables]}
        }
    done
    # shellcheck disable=SC2086
    {
        [ -n "${mb[openssl-aesni]:-}" ] &&
            figure "OpenSSL AES-128-ECB decrypt 512 KiB, AES-NI" "-" "-" "MB/s" ${mb[openssl-aesni]} &&
            figure "OpenSSL AES-128-ECB decrypt 512 KiB, no AES-NI" "-" "-" "MB/s" ${mb[openssl-plain]}
    }
else
    note "(c) skipped: needs openssl and $NATIVE/cipher_bench"
fi

# (d), (e): the x64 program under Wine against a program that loads the same DLLs and returns.
if [ -f "$WIN64/Orvane.exe" ] && [ -f "$WIN64/startup_ref.exe" ] && [ -f "$WIN64/startup_ref_manifest.exe" ] &&
    [ -f "$WIN64/wineprefix/.orvane-ready" ]; then
    pfx=$ROOT/$WIN64/wineprefix
    work=$OUT/startup
    rm -rf "$work" && mkdir -p "$work"
    echo '{ "slots": [] }' >"$work/manifest.json"
    "$NATIVE/orvane-pack" build --manifest "$work/manifest.json" --base "$WIN64/Orvane.exe" \
        --out "$work/Orvane-empty.exe" >"$work/pack.log" 2>&1 || { echo "packing failed: $work/pack.log"; exit 1; }
    mapfile -t dlls < <(x86_64-w64-mingw32-objdump -p "$WIN64/Orvane.exe" | awk '/DLL Name:/ { print $3 }')
    export WINEPREFIX=$pfx WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
    wineserver -p >/dev/null 2>&1
    /usr/lib/wine/wine64 cmd.exe /c exit >/dev/null 2>&1
    # cost PROGRAM ARGS...: "cpu_seconds minor_faults" of one run, to the microsecond (time(1)
    # prints hundredths, as coarse as the start-up itself).
    cost() {
        local row
        row=$("$NATIVE/delay_bench" --run /usr/lib/wine/wine64 "$@" 2>/dev/null)
        echo "$(json_field "$row" cpu_s) $(json_field "$row" minor_faults)"
    }
    # Each run is a twentieth of a second, and single runs spread from 0.9 to 2 times the fastest:
    # six times the repetitions.
    sreps=$((REPS * 6))
    note "(d) start-up /S without firmware, (e) /LIST, against the reference, $sreps repetitions"
    # The reference carries the program's manifest, so it loads the same common controls (version
    # 6, through an activation context); the one without it loads version 5 and is shown apart.
    r_cpu=() r_cpu_plain=() r_faults=() r_list=() f_prog=() f_ref=() f_above=() s_prog=() s_ref=() s_list=()
    for ((i = 0; i < sreps; i++)); do
        read -r c_prog p_prog <<<"$(cost "$work/Orvane-empty.exe" /S)"
        read -r c_ref p_ref <<<"$(cost "$WIN64/startup_ref_manifest.exe" "${dlls[@]}")"
        read -r c_list _ <<<"$(cost "$WIN64/Orvane.exe" /LIST)"
        read -r c_plain _ <<<"$(cost "$WIN64/startup_ref.exe" "${dlls[@]}")"
        s_prog+=("$c_prog") s_ref+=("$c_ref") s_list+=("$c_list")
        r_cpu+=("$(ratio "$c_prog" "$c_ref")")
        r_cpu_plain+=("$(ratio "$c_prog" "$c_plain")")
        r_faults+=("$(ratio "$p_prog" "$p_ref")")
        r_list+=("$(ratio "$c_list" "$c_ref")")
        f_prog+=("$p_prog")
        f_ref+=("$p_ref")
        f_above+=("$((p_prog - p_ref))")
    done
    wineserver -k >/dev/null 2>&1
    unset WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
    figure "start-up /S, no firmware, CPU" "loads the same DLLs and returns" "<= 1.1" "CPU ratio" "${r_cpu[@]}"
    figure "start-up /S, no firmware, CPU" "the same, without the manifest" "-" "CPU ratio" "${r_cpu_plain[@]}"
    figure "start-up /S, page faults" "loads the same DLLs and returns" "image area not paged in" "fault ratio" \
        "${r_faults[@]}"
    figure "start-up /S, page faults (program)" "-" "-" "faults" "${f_prog[@]}"
    figure "start-up, page faults (reference)" "-" "-" "faults" "${f_ref[@]}"
    # The image area is 7,864,320 bytes: 1,920 pages. Fewer faults above the reference than that
    # means it was not read in whole.
    figure "start-up /S, page faults above the reference" "-" "< 1920 (the image area)" "faults" "${f_above[@]}"
    figure "/LIST, CPU" "loads the same DLLs and returns" "<= 1.5" "CPU ratio" "${r_list[@]}"
    # A run is only ever slowed by what else the machine does: the fastest of each, side by side,
    # is the other way to read the same runs.
    read -r _ fast_prog <<<"$(stats "${s_prog[@]}")"
    read -r _ fast_ref <<<"$(stats "${s_ref[@]}")"
    read -r _ fast_list <<<"$(stats "${s_list[@]}")"
    figure "start-up /S, CPU, fastest against fastest" "the same reference" "<= 1.1" "CPU ratio" \
        "$(ratio "$fast_prog" "$fast_ref")"
    figure "/LIST, CPU, fastest against fastest" "the same reference" "<= 1.5" "CPU ratio" \
        "$(ratio "$fast_list" "$fast_ref")"
else
    note "(d), (e) skipped: needs $WIN64/Orvane.exe, the startup_ref programs and a ready prefix (./scripts/test.sh)"
fi

# (f) the scan against the number of disks, in instructions; (g) the host's own cost per chunk.
if command -v valgrind >/dev/null; then
    work=$OUT/scan
    rm -rf "$work" && mkdir -p "$work"
    # Machines of 1, 4 and 16 copies of the built-in machine's first SATA disk that takes firmware.
    perl -MJSON::PP -e '
        local $/; my $src = <STDIN>;
        my ($text) = $src =~ /R"machine\((.*?)\)machine"/s or die "no built-in machine\n";
        my $j = decode_json($text);
        my ($d0) = grep { ($_->{bus_type} // "") eq "sata" && $_->{drive} } @{ $j->{disks} };
        for my $n (1, 4, 16) {
            my @disks;
            for my $i (0 .. $n - 1) {
                my $d = decode_json(encode_json($d0));
                $d->{instance_id} =~ s/&0&\w+$/sprintf("&0&%06d", $i)/e;
                $d->{device_number} = $i;
                $d->{scsi_address}{path} = $i;
                $d->{partitions} = [] if $i;
                $d->{drive}{serial} = sprintf("SN%014d", $i);
                delete $d->{serial};
                push @disks, $d;
            }
            open my $f, ">", "$ARGV[0]/m$n.json" or die;
            print $f encode_json({ disks => \@disks });
        }' "$work" <src/platform/sim/sim_machine.cpp || { echo "cannot make the scan machines"; exit 1; }
    # opens CALLGRIND_FILE: calls of the simulated open, from the call records.
    opens() {
        perl -ne 'if (/^(c?)fn=\((\d+)\)(?: (.*))?/) { my ($c, $id) = ($1, $2); $n{$id} = $3 if defined $3; $cur = $n{$id} if $c }
                  if (/^calls=(\d+)/) { my $k = $1; $s += $k if $cur =~ /SimStorageIo::Open\(/ } END { print $s + 0 }' "$1"
    }
    note "(f) scan instructions with 1, 4 and 16 disks (callgrind)"
    declare -A instr nopens
    for n in 1 4 16; do
        TMPDIR=$ROOT/$work valgrind --tool=callgrind --callgrind-out-file="$work/cg$n.out" \
            "$NATIVE/orvane-sim" --speed 1000 --machine "$work/m$n.json" >"$work/run$n.txt" 2>"$work/cg$n.err"
        instr[$n]=$(awk '/Collected :/ { print $NF }' "$work/cg$n.err")
        nopens[$n]=$(opens "$work/cg$n.out")
    done
    # The line through 1 and 4 disks, and how far 16 disks lie above it.
    over=$(perl -e 'my ($a, $b, $c) = @ARGV; my $line = $a + ($b - $a) / 3 * 15; printf "%.4f", $c / $line' \
        "${instr[1]}" "${instr[4]}" "${instr[16]}")
    per_disk=$(perl -e 'printf "%.2f", ($ARGV[1] - $ARGV[0]) / 15' "${nopens[1]}" "${nopens[16]}")
    figure "scan, 16 disks against the line through 1 and 4" "linear growth" "<= 1.10" "instruction ratio" "$over"
    figure "scan, opens per disk" "-" "<= 3" "opens" "$per_disk"
    echo "   instructions: 1 disk ${instr[1]}, 4 disks ${instr[4]}, 16 disks ${instr[16]};" \
        "opens: ${nopens[1]}, ${nopens[4]}, ${nopens[16]}"

    note "(g) host cost per download chunk (callgrind inside the download flow, the drive's own part apart)"
    upd=$OUT/update
    TMPDIR=$ROOT/$upd/tmp valgrind --tool=callgrind --callgrind-out-file="$work/flash.out" \
        --toggle-collect='*TAtaDevice::flash_firmware*' "$upd/orvane-sim-bench" --speed 1000 -- /S \
        >"$work/flash.txt" 2>"$work/flash.err"
    flow=$(awk '/Collected :/ { print $NF }' "$work/flash.err")
    drive=$(callgrind_annotate --inclusive=yes "$work/flash.out" 2>/dev/null |
        awk '/SimStorageHandle::Control\(/ { gsub(",", "", $1); print $1; exit }')
    chunks=$(tr -d '\r' <"$upd/tmp/ORVANE_DEBUG.txt" | grep -c 'Cmd:92 FR:03')
    # Instructions per processor second on this machine, from the whole update measured both ways.
    TMPDIR=$ROOT/$upd/tmp valgrind --tool=callgrind --callgrind-out-file="$work/all.out" \
        "$upd/orvane-sim-bench" --speed 1000 -- /S >/dev/null 2>"$work/all.err"
    all=$(awk '/Collected :/ { print $NF }' "$work/all.err")
    # The least processor time of five runs: the instructions are the same each time, and a run
    # only takes longer for what else the machine does.
    cpus=()
    for ((i = 0; i < 5; i++)); do
        cpus+=("$(json_field "$(TMPDIR=$ROOT/$upd/tmp "$NATIVE/delay_bench" --run "$upd/orvane-sim-bench" \
            --speed 1000 -- /S 2>/dev/null)" cpu_s)")
    done
    read -r _ cpu <<<"$(stats "${cpus[@]}")"
    us=$(perl -e 'my ($flow, $drive, $chunks, $all, $cpu) = @ARGV;
        exit 1 unless $chunks > 0 && $all > 0 && $cpu > 0;
        printf "%.3f", ($flow - $drive) / $chunks / ($all / $cpu) * 1e6' \
        "${flow:-0}" "${drive:-0}" "${chunks:-0}" "${all:-0}" "${cpu:-0}") || us=0
    figure "host cost per download chunk" "the simulated drive's own cost, apart" "<= 5" "microseconds" "$us"
    echo "   $chunks chunks; download flow $flow instructions, of which the simulated drive $drive"
else
    note "(f), (g) skipped: needs valgrind"
fi

# --- the table and the JSON
echo
echo "single runs ($COUNT delays of $MS ms each natively, $WCOUNT under Wine, and the whole update):"
printf '%-22s %10s %10s %10s %12s %14s\n' "measurement" "wall s" "cpu s" "cpu/wall" "late mean ms" "wineserver/wall"
for row in "${ROWS[@]}"; do
    where=$(json_field "$row" where)
    where=${where/win32/Wine x64}
    printf '%-22s %10s %10s %10s %12s %14s\n' "$where" "$(json_field "$row" wall_s)" "$(json_field "$row" cpu_s)" \
        "$(json_field "$row" cpu_fraction)" "$(json_field "$row" late_mean_ms)" \
        "$(json_field "$row" wineserver_cpu_fraction)"
done
[ -n "$WINE_NOTE" ] && echo "Wine: $WINE_NOTE"
echo "update: exit code $rc, drive updated: $updated (log: $log)"
echo
echo "figures ($REPS repetitions where the values are several; start-up and /LIST $((REPS * 6))):"
printf '%-50s %-36s %-24s %10s %10s\n' "figure" "reference" "goal" "median" "min"
for row in "${FIGS[@]}"; do
    printf '%-50s %-36s %-24s %10s %10s\n' "$(json_field "$row" figure)" "$(json_field "$row" reference)" \
        "$(json_field "$row" goal) ($(json_field "$row" unit))" "$(json_field "$row" median)" "$(json_field "$row" min)"
done
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
    echo "  ],"
    echo "  \"figures\": ["
    for i in "${!FIGS[@]}"; do
        sep=,
        ((i == ${#FIGS[@]} - 1)) && sep=
        echo "    ${FIGS[$i]}$sep"
    done
    echo "  ]"
    echo "}"
} >"$OUT/bench.json"
echo "written: $OUT/bench.json"
