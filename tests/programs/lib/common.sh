# Helpers of the program checks; not a check itself. A check runs as `bash CHECK BUILD_DIR`
# with ORVANE_WINE (the Wine loader of a Windows build, empty for a native one),
# ORVANE_WINEPREFIX and, for the window checks, DISPLAY in its environment.
set -u -o pipefail

# The repository's top folder, for the fixtures the checks read.
ORV_SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# orv_init BUILD_DIR: sets BUILD, WINE, EXE (".exe" or ""), a fresh WORK folder and, for
# native builds, a private TMPDIR there (so the debug log starts empty).
orv_init() {
    [ $# -ge 1 ] || fail "usage: bash $0 BUILD_DIR"
    BUILD=$(cd "$1" 2>/dev/null && pwd) || fail "no build folder $1"
    WINE=${ORVANE_WINE:-}
    CHECK=$(basename "$0" .sh)
    WORK=$BUILD/test-work/$CHECK
    rm -rf "$WORK"
    mkdir -p "$WORK/tmp" "$BUILD/test-results" || fail "cannot make $WORK"
    ORV_PIDS=()
    trap orv_cleanup EXIT
    if [ -n "$WINE" ]; then
        EXE=.exe
        export WINEPREFIX=${ORVANE_WINEPREFIX:-}
        export WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
        [ -d "$WINEPREFIX/drive_c" ] || fail "no Wine prefix at '$WINEPREFIX' (scripts/test.sh makes it)"
        # The update histories of the prefix's machine and of the simulated machines (kept in
        # %TEMP%): each check starts without the runs of the checks before it (they run one at a
        # time), as a native check does with its own TMPDIR.
        rm -rf "$WINEPREFIX/drive_c/ProgramData/Orvane"
        ORV_WINE_TEMP=
        orv_wine_temp >/dev/null || exit 1
        rm -rf "$ORV_WINE_TEMP/orvane-sim/programdata/Orvane"
    else
        EXE=
        export TMPDIR=$WORK/tmp
    fi
}

# Stops what this check started and left running, by pid. After a pass, the packed programs,
# images and screen shots go (tens of MB each, a few GB over all checks and builds); the
# texts stay, for the sanitizer build's search for reports. A failed check keeps everything.
# orv_cleanup [STATUS]: STATUS is the check's exit status, by default the last command's.
orv_cleanup() {
    local rc=${1:-$?} p
    for p in "${ORV_PIDS[@]}"; do
        kill -0 "$p" 2>/dev/null || continue
        kill "$p" 2>/dev/null
        sleep 1
        kill -9 "$p" 2>/dev/null
    done
    if [ "$rc" -eq 0 ] && [ -d "$WORK" ]; then
        find "$WORK" -type f -size +256k ! -name '*.txt' ! -name '*.log' ! -name '*.err' \
            ! -name '*.out' ! -name '*.json' -delete 2>/dev/null
    fi
    return "$rc"
}

# A host path as a Windows program under Wine takes it (drive Z: is the host's root).
orv_winpath() {
    local p
    p=$(realpath -m "$1")
    echo "Z:${p//\//\\}"
}

# orv_exec SECONDS PROGRAM ARGS...: runs a built program (under Wine for Windows builds)
# from WORK, bounded in time; the caller redirects its output.
orv_exec() {
    local secs=$1
    shift
    if [ -n "$WINE" ]; then
        (cd "$WORK" && timeout -k 5 "$secs" "$WINE" "$@")
    else
        (cd "$WORK" && timeout -k 5 "$secs" "$@")
    fi
}

# orv_make_image FILE SIZE [SEED]: a deterministic pseudo-random image.
orv_make_image() {
    perl -e '
        my ($n, $x) = @ARGV;
        my $out = "";
        while (length($out) < $n) {
            $x = ($x * 1103515245 + 12345) % 2147483648;
            $out .= pack("C", ($x >> 16) & 0xFF);
        }
        binmode STDOUT;
        print $out;
    ' "$2" "${3:-1}" >"$1" || fail "cannot write image $1"
    [ "$(stat -c %s "$1")" = "$2" ] || fail "image $1 is not $2 bytes"
}

# orv_tagged_image FILE SIZE REVISION DEF SEED [OFFSET]: an image a simulated drive takes, with its
# tag (docs/machine-format.md) at OFFSET (default 0): "ORVSIMFW", the revision and the DEF text
# blank-padded to 8, the length (LE); pseudo-random elsewhere.
orv_tagged_image() {
    orv_make_image "$1" "$2" "$5"
    perl -e '
        my ($file, $size, $rev, $def, $at) = @ARGV;
        open(my $fh, "+<:raw", $file) or die;
        seek($fh, $at, 0);
        print $fh "ORVSIMFW", pack("A8", $rev), pack("A8", $def), pack("V", $size);
        close $fh;
    ' "$1" "$2" "$3" "$4" "${6:-0}" || fail "cannot tag the image $1"
}

# orv_manifest_no_slots FILE: a package that carries no firmware, options as built.
orv_manifest_no_slots() {
    printf '{\n  "slots": []\n}\n' >"$1" || fail "cannot write $1"
}

# orv_manifest_one_slot FILE: one 394,240-byte image (fw.bin beside the manifest) with no
# eligibility constraint; header texts and options as built (bWinFlash true: stored plain).
orv_manifest_one_slot() {
    orv_make_image "$(dirname "$1")/fw.bin" 394240 7
    cat >"$1" <<'JSON' || fail "cannot write $1"
{
  "slots": [
    {
      "image": "fw.bin",
      "new_fw": "1.02",
      "fw_ext": "GM802030",
      "encipher": false,
      "records": []
    }
  ]
}
JSON
}

# orv_simwin_package NAME OPTIONS [NEW FWS FWE MODEL]: orvane-simwin packed as $WORK/NAME.exe with
# one slot, $WORK/fw.bin, taking the model's drives at FWS..FWE to NEW (by default the 512 GB drive,
# S0614A0..S0614B0 to S0614C0); OPTIONS are the manifest's options as JSON members.
orv_simwin_package() {
    local new=${3:-S0614C0}
    cat >"$WORK/$1.json" <<JSON || fail "cannot write $1.json"
{
  "iVisualStyle": 0,
  "iLanguage": 0,
  "options": { $2 },
  "slots": [
    {
      "image": "fw.bin",
      "new_fw": "$new",
      "fw_ext": "$new",
      "encipher": false,
      "records": [ { "fws": "${4:-S0614A0}", "fwe": "${5:-S0614B0}", "model": "${6:-MERETH SSD 512GB}" } ]
    }
  ]
}
JSON
    orv_pack "$WORK/$1.json" "$BUILD/orvane-simwin.exe" "$WORK/$1.exe"
}

# orv_pack MANIFEST BASE OUT: packs with this build's own orvane-pack.
orv_pack() {
    local tool=$BUILD/orvane-pack$EXE out
    [ -f "$tool" ] || fail "no $tool"
    [ -f "$2" ] || fail "no base program $2"
    if [ -n "$WINE" ]; then
        orv_exec 120 "$tool" build --manifest "$(orv_winpath "$1")" --base "$(orv_winpath "$2")" \
            --out "$(orv_winpath "$3")" >"$WORK/pack.out" 2>&1
    else
        orv_exec 120 "$tool" build --manifest "$1" --base "$2" --out "$3" >"$WORK/pack.out" 2>&1
    fi
    local rc=$?
    [ $rc -eq 0 ] && [ -f "$3" ] || fail "packing $3 failed (exit $rc): $(tr -d '\r' <"$WORK/pack.out")"
    chmod +x "$3"
}

# The debug log the program under test writes: TMPDIR natively, %TEMP% under Wine.
orv_log_path() {
    if [ -z "$WINE" ]; then
        echo "$TMPDIR/ORVANE_DEBUG.txt"
        return
    fi
    orv_wine_temp >/dev/null || exit 1
    echo "$ORV_WINE_TEMP/ORVANE_DEBUG.txt"
}

# orv_wine_temp: sets ORV_WINE_TEMP to the host path of Wine's %TEMP% (asked once per check).
# Call it outside $(...) first, or the answer is lost with the subshell.
orv_wine_temp() {
    if [ -z "${ORV_WINE_TEMP:-}" ]; then
        # Wine now and then fails to start a program and prints its complaint instead of the
        # answer: only a drive path and a host folder count, and a failed start is tried again.
        local win= unix= try
        for try in 1 2 3; do
            win=$(orv_exec 60 cmd.exe /c 'echo %TEMP%' 2>/dev/null | tr -d '\r')
            [[ $win =~ ^[A-Za-z]:\\ && $win != *$'\n'* ]] || { win=; continue; }
            unix=$(orv_exec 60 winepath.exe -u "$win" 2>/dev/null | tr -d '\r')
            [[ $unix == /* && -d $unix ]] && break
            unix=
        done
        [ -n "$win" ] || fail "cannot read %TEMP% from Wine"
        [ -n "$unix" ] || fail "cannot map $win to a host path"
        ORV_WINE_TEMP=${unix%/}
    fi
    echo "$ORV_WINE_TEMP"
}

# orv_fresh_log: sets LOG and removes what an earlier run left there.
orv_fresh_log() {
    LOG=$(orv_log_path) || exit 1
    rm -f "$LOG"
    [ ! -e "$LOG" ] || fail "cannot remove the old log $LOG"
}

# orv_check_last_log_line TEXT: the log's last non-empty line is TEXT; under Wine the log is
# written in text mode, so its lines end in CR LF.
orv_check_last_log_line() {
    [ -f "$LOG" ] || fail "no debug log at $LOG"
    local last
    last=$(tr -d '\r' <"$LOG" | awk 'NF { l = $0 } END { print l }')
    [ "$last" = "$1" ] || fail "last log line is '$last', expected '$1' (log: $LOG)"
    if [ -n "$WINE" ]; then
        grep -q "^$1"$'\r$' "$LOG" || fail "the log line '$1' does not end in CR LF (log: $LOG)"
    fi
}

# orv_check_log_has LINE: the log holds LINE as a whole line.
orv_check_log_has() {
    # grep reads to the end: under pipefail an early exit (-q) would fail tr on a long log.
    tr -d '\r' <"$LOG" | grep -xF -- "$1" >/dev/null || fail "the log has no line '$1' (log: $LOG)"
}

# orv_check_log_lacks LINE [WHY]: the log holds no line LINE.
orv_check_log_lacks() {
    if tr -d '\r' <"$LOG" | grep -xF -- "$1" >/dev/null; then
        fail "the log has the line '$1'${2:+: $2} (log: $LOG)"
    fi
}

# orv_sim OUT ARGS...: runs this build's orvane-sim (or the program in SIM) with ARGS; its
# console lines go to OUT without CRs; sets RC.
orv_sim() {
    local out=$1
    shift
    local prog=${SIM:-$BUILD/orvane-sim$EXE}
    [ -f "$prog" ] || fail "no $prog"
    orv_exec 120 "$prog" "$@" 2>"$out.err" | tr -d '\r' >"$out"
    RC=${PIPESTATUS[0]}
    [ "$RC" -ne 124 ] && [ "$RC" -ne 137 ] || fail "$prog did not end within 120 s; output: $(tail -n 5 "$out")"
}

# orv_check_exit OUT CODE: the console's last line is "[exit] CODE" and so is the exit code.
orv_check_exit() {
    local last
    last=$(awk 'NF { l = $0 } END { print l }' "$1")
    [ "$RC" = "$2" ] || fail "exit code $RC, expected $2; last lines: $(tail -n 5 "$1"; cat "$1.err")"
    [ "$last" = "[exit] $2" ] || fail "last console line is '$last', expected '[exit] $2'"
}

# orv_check_line OUT LINE: OUT holds LINE as a whole line.
orv_check_line() {
    grep -qxF -- "$2" "$1" || fail "no line '$2' in the output: $(cat "$1")"
}

# --- windows on the virtual display (Windows builds)

# orv_start PROGRAM ARGS...: starts a Windows program in the background; sets PID.
orv_start() {
    [ -n "$WINE" ] || fail "window checks need a Windows build"
    [ -n "${DISPLAY:-}" ] || fail "no DISPLAY for the window checks"
    [ -f "$1" ] || fail "no $1"
    (cd "$WORK" && exec "$WINE" "$@") >"$WORK/program.out" 2>&1 &
    PID=$!
    ORV_PIDS+=("$PID")
}

# orv_wait_exit SECONDS: waits for PID to end; sets RC, fails when it does not end in time.
orv_wait_exit() {
    local i
    for ((i = 0; i < $1 * 10; i++)); do
        if ! kill -0 "$PID" 2>/dev/null; then
            wait "$PID"
            RC=$?
            return 0
        fi
        sleep 0.1
    done
    fail "the program did not end within $1 s"
}

# orv_wait_exit_windowless SECONDS: as orv_wait_exit, and fails when PID shows any window meanwhile.
orv_wait_exit_windowless() {
    local end=$((SECONDS + $1)) shown
    while kill -0 "$PID" 2>/dev/null; do
        shown=$(orv_visible_windows)
        [ -z "$shown" ] || fail "a window appeared: $shown"
        ((SECONDS < end)) || fail "the program did not end within $1 s"
        sleep 0.1
    done
    orv_wait_exit 1
}

# orv_find_window SECONDS REGEX: the id of a visible window of PID whose title matches REGEX
# (xdotool matches without case; callers compare the exact title).
orv_find_window() {
    local wid
    wid=$(timeout "$1" xdotool search --sync --all --onlyvisible --pid "$PID" --name "$2" 2>/dev/null | head -n 1)
    echo "$wid"
    [ -n "$wid" ]
}

# orv_visible_windows: "ID TITLE" of every visible window of PID.
orv_visible_windows() {
    local w
    for w in $(xdotool search --all --onlyvisible --pid "$PID" --name '.*' 2>/dev/null); do
        echo "$w $(xdotool getwindowname "$w" 2>/dev/null)"
    done
}

# orv_window_exists WID
orv_window_exists() {
    xdotool getwindowname "$1" >/dev/null 2>&1
}

# orv_answer_box WID: presses Return in the message box (it has the focus when it opens)
# and waits for it to go.
orv_answer_box() {
    local i try
    for try in 1 2; do
        # Without a window manager nothing else moves the focus; give it once more if needed.
        [ $try = 2 ] && xdotool windowfocus "$1" 2>/dev/null
        xdotool key Return 2>/dev/null
        for ((i = 0; i < 50; i++)); do
            orv_window_exists "$1" || return 0
            sleep 0.1
        done
    done
    fail "the box $1 ($(xdotool getwindowname "$1" 2>/dev/null)) did not close on Return"
}

# orv_screenshot FILE: the whole virtual screen as PNG.
orv_screenshot() {
    xwd -root -silent | /usr/bin/convert xwd:- "png:$1" || fail "screenshot to $1 failed"
}

# orv_pixels FILE COMMAND ARGS...: tests/programs/lib/pixels.pl's answer in OUT; its failure fails
# the check (so it is not called in a command substitution).
orv_pixels() {
    OUT=$(perl "$ORV_SOURCE_DIR/tests/programs/lib/pixels.pl" "$@") && [ -n "$OUT" ] || fail "pixels.pl $*: failed"
}

# orv_click_update PNG: a screenshot kept as PNG, the main window's client origin found in it by
# the banner's first colour (only its left column has it), then a click on Update (73 x 33 at
# (368, 150) of the client area at 96 DPI).
orv_click_update() {
    orv_screenshot "$1"
    /usr/bin/convert "$1" "ppm:$WORK/shot.ppm" || fail "cannot convert $1"
    local ox oy
    orv_pixels "$WORK/shot.ppm" find 10,30,90
    read -r ox oy <<<"$OUT"
    [ "$ox" != none ] || fail "no banner in the screenshot $1"
    xdotool mousemove $((ox + 404)) $((oy + 166)) click 1 2>/dev/null || fail "xdotool cannot click"
}

# orv_machine FILE: a machine file of the repository as the program under test names it (a
# Windows path under Wine); fails when it is missing.
orv_machine() {
    [ -f "$1" ] || fail "no machine file $1"
    if [ -n "$WINE" ]; then orv_winpath "$1"; else echo "$1"; fi
}

# orv_check_lines OUT PATTERN EXPECTED: the lines of OUT that match the extended regular
# expression PATTERN are EXPECTED (one per line), in that order.
orv_check_lines() {
    local got
    got=$(grep -E -- "$2" "$1")
    [ "$got" = "$3" ] || fail "lines /$2/ of $1 differ; expected:
$3
got:
$got"
}

# The console's drive-list lines (for orv_check_lines): the count, then one line per item.
ORV_ITEMS='^\[item(s\] cboDrives:|\] )'

# orv_run NAME MANIFEST_TEXT [ARGS...]: packs orvane-sim with the manifest (empty text: the
# program as built; "-": the program last packed, SIM) and runs it fast with ARGS. Sets NAME,
# SIM, OUT (its console, in WORK) and LOG (its debug log, fresh); the caller checks RC.
orv_run() {
    NAME=$1
    if [ "$2" = - ]; then
        :
    elif [ -z "$2" ]; then
        SIM=$BUILD/orvane-sim$EXE
    else
        printf '%s\n' "$2" >"$WORK/$NAME.json" || fail "cannot write $NAME.json"
        SIM=$WORK/orvane-sim-$NAME$EXE
        orv_pack "$WORK/$NAME.json" "$BUILD/orvane-sim$EXE" "$SIM"
    fi
    shift 2
    orv_fresh_log
    OUT=$WORK/$NAME.txt
    orv_sim "$OUT" --speed 1000 "$@"
}

# --- what a program asks of Wine (relay trace), message boxes

# orv_relay_include FUNCTIONS: Wine's relay trace (WINEDEBUG=-all,+relay) of the programs started
# after this covers only FUNCTIONS ("dll.Function;..."); it goes to their standard error.
orv_relay_include() {
    orv_exec 60 reg.exe add 'HKCU\Software\Wine\Debug' /v RelayInclude /d "$1" /f >/dev/null 2>&1 ||
        fail "cannot set Wine's relay list to $1"
}

# orv_trace_boxes PROGRAM ARGS...: orv_start with the relay trace limited to MessageBoxW, so
# $WORK/program.out records every box the program asks for, shown or not (orv_box_calls).
orv_trace_boxes() {
    orv_relay_include user32.MessageBoxW
    WINEDEBUG=-all,+relay orv_start "$@"
}

# orv_box_calls: one line "FLAGS|CAPTION|TEXT" per MessageBoxW call in $WORK/program.out; FLAGS
# in hex, the texts as Wine's trace writes them (a line feed as \n).
orv_box_calls() {
    local hex='[0-9a-f]*'
    sed -n "s/^$hex:Call user32\.MessageBoxW($hex,$hex L\"\(.*\)\",$hex L\"\(.*\)\",\($hex\)) ret=$hex\r\{0,1\}\$/\3|\2|\1/p" \
        "$WORK/program.out"
}

# orv_probe_box CAPTION OUT: what the visible box captioned CAPTION shows (tests/programs/lib/
# box_probe.cpp: its icon, buttons and text) into OUT.
orv_probe_box() {
    local probe=$BUILD/box_probe.exe
    [ -f "$probe" ] || fail "no $probe"
    orv_exec 60 "$probe" "$1" >"$2" 2>"$2.err" || fail "box_probe found no box captioned '$1': $(cat "$2.err")"
}
