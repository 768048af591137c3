# Configuring and building the CMake folders: one set of flags for every script, so that the demo,
# the release build and the test run share their objects instead of rebuilding each other's.

# Release form: optimised, no debug information (a third of the compile time; nothing reads it).
ORV_RELEASE_FLAGS=(-DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG"
                   "-DCMAKE_C_FLAGS_RELEASE=-O2 -DNDEBUG")
ORV_JOBS=${ORV_JOBS:-2}

# orv_configure DIR TOOLCHAIN LOG [CMAKE ARGUMENTS...]: TOOLCHAIN empty for a native folder.
# Prints the end of LOG and fails when CMake fails.
orv_configure() {
    local dir=$1 toolchain=$2 log=$3
    shift 3
    local cfg=(-S . -B "$dir" -G Ninja)
    [ -n "$toolchain" ] && cfg+=("-DCMAKE_TOOLCHAIN_FILE=$PWD/$toolchain")
    if ! cmake "${cfg[@]}" "$@" >"$log" 2>&1; then
        echo "---- last lines of $log"
        tail -n 40 "$log"
        echo "----"
        return 1
    fi
}

# orv_build_progress: Ninja's "[n/m] ..." lines on its standard input, shown as they come: on a
# terminal one line that rewrites itself, otherwise a line at each tenth of the way.
orv_build_progress() {
    local tty=0 width=${COLUMNS:-100} line n m pct last=-1 shown=0
    [ -t 1 ] && tty=1
    while IFS= read -r line; do
        [[ $line =~ ^\[([0-9]+)/([0-9]+)\] ]] || continue
        n=${BASH_REMATCH[1]} m=${BASH_REMATCH[2]}
        if ((tty)); then
            line="   $line"
            printf '\r%-*s' $((width - 1)) "${line:0:width-1}"
            shown=1
        else
            pct=$((m > 0 ? n * 100 / m : 100))
            if ((pct / 10 != last || n == m)); then printf '   [%d/%d] %d%%\n' "$n" "$m" "$pct"; fi
            last=$((pct / 10))
        fi
    done
    ((shown)) && printf '\r%-*s\r' $((width - 1)) ""
    return 0
}

# orv_build DIR LOG [TARGET...]: builds the targets (all without any), the whole output in LOG,
# the progress on standard output. ORV_KEEP_GOING=1 goes on past a failed command. On failure
# prints the failed commands with the compiler's messages.
orv_build() {
    local dir=$1 log=$2
    shift 2
    local args=(--build "$dir" -j "$ORV_JOBS")
    (($#)) && args+=(--target "$@")
    [ "${ORV_KEEP_GOING:-0}" = 1 ] && args+=(-- -k 0)
    cmake "${args[@]}" 2>&1 | tee "$log" | orv_build_progress
    local rc=${PIPESTATUS[0]}
    if ((rc != 0)); then
        echo "---- build errors ($log)"
        awk '/^FAILED: /{n=40} n>0{print; n--}' "$log" | head -n 200
        echo "----"
    fi
    return "$rc"
}

# orv_describe FILE...: path, size and SHA-256 of each file, one line each.
orv_describe() {
    local f
    for f in "$@"; do
        printf '%-34s %10d bytes  sha256 %s\n' "$f" "$(stat -c %s "$f")" "$(sha256sum "$f" | cut -d' ' -f1)"
    done
}
