# Helpers of the checks of "/RESULT:" documents; not a check itself. Needs common.sh first.

# The version the program must report: the project's, from the top CMakeLists.txt.
orv_project_version() {
    sed -n 's/^project(Orvane VERSION \([0-9.]*\).*/\1/p' "$ORV_SOURCE_DIR/CMakeLists.txt"
}

# orv_result_field FILE EXPR: a Perl expression over the decoded document $j; undef prints as
# "null". Fails when FILE is not a JSON document.
orv_result_field() {
    perl -MJSON::PP -e '
        open my $f, "<", $ARGV[0] or exit 2;
        my $j = JSON::PP->new->decode(do { local $/; <$f> });
        my $v = eval $ARGV[1];
        die $@ if $@;
        print defined $v ? $v : "null";
    ' "$1" "$2" 2>"$WORK/field.err" || fail "$1 is not a result document ($(cat "$WORK/field.err")): $(head -c 400 "$1")"
}

# orv_result_expect FILE EXPR VALUE
orv_result_expect() {
    local got
    got=$(orv_result_field "$1" "$2") || exit 1
    [ "$got" = "$3" ] || fail "$2 in $1 is '$got', expected '$3'"
}
