#!/usr/bin/env bash
# End-to-end test of the qvrlang language compiler: build, exact file layout,
# dump, rebuild byte-identical, and refusal of bad sources and files.
# Usage: qvrlang_test.sh BUILD_DIR
set -u
tool="$1/tools/qvrlang"
[ -x "$tool" ] || { echo "qvrlang not found at $tool"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
hex() { od -An -tx1 -v "$1" | tr -d ' \n'; }

# A source with comments, gaps, escapes, an empty string, CRLF lines and
# numbers out of order.
printf '# Menu\n@name English\n\n0 New game\n  # indented comment\n3\tTwo\\nlines\\ttab \\\\ back\r\n2\n7 \\sspaced\\s\n5 caf\xc3\xa9 \\x01\\x00z\n' > "$work/en.txt"
"$tool" build "$work/en.txt" -o "$work/en.lng" 2> "$work/err" || fail "build failed: $(cat "$work/err")"
[ -s "$work/err" ] && fail "build printed: $(cat "$work/err")"

# Layout: "LanG", 0, N=8, "English\0", A=8, B=30, C=46, D, then the table.
expected="4c616e470008456e676c69736800"          # magic, unused, N, name
expected+="08000000""1e000000""2e000000""32000000"  # A=8 B=30 C=46 D=50
expected+="0900""0000""0100""1500""0000""0a00""0000""0900"  # lengths 0..7
expected+=$(printf 'New game\0\0Two\nlines\ttab \\ back\0caf\xc3\xa9 \x01\x00z\0 spaced \0' | od -An -tx1 -v | tr -d ' \n')
[ "$(hex "$work/en.lng")" = "$expected" ] || fail "layout: $(hex "$work/en.lng")"

"$tool" dump "$work/en.lng" > "$work/dump.txt" 2> "$work/err" || fail "dump failed: $(cat "$work/err")"
grep -qx '@name English' "$work/dump.txt" || fail "dump lacks the name"
grep -qx '3 Two\\nlines\\ttab \\\\ back' "$work/dump.txt" || fail "dump escapes: $(cat "$work/dump.txt")"
grep -qx '7 \\sspaced\\s' "$work/dump.txt" || fail "dump spaces"
grep -qx '2' "$work/dump.txt" || fail "dump empty string"
grep -q '^1' "$work/dump.txt" && fail "dump shows a missing string"
"$tool" build "$work/dump.txt" -o "$work/again.lng" || fail "rebuild failed"
cmp -s "$work/en.lng" "$work/again.lng" || fail "rebuild differs"
"$tool" dump "$work/again.lng" -o "$work/dump2.txt" || fail "dump -o failed"
cmp -s "$work/dump.txt" "$work/dump2.txt" || fail "second dump differs"

# --name overrides @name; a source without any name is refused.
"$tool" build "$work/en.txt" -o "$work/fr.lng" --name "Fran$(printf '\xe7')ais" || fail "--name"
[ "$(od -An -c -j5 -N1 "$work/fr.lng" | tr -d ' ')" = '\t' ] || fail "N for --name"
printf '0 x\n' > "$work/noname.txt"
"$tool" build "$work/noname.txt" -o "$work/x.lng" 2> /dev/null && fail "no name accepted"
[ -e "$work/x.lng" ] && fail "output written for a refused source"
"$tool" build "$work/noname.txt" -o "$work/x.lng" --name X || fail "--name alone"

# Bad sources: each exits 1 with a message naming the line. The lines are
# written verbatim, one argument each.
bad() {  # label, source lines...
  local label=$1
  shift
  printf '%s\n' "$@" > "$work/bad.txt"
  "$tool" build "$work/bad.txt" -o "$work/bad.lng" 2> "$work/err"
  local rc=$?
  [ $rc -eq 1 ] || fail "$label: exit $rc"
  grep -q 'bad.txt:[0-9]*:' "$work/err" || fail "$label: message '$(cat "$work/err")'"
}
bad duplicate '@name E' '1 a' '1 b'
bad escape '@name E' '1 a\q'
bad trailing-backslash '@name E' '1 a\'
bad short-hex '@name E' '1 \x4'
bad no-blank '@name E' '12abc'
bad word '@name E' 'hello'
bad number '@name E' '16777216 x'
bad directive '@title E'
bad twice '@name E' '@name F'
bad zero-name '@name E\x00'
long=$(head -c 65535 /dev/zero | tr '\0' a)
bad too-long '@name E' "0 $long"
printf '@name E\n0 %s\n' "${long:1}" > "$work/max.txt"
"$tool" build "$work/max.txt" -o "$work/max.lng" || fail "65534-byte text refused"

# Bad language files for dump.
printf 'LANG\0\4abc\0' > "$work/magic.lng"
"$tool" dump "$work/magic.lng" > /dev/null 2>&1 && fail "dump of a wrong magic"
head -c 30 "$work/en.lng" > "$work/cut.lng"
"$tool" dump "$work/cut.lng" > /dev/null 2>&1 && fail "dump of a cut file"
"$tool" dump "$work/missing.lng" > /dev/null 2>&1 && fail "dump of a missing file"

# Command line.
"$tool" --help | grep -q '\\xHH' || fail "--help lacks the escapes"
"$tool" > /dev/null 2>&1; [ $? -eq 2 ] || fail "no arguments"
"$tool" build "$work/en.txt" 2> /dev/null; [ $? -eq 2 ] || fail "build without -o"
"$tool" frobnicate 2> /dev/null; [ $? -eq 2 ] || fail "unknown command"
"$tool" build "$work/missing.txt" -o "$work/m.lng" 2> /dev/null; [ $? -eq 1 ] || fail "missing source"

if [ $failures -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "qvrlang: all checks passed"
