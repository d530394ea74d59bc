#!/bin/sh
# qvd_cli_test.sh QVD: the decoder's exit status and its one-line errors,
# through the command line on real files.
set -u
qvd=$1
corpus=$(cd "$(dirname "$0")" && pwd)/corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# expect STATUS STDERR_LINES ARGS...: runs qvd, checks status and stderr.
expect() {
  want=$1 lines=$2
  shift 2
  "$qvd" "$@" >"$work/out" 2>"$work/err"
  got=$?
  [ "$got" = "$want" ] || fail "qvd $*: exit $got, expected $want"
  n=$(wc -l <"$work/err")
  [ "$n" = "$lines" ] || fail "qvd $*: $n lines on stderr, expected $lines: $(cat "$work/err")"
}

expect 0 0 "$corpus/x86.qvd"
grep -q '0xC0000005 EXCEPTION_ACCESS_VIOLATION' "$work/out" || fail "text output lacks the code"
expect 0 0 --json "$corpus/x64.qvd"
/usr/bin/python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert d["layout"]=="x64" and d["exception"]["code"]=="0xC0000005"' \
  "$work/out" || fail "--json output is not the expected JSON"

head -c 120 "$corpus/x86.qvd" >"$work/cut.qvd"
expect 1 1 "$work/cut.qvd"
grep -q 'truncated record 0xC001 at offset 108' "$work/err" || fail "cut file: $(cat "$work/err")"
printf 'MZ\220\0' >"$work/other.qvd"
expect 1 1 --json "$work/other.qvd"
expect 2 1 "$work/missing.qvd"
expect 2 1
expect 2 1 --bogus "$corpus/x86.qvd"

[ "$failures" = 0 ] && echo "qvd command line: all checks passed"
[ "$failures" = 0 ]
