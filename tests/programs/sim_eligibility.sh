#!/usr/bin/env bash
# Which drives a package may go to, through packed programs on a machine of one model at several
# revisions (tests/device/machines/tolbern_revisions.json): the build's own record, a record
# group left unfilled, an empty record, the DEF text compared in place of the revision, two
# groups, and model case; the list's items, the selected drive's firmware line and the
# eligibility lines of the debug log.
. "$(dirname "$0")/lib/common.sh"
orv_init "$@"

MACHINE=$(orv_machine "$ORV_SOURCE_DIR/tests/device/machines/tolbern_revisions.json") || exit 1
orv_make_image "$WORK/fw1.bin" 4096 11
orv_make_image "$WORK/fw2.bin" 4096 12

# The machine's drives, in the list's order, as "(%c) %2d-%d-%d-%d %s %.8s" shows them.
I_102='(S)  0-0-0-0 TOLBERN TQ-256K7KW 1.02    '
I_ABC='(M)  0-0-1-0 ABC 1.02    '
I_11='(S)  0-1-0-0 TOLBERN TQ-256K7KW 1.1     '
I_110='(S)  0-2-0-0 TOLBERN TQ-256K7KW 1.10    '
I_512='(S)  0-3-0-0 TOLBERN TQ-512K7KW 1.02    '
I_LOW='(S)  0-4-0-0 tolbern tq-256k7kw 1.02    '
# "  DEF%.1s | %40s | %.7s" pads the model to 40 characters.
PAD22='                      '
STORED_RECORD='{"fws": "1.0!", "fwe": "1.0~", "model": "TOLBERN TQ-256K7KW"}'

# run NAME MANIFEST_TEXT [orvane-sim options]: packs and runs on the machine (orv_run).
run() { orv_run "$1" "$2" --machine "$MACHINE" "${@:3}"; }

# items LIST...: the console's drive list, each as "E text" (eligible) or "N text".
items() {
    local want="[items] cboDrives: $(($# / 2))" flag
    while [ $# -gt 0 ]; do
        if [ "$1" = E ]; then flag='eligible    '; else flag='not eligible'; fi
        want+=$'\n'"[item] $flag \"$2\""
        shift 2
    done
    orv_check_lines "$OUT" "$ORV_ITEMS" "$want"
}

# The eligibility block of the log for the drive whose "  DEF..." line is $1: from its
# "ChkConstraint:" line up to the next drive's (or the list's first line).
block() {
    tr -d '\r' <"$LOG" | awk -v def="$1" '
        /^ChkConstraint: / || /^RefreshComboBox: / { if (found) exit; n = 0 }
        { buf[n++] = $0 }
        n == 3 && $0 == def { found = 1; for (k = 0; k < 3; k++) print buf[k]; next }
        found { print }'
}

check_block() {
    local got want
    got=$(block "$1")
    want=$(printf '%s' "$2") # without the trailing line ends, as got
    [ "$got" = "$want" ] || fail "$NAME: the log's eligibility lines for '$1' differ; expected:
$2
got:
$got"
}

# The first lines of a drive's block against the build's record: $1 model, $2 revision.
stored_head() {
    printf '%s' "ChkConstraint: bExisted:1, bUseFWExt:0

  DEF1 | ${PAD22}$1 | $2
  _FC STR:1.0! 1.0~ TOLBERN TQ-256K7KW 

   MODEL:$1
  CMODEL:TOLBERN TQ-256K7KW"
}

# Records 2 to 8 of group 1 as the build leaves them, against a drive of model $1.
placeholders() {
    local r out=""
    for r in 2 3 4 5 6 7 8; do
        out+=$'\n'"  _FC STR:#FLSH1$r # # "$'\n\n'"   MODEL:$1"$'\n'"  CMODEL:#"$'\n'"  iPassLevel:0 mis-match"$'\n'
    done
    printf '%s' "$out"
}

# --- The build's own package: only drives of its record's model from "1.0!" to "1.0~", and
# only those listed (bListMatchedOnly).
run built ""
orv_check_exit "$OUT" 0
items E "$I_102"
orv_check_line "$OUT" "[firmware line] It will be updated from 1.02     To 1.02"

# --- The same record with every drive listed.
run stored '{"options": {"bListMatchedOnly": false}}'
orv_check_exit "$OUT" 0
items E "$I_102" N "$I_ABC" N "$I_11" N "$I_110" N "$I_512" N "$I_LOW"
# The last eligible item is the one selected.
orv_check_lines "$OUT" '^\[select\] cboDrives' "[select] cboDrives: 0
[select] cboDrives: 0"
orv_check_line "$OUT" "[firmware line] It will be updated from 1.02     To 1.02"
check_block "  DEF1 | ${PAD22}TOLBERN TQ-256K7KW | 1.02" "$(stored_head "TOLBERN TQ-256K7KW" 1.02)
  iPassLevel:1 match

   FWS[1.02]|CFW[1.0!]
  iPassLevel:3 match

   FWE[1.02]|CFW[1.0~]
  iPassLevel:4 match
"
# "1.1" is shorter than the bound: refused without comparing, and so by every placeholder.
check_block "  DEF1 | ${PAD22}TOLBERN TQ-256K7KW | 1.1" "$(stored_head "TOLBERN TQ-256K7KW" 1.1)
  iPassLevel:1 match

   FWS[1.1]|CFW[1.0!]
LEN ERR : FW3 CFWS4 CFWE4 
$(placeholders "TOLBERN TQ-256K7KW")"
# "1.10" passes the lower bound and fails the upper one.
check_block "  DEF1 | ${PAD22}TOLBERN TQ-256K7KW | 1.10" "$(stored_head "TOLBERN TQ-256K7KW" 1.10)
  iPassLevel:1 match

   FWS[1.10]|CFW[1.0!]
  iPassLevel:3 match

   FWE[1.10]|CFW[1.0~]
  iPassLevel:3 mis-match
$(placeholders "TOLBERN TQ-256K7KW")"
# Another model, and the same model in lower case, stop at level 0 on every record.
check_block "  DEF1 | ${PAD22}TOLBERN TQ-512K7KW | 1.02" "$(stored_head "TOLBERN TQ-512K7KW" 1.02)
  iPassLevel:0 mis-match
$(placeholders "TOLBERN TQ-512K7KW")"
check_block "  DEF1 | ${PAD22}tolbern tq-256k7kw | 1.02" "$(stored_head "tolbern tq-256k7kw" 1.02)
  iPassLevel:0 mis-match
$(placeholders "tolbern tq-256k7kw")"

# --- A group whose first record is the build's placeholder: every drive, nothing compared.
run placeholder '{"options": {"bListMatchedOnly": false},
  "slots": [{"image": "fw1.bin", "new_fw": "1.05", "fw_ext": "GT105000", "encipher": false, "records": []}]}'
orv_check_exit "$OUT" 0
items E "$I_102" E "$I_ABC" E "$I_11" E "$I_110" E "$I_512" E "$I_LOW"
orv_check_line "$OUT" "[firmware line] It will be updated from 1.02     To 1.05"
check_block "  DEF1 | ${PAD22}TOLBERN TQ-256K7KW | 1.1" "ChkConstraint: bExisted:1, bUseFWExt:0

  DEF1 | ${PAD22}TOLBERN TQ-256K7KW | 1.1
  _FC STR:#FLSH11 # # 

NO constraint was set, exit check"
[ "$(tr -d '\r' <"$LOG" | grep -cxF 'NO constraint was set, exit check')" = 6 ] ||
    fail "placeholder: not every drive was accepted without a comparison"

# --- An empty record: no model and no bounds accept every drive, level by level.
run empty '{"options": {"bListMatchedOnly": false},
  "slots": [{"image": "fw1.bin", "new_fw": "1.05", "fw_ext": "GT105000", "encipher": false, "records": [{}]}]}'
orv_check_exit "$OUT" 0
items E "$I_102" E "$I_ABC" E "$I_11" E "$I_110" E "$I_512" E "$I_LOW"
check_block "  DEF1 | ${PAD22}TOLBERN TQ-512K7KW | 1.02" "ChkConstraint: bExisted:1, bUseFWExt:0

  DEF1 | ${PAD22}TOLBERN TQ-512K7KW | 1.02
  _FC STR:   

  iPassLevel:1 match

  iPassLevel:3 match

  iPassLevel:4 match
"

# --- bUseFWExt: the DEF text is compared, and its 8th character follows "DEF" in the log. The
# "1.1" drive's DEF is in range, the "1.10" drive's is above it.
run fwext '{"options": {"bListMatchedOnly": false, "bUseFWExt": true},
  "slots": [{"image": "fw1.bin", "new_fw": "1.05", "fw_ext": "GT105000", "encipher": false,
             "records": [{"fws": "GT100000", "fwe": "GT1ZZZZZ", "model": "TOLBERN TQ-256K7KW"}]}]}'
orv_check_exit "$OUT" 0
items E "$I_102" N "$I_ABC" E "$I_11" N "$I_110" N "$I_512" N "$I_LOW"
# The firmware line shows the revision, whatever was compared.
orv_check_line "$OUT" "[firmware line] It will be updated from 1.1      To 1.05"
check_block "  DEFB | ${PAD22}TOLBERN TQ-256K7KW | GT10300" "ChkConstraint: bExisted:1, bUseFWExt:1

  DEFB | ${PAD22}TOLBERN TQ-256K7KW | GT10300
  _FC STR:GT100000 GT1ZZZZZ TOLBERN TQ-256K7KW 

   MODEL:TOLBERN TQ-256K7KW
  CMODEL:TOLBERN TQ-256K7KW
  iPassLevel:1 match

   FWS[GT10300B]|CFW[GT100000]
  iPassLevel:3 match

   FWE[GT10300B]|CFW[GT1ZZZZZ]
  iPassLevel:4 match
"
orv_check_log_has "  DEFA | ${PAD22}TOLBERN TQ-256K7KW | GT10200"
orv_check_log_has "   FWE[GT20000C]|CFW[GT1ZZZZZ]"
orv_check_log_has "  DEFD | ${PAD22}TOLBERN TQ-512K7KW | GT10200"

# --- Two groups: the lowest slot whose group accepts a drive wins; slot 2's drives show slot
# 2's new revision.
run groups "{\"options\": {\"bListMatchedOnly\": false},
  \"slots\": [{\"image\": \"fw1.bin\", \"new_fw\": \"1.05\", \"fw_ext\": \"GT105000\", \"encipher\": false,
              \"records\": [$STORED_RECORD]},
             {\"image\": \"fw2.bin\", \"new_fw\": \"2.05\", \"fw_ext\": \"GT205000\", \"encipher\": false,
              \"records\": [{\"fws\": \"1.00\", \"fwe\": \"1.99\", \"model\": \"TOLBERN TQ-512K7KW\"},
                          {\"fws\": \"1.00\", \"fwe\": \"1.99\", \"model\": \"TOLBERN TQ-256K7KW\"}]}]}" \
    --actions "select:0,select:3"
orv_check_exit "$OUT" 0
items E "$I_102" N "$I_ABC" N "$I_11" E "$I_110" E "$I_512" N "$I_LOW"
# Start-up selects the TQ-512 (slot 2); then the "1.02" drive (slot 1, also in group 2) and
# the "1.10" drive (refused by group 1, taken by group 2). Showing the window lays the line out
# once more.
orv_check_lines "$OUT" '^\[(firmware line|label\] lblFWExt)' "[label] lblFWExt: GT205000
[firmware line] It will be updated from 1.02     To 2.05
[firmware line] It will be updated from 1.02     To 2.05
[label] lblFWExt: GT105000
[firmware line] It will be updated from 1.02     To 1.05
[label] lblFWExt: GT205000
[firmware line] It will be updated from 1.10     To 2.05"
# The "1.10" drive: group 1 refuses it at the upper bound, group 2's second record takes it.
got=$(block "  DEF1 | ${PAD22}TOLBERN TQ-256K7KW | 1.10" | grep -E '^  (_FC STR:[^#]|iPassLevel)')
[ "$got" = "  _FC STR:1.0! 1.0~ TOLBERN TQ-256K7KW 
  iPassLevel:1 match
  iPassLevel:3 match
  iPassLevel:3 mis-match
  iPassLevel:0 mis-match
  iPassLevel:0 mis-match
  iPassLevel:0 mis-match
  iPassLevel:0 mis-match
  iPassLevel:0 mis-match
  iPassLevel:0 mis-match
  iPassLevel:0 mis-match
  _FC STR:1.00 1.99 TOLBERN TQ-512K7KW 
  iPassLevel:0 mis-match
  _FC STR:1.00 1.99 TOLBERN TQ-256K7KW 
  iPassLevel:1 match
  iPassLevel:3 match
  iPassLevel:4 match" ] || fail "groups: the '1.10' drive's levels: $got"
echo "PASS: $CHECK"
