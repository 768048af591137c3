#!/usr/bin/env bash
# orvane-sim on a machine whose user is not an administrator: the access-denied box and exit
# code 1 (the package accepts every drive, so the scan that follows leaves the code alone).
. "$(dirname "$0")/lib/common.sh"
orv_init "$@"

orv_manifest_one_slot "$WORK/manifest.json"
SIM=$WORK/orvane-sim-fw$EXE
orv_pack "$WORK/manifest.json" "$BUILD/orvane-sim$EXE" "$SIM"
# Fields left out keep the built-in machine's values.
printf '{ "system": { "admin": "not_member" } }\n' >"$WORK/machine.json"
orv_fresh_log

orv_sim "$WORK/out.txt" --machine machine.json
grep -qxF '[box] caption="Error ..." text="Access denied ! You must have administrator privilege to flash SSD." buttons=OK -> OK' \
    "$WORK/out.txt" || fail "no access-denied box captioned 'Error ...'; output: $(cat "$WORK/out.txt")"
orv_check_exit "$WORK/out.txt" 1
orv_check_last_log_line "EXIT_ERROR: 0x1"
echo "PASS: $CHECK"
