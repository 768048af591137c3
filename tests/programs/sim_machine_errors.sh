#!/usr/bin/env bash
# orvane-sim refusing a machine file: the message names the file once, then the field and the
# problem, and the run ends with the usage exit code before any window.
. "$(dirname "$0")/lib/common.sh"
orv_init "$@"

mkdir -p "$WORK/folder.json"
printf '{"system": {"version": {"dwMajorVersion": 1e400}}}' >"$WORK/overflow.json"
printf '{"system": {"admin": "yes"}}' >"$WORK/admin.json"

# expect TEXT ARGS...: exit 64, nothing on stdout, and one line on stderr that starts with TEXT.
expect() {
    local want=$1
    shift
    orv_sim "$WORK/out.txt" "$@"
    [ "$RC" = 64 ] || fail "$*: exit code $RC, expected 64; stderr: $(cat "$WORK/out.txt.err")"
    [ ! -s "$WORK/out.txt" ] || fail "$*: the program ran: $(head -n 3 "$WORK/out.txt")"
    local got
    got=$(tr -d '\r' <"$WORK/out.txt.err")
    [[ $got == "$want"* && $got != *$'\n'* ]] || fail "$*: stderr is '$got', expected '$want'"
}

expect "orvane-sim: machine file folder.json: is a folder, not a file" --machine folder.json
expect "orvane-sim: machine file overflow.json: system.version.dwMajorVersion: the number 1e400 is out of range" \
    --machine overflow.json
expect 'orvane-sim: machine file admin.json: system.admin: expected one of "member"' --machine admin.json
echo "PASS: $CHECK"
