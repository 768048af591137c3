#!/usr/bin/env bash
# The tools' own options: --version prints one line (the name and the project's version, read here
# from CMakeLists.txt), --help and -h print the usage on stdout with exit 0, and a usage error goes
# to stderr alone with the usage exit code: 2 for orvane-pack and orvane-simtag, 64 for the
# simulators, whose other exit codes are the program's own (2 among them).
. "$(dirname "$0")/lib/common.sh"
orv_init "$@"

version=$(sed -n 's/^project(Orvane VERSION \([0-9.]*\) .*/\1/p' "$ORV_SOURCE_DIR/CMakeLists.txt")
[ -n "$version" ] || fail "no project version in CMakeLists.txt"

# run NAME ARGS...: sets RC, OUT and ERR (carriage returns dropped).
run() {
    local prog=$BUILD/$1$EXE
    shift
    [ -f "$prog" ] || fail "no $prog"
    orv_exec 60 "$prog" "$@" >"$WORK/out.txt" 2>"$WORK/err.txt"
    RC=$?
    OUT=$(tr -d '\r' <"$WORK/out.txt")
    ERR=$(tr -d '\r' <"$WORK/err.txt")
}

# expect NAME CODE STDOUT_START STDERR_START ARGS...: an empty start means the stream stays empty.
expect() {
    local name=$1 code=$2 out=$3 err=$4
    shift 4
    run "$name" "$@"
    local what="$name $*"
    [ "$RC" = "$code" ] || fail "$what: exit code $RC, expected $code; stderr: $ERR"
    if [ -z "$out" ]; then
        [ -z "$OUT" ] || fail "$what: stdout should be empty, is: $OUT"
    else
        [[ $OUT == "$out"* ]] || fail "$what: stdout is '$OUT', expected it to start with '$out'"
    fi
    if [ -z "$err" ]; then
        [ -z "$ERR" ] || fail "$what: stderr should be empty, is: $ERR"
    else
        [[ $ERR == "$err"* ]] || fail "$what: stderr is '$ERR', expected it to start with '$err'"
    fi
}

tools=(orvane-pack orvane-sim orvane-simtag)
[ -f "$BUILD/orvane-simwin$EXE" ] && tools+=(orvane-simwin)
for tool in "${tools[@]}"; do
    expect "$tool" 0 "$tool $version" "" --version
    [ "$OUT" = "$tool $version" ] || fail "$tool --version: '$OUT', expected the one line '$tool $version'"
    expect "$tool" 0 "usage: $tool " "" --help
    expect "$tool" 0 "usage: $tool " "" -h
done

expect orvane-pack 2 "" "orvane-pack: no command given" 
expect orvane-pack 2 "" "orvane-pack: unknown command \"--bogus\"" --bogus
expect orvane-pack 2 "" "orvane-pack: build needs --manifest, --base and --out" build --out x
expect orvane-simtag 2 "" "orvane-simtag: too few arguments" image.bin
expect orvane-simtag 2 "" "orvane-simtag: too many arguments" a b c d e
expect orvane-simtag 2 "" "orvane-simtag: OFFSET must be a number" image.bin 1.0 DEF 6x
expect orvane-sim 64 "" "orvane-sim: unknown option --bogus" --bogus
expect orvane-sim 64 "" "orvane-sim: --speed needs a value" --speed
# The usage follows a usage error, on stderr.
run orvane-pack --bogus
[[ $ERR == *"usage: orvane-pack "* ]] || fail "orvane-pack --bogus: no usage on stderr: $ERR"
echo "PASS: $CHECK"
