#!/usr/bin/env bash
# End-to-end test of the qvrlang language compiler; $1 is the build folder. Build, exact file
# layout, dump, rebuild byte-identical, refusal of bad sources and files, and outputs that a failed
# write leaves as they were.
set -euo pipefail
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh" qvrlang "$@"

hex() { od -An -tx1 -v "$1" | tr -d ' \n'; }

# ---- command line ---------------------------------------------------------------------------
ok "--help" "$tool" --help
has "--help" out.txt '\\xHH'
has "--help" out.txt "^  -q "
ok "command help" "$tool" build --help
has "command help" out.txt "usage: qvrlang build SOURCE -o OUTPUT"
ok "help dump" "$tool" help dump
has "help dump" out.txt "usage: qvrlang dump FILE"
ok "--version" "$tool" --version
has "--version" out.txt "^qvrlang (QVR3d [0-9]"
refused "no arguments" 2 "missing command" "$tool"
refused "unknown command" 2 "unknown command 'frobnicate'" "$tool" frobnicate
refused "unknown global option" 2 "unknown option '--fast'" "$tool" --fast build x.txt -o x.lng
refused "unknown option" 2 "unknown option '--zip'" "$tool" build x.txt -o x.lng --zip
refused "build without -o" 2 "expects a SOURCE and -o OUTPUT" "$tool" build x.txt
refused "-o without value" 2 "-o needs a value" "$tool" build x.txt -o
refused "two sources" 2 "more than one source" "$tool" build x.txt y.txt -o x.lng
refused "dump without file" 2 "expects a FILE" "$tool" dump
refused "--name for dump" 2 "unknown option '--name'" "$tool" dump x.lng --name X
absent "usage errors write nothing" x.lng

# ---- build, layout, dump, rebuild -------------------------------------------------------------
# A source with comments, gaps, escapes, an empty string, CRLF lines and numbers out of order.
printf '# Menu\n@name English\n\n0 New game\n  # indented comment\n3\tTwo\\nlines\\ttab \\\\ back\r\n2\n7 \\sspaced\\s\n5 caf\xc3\xa9 \\x01\\x00z\n' >en.txt
ok "build" "$tool" build en.txt -o en.lng
[ ! -s err.txt ] || fail "build printed: $(cat err.txt)"
[ ! -s out.txt ] || fail "build printed: $(cat out.txt)"

# Layout: "LanG", 0, N=8, "English\0", A=8, B=30, C=46, D, then the table.
expected="4c616e470008456e676c69736800"          # magic, unused, N, name
expected+="08000000""1e000000""2e000000""32000000"  # A=8 B=30 C=46 D=50
expected+="0900""0000""0100""1500""0000""0a00""0000""0900"  # lengths 0..7
expected+=$(printf 'New game\0\0Two\nlines\ttab \\ back\0caf\xc3\xa9 \x01\x00z\0 spaced \0' | od -An -tx1 -v | tr -d ' \n')
[ "$(hex en.lng)" = "$expected" ] || fail "layout: $(hex en.lng)"

ok "dump" "$tool" dump en.lng
cp out.txt dump.txt
has "dump name" dump.txt '^@name English$'
has "dump escapes" dump.txt '^3 Two\\nlines\\ttab \\\\ back$'
has "dump spaces" dump.txt '^7 \\sspaced\\s$'
has "dump empty string" dump.txt '^2$'
lacks "dump shows a missing string" dump.txt '^1'
ok "rebuild" "$tool" build dump.txt -o again.lng
same "rebuild" en.lng again.lng
ok "dump -o" "$tool" dump again.lng -o dump2.txt
same "second dump" dump.txt dump2.txt
[ ! -s out.txt ] || fail "dump -o also printed to standard output"

# --name overrides @name; a source without any name is refused and writes nothing.
ok "--name" "$tool" build en.txt -o fr.lng --name "Fran$(printf '\xe7')ais"
[ "$(od -An -c -j5 -N1 fr.lng | tr -d ' ')" = '\t' ] || fail "N for --name"
printf '0 x\n' >noname.txt
refused "no name" 1 "noname.txt: no language name" "$tool" build noname.txt -o x.lng
absent "no name" x.lng
ok "--name alone" "$tool" build noname.txt -o x.lng --name X
# -v names what was written; the output of a normal run stays quiet (checked above).
ok "-v build" "$tool" -v build en.txt -o en-v.lng
has "-v build" err.txt "en-v.lng: 5 strings"
same "-v build" en.lng en-v.lng
# Outputs that are not regular files are written to directly, as a check of a source wants.
if [ -n "${QVR_TOOL_RUNNER:-}" ]; then
  ok "build to NUL" "$tool" build en.txt -o NUL
else
  ok "build to /dev/null" "$tool" build en.txt -o /dev/null
fi

# ---- bad sources: exit 1 with a message naming the line; an existing output stays -------------
cp en.lng bad.lng
bad() {  # LABEL LINES...: the lines are written verbatim, one argument each
  local label=$1
  shift
  printf '%s\n' "$@" >bad.txt
  refused "$label" 1 'bad.txt:[0-9]*:' "$tool" build bad.txt -o bad.lng
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
same "refused sources keep the old output" en.lng bad.lng
no_temp "refused sources" bad.lng
printf '@name E\n0 %s\n' "${long:1}" >max.txt
ok "65534-byte text" "$tool" build max.txt -o max.lng
mkdir folder
refused "source is a folder" 1 "folder: is a folder" "$tool" build folder -o f.lng
refused "missing source" 1 "missing.txt: cannot open" "$tool" build missing.txt -o m.lng
refused "output is a folder" 1 "folder: is a folder" "$tool" build en.txt -o folder

# ---- bad language files for dump ------------------------------------------------------------
printf 'LANG\0\4abc\0' >magic.lng
refused "dump of a wrong magic" 1 "magic.lng: not a language file" "$tool" dump magic.lng
head -c 30 en.lng >cut.lng
refused "dump of a cut file" 1 "cut.lng: " "$tool" dump cut.lng
refused "dump of a missing file" 1 "missing.lng: cannot open" "$tool" dump missing.lng
# One string of two bytes without its terminator: dumped without the last byte, with a warning
# that -q silences.
printf 'LanG\0\2E\0\1\0\0\0\30\0\0\0\32\0\0\0\2\0\0\0\2\0ab' >noterm.lng
ok "dump without terminator" "$tool" dump noterm.lng
has "dump without terminator" err.txt "noterm.lng: string 0 has no terminator"
has "dump without terminator" out.txt '^0 a$'
ok "-q dump" "$tool" -q dump noterm.lng
[ ! -s err.txt ] || fail "-q still warns: $(cat err.txt)"

# ---- a failing write leaves nothing behind, and an existing output untouched -----------------
printf -v text '%2000s' ''
{
  echo '@name Big'
  for i in $(seq 0 39); do echo "$i ${text// /x}"; done
} >big.txt
ok "big build" "$tool" build big.txt -o big.lng
ok "big dump" "$tool" dump big.lng -o big-dump.txt
cp en.lng keep.lng
cp dump.txt keep.txt
limited() { bash -c 'ulimit -f 8; trap "" XFSZ; exec "$@"' limited "$@"; }
refused "full disk, build" 1 "keep.lng: cannot write the language file: $too_large" \
  limited "$tool" build big.txt -o keep.lng
same "full disk, build" en.lng keep.lng
no_temp "full disk, build" keep.lng
refused "full disk, new build" 1 "new.lng: cannot write" limited "$tool" build big.txt -o new.lng
absent "full disk, new build" new.lng
refused "full disk, dump" 1 "keep.txt: cannot write the source text: $too_large" \
  limited "$tool" dump big.lng -o keep.txt
same "full disk, dump" dump.txt keep.txt
no_temp "full disk, dump" keep.txt
refused "full disk, new dump" 1 "new.txt: cannot write" limited "$tool" dump big.lng -o new.txt
absent "full disk, new dump" new.txt

finish
