# shellcheck shell=bash disable=SC2034  # the variables are for the tests that source this file
# The frame the tool tests share. A test sources it with its tool's name and its own arguments,
#   . "$(dirname "$0")/lib.sh" qvrarc "$@"
# and ends with `finish` (exit 0, or 1 when a check failed) or `skip REASON` (exit 77). Sourcing
# checks the build folder argument, sets $tool to the built program and $tests_dir to tests/, and
# moves into a private work folder that is removed on exit.
#
# Under pipefail nothing here pipes into `grep -q` or `head`: they leave at their first match or
# line, the writer dies of SIGPIPE, and the pipeline fails whenever the machine is busy. Write to a
# file first, then read the file.
set -euo pipefail

tool_name=${1:?lib.sh needs the name of the tool under test}
build=${2:?usage: $(basename "$0") BUILD_DIR}
tests_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "$build" && pwd)
tool=$build/tools/$tool_name${QVR_TOOL_SUFFIX:-}
if [ ! -x "$tool" ] && [ ! -f "$tool" ]; then
  echo "FAIL: $tool_name not found at $tool" >&2
  exit 1
fi
work=$(mktemp -d)
launcher=
trap 'rm -rf "$work" ${launcher:+"$launcher"}' EXIT
cd "$work"
# A program built for another system runs through $QVR_TOOL_RUNNER (Wine for
# the Windows build): $tool becomes a launcher, so the tests call it as usual.
if [ -n "${QVR_TOOL_RUNNER:-}" ]; then
  launcher=$(mktemp -d)
  printf '#!/bin/sh\nexec %s "%s" "$@"\n' "$QVR_TOOL_RUNNER" "$tool" >"$launcher/$tool_name"
  chmod +x "$launcher/$tool_name"
  tool=$launcher/$tool_name
fi
umask 022

# What the system says of a write past the file-size limit (ulimit -f). Wine turns it into other
# errors, so there any reason is taken.
too_large='File too large'
[ -z "${QVR_TOOL_RUNNER:-}" ] || too_large='.*'

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# ok DESCRIPTION CMD...: the command must succeed; its output is kept in out.txt / err.txt.
# Windows console programs end their lines with "\r\n": under a runner both files lose the "\r".
plain_lines() {
  [ -n "${QVR_TOOL_RUNNER:-}" ] || return 0
  local f
  for f in "$@"; do
    tr -d '\r' <"$f" >"$f.lf" && mv "$f.lf" "$f"
  done
}
ok() {
  local what=$1 rc=0; shift
  "$@" >out.txt 2>err.txt || rc=$?
  plain_lines out.txt err.txt
  [ "$rc" = 0 ] || fail "$what: '$*' exited $rc ($(head -c 300 err.txt))"
}
# refused DESCRIPTION STATUS PATTERN CMD...: exit status STATUS and PATTERN on stderr.
refused() {
  local what=$1 want=$2 pattern=$3 rc=0; shift 3
  "$@" >out.txt 2>err.txt || rc=$?
  plain_lines out.txt err.txt
  [ "$rc" = "$want" ] || fail "$what: '$*' exited $rc, expected $want"
  grep -q -- "$pattern" err.txt || fail "$what: no '$pattern' in: $(head -c 300 err.txt)"
}
has() {  # DESCRIPTION FILE PATTERN: FILE has a line matching PATTERN
  if [ ! -e "$2" ]; then fail "$1: $2 was not written"; return; fi
  grep -q -- "$3" "$2" || fail "$1: no '$3' in $(head -c 400 "$2")"
}
lacks() {  # DESCRIPTION FILE PATTERN: FILE has no line matching PATTERN
  if grep -q -- "$3" "$2"; then fail "$1: unexpected '$3'"; fi
}
same() {  # DESCRIPTION EXPECTED ACTUAL: the two files hold the same bytes
  cmp -s "$2" "$3" || fail "$1: $3 differs from $2"
}
no_temp() {  # DESCRIPTION FILE: no temporary file of an output written through one is left
  if compgen -G "$2.tmp-*" >/dev/null; then fail "$1: temporary file $(compgen -G "$2.tmp-*") left"; fi
}
absent() {  # DESCRIPTION FILE: FILE must not exist, nor a temporary file next to it
  [ ! -e "$2" ] || fail "$1: $2 was left behind"
  no_temp "$1" "$2"
}
size() { { wc -c <"$1"; } 2>/dev/null || echo none; }
line() { { sed -n "$2p" "$1" | tr -d '\r'; } 2>/dev/null; }  # FILE N: line N without "\r"

# Ends the test: exit 1 after a failed check, else 0.
finish() {
  if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "$tool_name: all checks passed"
  exit 0
}
# skip REASON: ends the test as skipped (77), for the checks that cannot run here. A check that
# already failed still fails the test.
skip() {
  if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "SKIP: $*"
  exit 77
}
