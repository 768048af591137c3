#!/usr/bin/env bash
# Builds the native, 32-bit and 64-bit Windows configurations and runs every test of each:
# the Windows ones under Wine, in a prefix of each build folder's own, on a private virtual
# display. A fourth, native build under AddressSanitizer and UndefinedBehaviorSanitizer
# (build/asan) runs the native tests again and replays every fuzz corpus; any sanitizer
# report fails it. Prints one line per suite and, last, "N passed, N failed" over all builds.
# Exits non-zero when anything failed, did not build or could not run.
set -u -o pipefail

# Options: --truth-runs N runs the truth campaign (whole runs on random machines, each held to
# the per-drive check) N times instead of 300; --truth-seed S starts it from another seed.
while (($#)); do
    case $1 in
    --truth-runs) export ORVANE_TRUTH_RUNS=${2:?--truth-runs needs a number}; shift 2 ;;
    --truth-seed) export ORVANE_TRUTH_SEED=${2:?--truth-seed needs a number}; shift 2 ;;
    *) echo "usage: $0 [--truth-runs N] [--truth-seed S]" >&2; exit 2 ;;
    esac
done

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT" || exit 1
. scripts/lib/packages.sh
. scripts/lib/build.sh

JOBS=2
TEST_TIMEOUT=240 # seconds per test program; the shell checks carry their own, shorter limit
LOGS=$ROOT/build/logs
START=$(date +%s)

PASSED=0
FAILED=0
REPORT=()
CAMPAIGNS=()
FIRST_PREFIX=

note() { printf '== [%4ds] %s\n' "$(($(date +%s) - START))" "$*"; }

# record BUILD SUITE PASSED FAILED [REMARK]
record() {
    REPORT+=("$(printf '%-6s %-36s %4d passed, %4d failed%s' "$1" "$2" "$3" "$4" "${5:+   ($5)}")")
    PASSED=$((PASSED + $3))
    FAILED=$((FAILED + $4))
}

# The private display and the wineservers started here are stopped by their own handles.
XVFB_PID=
SERVER_PREFIXES=()
cleanup() {
    local pfx
    for pfx in "${SERVER_PREFIXES[@]}"; do
        WINEPREFIX=$pfx timeout 30 wineserver -k >/dev/null 2>&1
    done
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

show_log_tail() {
    echo "---- last lines of $1"
    tail -n "${2:-40}" "$1"
    echo "----"
}

start_xvfb() {
    local fdfile n i
    fdfile=$(mktemp)
    # -displayfd makes Xvfb take the first free display number and report it when ready.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >"$LOGS/xvfb.log" 2>&1 &
    XVFB_PID=$!
    for i in $(seq 100); do
        [ -s "$fdfile" ] && break
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    n=$(tr -dc 0-9 <"$fdfile")
    rm -f "$fdfile"
    if [ -z "$n" ]; then
        show_log_tail "$LOGS/xvfb.log" 10
        return 1
    fi
    export DISPLAY=":$n"
    note "Xvfb on $DISPLAY (pid $XVFB_PID)"
}

# The window's Chinese texts: Tahoma has no CJK glyphs, so the prefix links it to the Debian CJK
# font that fontconfig offers (a prefix made before this gets the link on its next run).
link_cjk_font() {
    local pfx=$1
    [ -f "$pfx/.orvane-cjk" ] && return 0
    WINEPREFIX=$pfx WINEDEBUG=-all timeout 60 wine reg add \
        'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v Tahoma /t REG_MULTI_SZ \
        /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1 &&
        WINEPREFIX=$pfx timeout 120 wineserver -w && touch "$pfx/.orvane-cjk"
}

# Makes the build folder's Wine prefix once; a prefix without the ready mark is made again.
ensure_prefix() {
    local pfx=$1 log=$2
    [ -f "$pfx/.orvane-ready" ] && { link_cjk_font "$pfx"; return; }
    note "making Wine prefix $pfx"
    rm -rf "$pfx"
    (
        export WINEPREFIX=$pfx WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
        unset DISPLAY
        set -e
        timeout 300 wine wineboot --init
        timeout 120 wineserver -w
        cp /usr/share/wine/fonts/*.ttf "$pfx/drive_c/windows/Fonts/"
        # Unmanaged windows: without a window manager every hide or destroy would wait 2 s.
        timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
        timeout 60 wine winecfg -v win10
        timeout 60 wine reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' /v CurrentVersion |
            grep -q '10\.0'
        timeout 120 wineserver -w
    ) >"$log" 2>&1 || {
        show_log_tail "$log" 20
        return 1
    }
    touch "$pfx/.orvane-ready"
    link_cjk_font "$pfx"
}

# Counts one GoogleTest XML report: prints "CASES BAD"; a case that failed, was skipped or
# was not run is bad. Fails when the report is not complete.
count_xml() {
    grep -q '</testsuites>' "$1" || return 1
    # Text inside CDATA (failure messages, test output) is skipped: it may hold anything.
    awk '
        function done_case() { if (bad) nbad++; open = 0 }
        {
            line = $0
            if (incdata) {
                e = index(line, "]]>")
                if (!e) next
                incdata = 0
                line = substr(line, e + 3)
            }
            c = index(line, "<![CDATA[")
            if (c) {
                if (!index(substr(line, c + 9), "]]>")) incdata = 1
                line = substr(line, 1, c - 1)
            }
        }
        line ~ /^[ \t]*<testcase / {
            if (open) done_case()
            n++; bad = (line ~ /status="notrun"|result="skipped"|result="suppressed"/)
            if (line ~ /\/>[ \t\r]*$/) done_case(); else open = 1
            next
        }
        open && line ~ /^[ \t]*<(failure|error|skipped)/ { bad = 1 }
        open && line ~ /^[ \t]*<\/testcase>/ { done_case() }
        END { if (open) done_case(); print n + 0, nbad + 0 }
    ' "$1"
}

# run_build NAME [TOOLCHAIN [CMAKE ARGUMENTS...]]
run_build() {
    local name=$1 toolchain=${2:-} dir=build/$1
    shift $(($# < 2 ? $# : 2))
    local extra=("$@")
    local win=0 sanitized=0
    [ -n "$toolchain" ] && win=1
    [[ " ${extra[*]} " == *" -DORVANE_SANITIZE=ON "* ]] && sanitized=1

    note "$name: configure"
    if ! orv_configure "$dir" "$toolchain" "$LOGS/$name-configure.log" "${extra[@]}"; then
        record "$name" "(configure)" 0 1 "CMake failed: $LOGS/$name-configure.log"
        return
    fi

    note "$name: build"
    local built=1
    if ! ORV_KEEP_GOING=1 orv_build "$dir" "$LOGS/$name-build.log"; then
        built=0
        record "$name" "(build)" 0 1 "build failed: $LOGS/$name-build.log"
    fi

    local tests=()
    mapfile -t tests < <(ctest --test-dir "$dir" -N 2>/dev/null | sed -n 's/^ *Test *#[0-9]*: //p')
    if ((${#tests[@]} == 0)); then
        record "$name" "(tests)" 0 1 "ctest lists no tests"
        return
    fi

    # After a failed build, a test whose programs are not up to date would run stale
    # binaries: it is not run and counts as failed.
    local -A stale=() target_ok=()
    local t tg targets
    if ((built == 0)); then
        for t in "${tests[@]}"; do
            case $t in
            prog_*)
                targets=(orvane-sim orvane-pack)
                if ((win)); then targets+=(Orvane orvane-simwin box_probe orvane-stubs); fi
                ;;
            fuzz_*) targets=("replay-${t#fuzz_}") ;;
            *) targets=("$t") ;;
            esac
            for tg in "${targets[@]}"; do
                if [ -z "${target_ok[$tg]:-}" ]; then
                    ninja -C "$dir" "$tg" >/dev/null 2>&1 && target_ok[$tg]=1 || target_ok[$tg]=0
                fi
                [ "${target_ok[$tg]}" = 1 ] || stale[$t]=1
            done
        done
    fi

    local pfx=$ROOT/$dir/wineprefix
    if ((win)); then
        # One prefix for both widths (the 32-bit programs run under WOW64 in a 64-bit prefix
        # anyway): each one holds 1.3 GB of copied DLLs.
        if [ -n "$FIRST_PREFIX" ] && [ "$FIRST_PREFIX" != "$pfx" ] && [ ! -e "$pfx" ] &&
            [ -f "$FIRST_PREFIX/.orvane-ready" ]; then
            ln -s "$FIRST_PREFIX" "$pfx"
        fi
        [ -n "$FIRST_PREFIX" ] || FIRST_PREFIX=$pfx
        if ! ensure_prefix "$pfx" "$LOGS/$name-wineprefix.log"; then
            for t in "${tests[@]}"; do record "$name" "$t" 0 1 "not run: no Wine prefix"; done
            return
        fi
        # A persistent server: otherwise it inherits the first test's output and each test
        # waits for it at the end.
        WINEPREFIX=$pfx WINEDEBUG=-all wineserver -p </dev/null >/dev/null 2>&1
        SERVER_PREFIXES+=("$pfx")
        # The first program of a session starts the prefix's services and desktop, which keep
        # its output open: ctest would wait on that test until its time-out. Start them here.
        WINEPREFIX=$pfx WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= timeout 60 wine cmd.exe /c exit \
            </dev/null >/dev/null 2>&1
    fi

    local exclude=()
    for t in "${!stale[@]}"; do exclude+=("^${t}\$"); done
    local ctest_args=(--test-dir "$dir" -j "$JOBS" --timeout "$TEST_TIMEOUT" --output-on-failure)
    if ((${#exclude[@]})); then
        ctest_args+=(-E "$(IFS='|'; echo "${exclude[*]}")")
    fi

    rm -f "$dir"/test-results/*.xml "$dir"/test-results/*.png "$dir"/Testing/Temporary/LastTestsFailed*.log
    # Sanitizers: the first report ends the program, which fails its test; the reports are
    # also counted below, from the test output and the program checks' files.
    local san_env=()
    if ((sanitized)); then
        san_env=(env "ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1"
                 "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1")
        # The plain build runs the whole campaign; under the sanitizers a third of it, which
        # costs as much, unless --truth-runs asked for a number.
        [ -z "${ORVANE_TRUTH_RUNS:-}" ] && san_env+=("ORVANE_TRUTH_RUNS=100")
    fi
    note "$name: ctest"
    local rc=0
    if ((${#stale[@]} < ${#tests[@]})); then
        "${san_env[@]}" ctest "${ctest_args[@]}" 2>&1 | tee "$LOGS/$name-ctest.log"
        rc=${PIPESTATUS[0]}
    fi
    # The campaign's own line: its runs, its seed and what it found.
    local campaign
    campaign=$(grep -ahm1 '^truth campaign: ' "$dir/Testing/Temporary/LastTest.log" 2>/dev/null)
    if [ -n "$campaign" ]; then
        note "$name: $campaign"
        CAMPAIGNS+=("$(printf '%-6s %s' "$name" "$campaign")")
    fi
    if ((sanitized)); then
        local pattern='runtime error:|ERROR: (AddressSanitizer|LeakSanitizer)'
        local n_reports
        n_reports=$(grep -rhIE "$pattern" "$LOGS/$name-ctest.log" "$dir/test-work" 2>/dev/null | wc -l)
        if ((n_reports)); then
            record "$name" "(sanitizer reports)" 0 "$n_reports" "grep -E '$pattern' in $LOGS/$name-ctest.log, $dir/test-work"
        else
            record "$name" "(sanitizer reports)" 1 0 "none"
        fi
    fi

    if ((win)); then
        WINEPREFIX=$pfx timeout 30 wineserver -k >/dev/null 2>&1
    fi

    local -A failed=()
    local lf line
    for lf in "$dir"/Testing/Temporary/LastTestsFailed*.log; do
        [ -f "$lf" ] || continue
        while IFS= read -r line; do failed[${line#*:}]=1; done <"$lf"
    done
    # ctest's own list is not written when the disk is full: its output names them too.
    while IFS= read -r line; do
        [ -n "$line" ] && failed[$line]=1
    done < <(sed -n 's/^ *[0-9]*\/[0-9]* *Test *#[0-9]*: \([^ ]*\) .*\*\*\*.*/\1/p' "$LOGS/$name-ctest.log" 2>/dev/null)
    if ((rc != 0 && ${#failed[@]} == 0)); then
        record "$name" "(ctest)" 0 1 "ctest exited $rc without naming a failed test"
    fi

    local xml counts cases bad
    for t in "${tests[@]}"; do
        if [ -n "${stale[$t]:-}" ]; then
            record "$name" "$t" 0 1 "not run: its programs did not build"
            continue
        fi
        case $t in
        prog_* | fuzz_* | documents_*)
            if [ -n "${failed[$t]:-}" ]; then record "$name" "$t" 0 1; else record "$name" "$t" 1 0; fi
            ;;
        *)
            xml=$dir/test-results/$t.xml
            if [ ! -f "$xml" ]; then
                record "$name" "$t" 0 1 "no XML report: did not run or crashed"
            elif ! counts=$(count_xml "$xml"); then
                record "$name" "$t" 0 1 "XML report incomplete"
            else
                read -r cases bad <<<"$counts"
                if [ -n "${failed[$t]:-}" ] && ((bad == 0)); then
                    record "$name" "$t" "$cases" 1 "$cases cases passed but the program failed"
                elif ((cases == 0)); then
                    record "$name" "$t" 0 0 "no test cases"
                else
                    record "$name" "$t" $((cases - bad)) "$bad"
                fi
            fi
            ;;
        esac
    done
}

mkdir -p "$LOGS"

# Packages: only when something is missing (jq only if a program check uses it).
packages=("${ORV_NATIVE_PACKAGES[@]}" "${ORV_WINDOWS_PACKAGES[@]}")
if grep -qw jq tests/programs/*.sh tests/programs/win/*.sh 2>/dev/null; then packages+=(jq); fi
if ! orv_ensure_packages "${packages[@]}"; then
    echo "could not install the build packages"
    echo "0 passed, 1 failed"
    exit 1
fi

# The shipped programs first, by the release build's own script: the test builds below are the
# same folders with the same flags, so they build only what the tests add.
note "release programs: ./scripts/build.sh"
if ./scripts/build.sh; then
    record all "(release programs)" 1 0
else
    record all "(release programs)" 0 1 "scripts/build.sh failed"
fi
run_build native "" "${ORV_RELEASE_FLAGS[@]}"
run_build asan "" -DORVANE_SANITIZE=ON
if ! start_xvfb; then
    record all "(Xvfb)" 0 1 "no virtual display: window checks cannot run"
fi
run_build win32 cmake/mingw-i686.cmake "${ORV_RELEASE_FLAGS[@]}"
run_build win64 cmake/mingw-x86_64.cmake "${ORV_RELEASE_FLAGS[@]}"

echo
echo "== results ($(($(date +%s) - START)) s; logs in $LOGS)"
printf '%s\n' "${REPORT[@]}"
((${#CAMPAIGNS[@]})) && printf '%s\n' "${CAMPAIGNS[@]}"
echo "$PASSED passed, $FAILED failed"
((FAILED == 0))
