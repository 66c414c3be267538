#!/usr/bin/env bash
# End-to-end test of the qvrarc tool on both archive formats; $1 is the build folder. PAK files
# are also written and read by tests/archive/make_pak.py, which works from the byte layout alone.
set -euo pipefail
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh" qvrarc "$@"
maker=$tests_dir/archive/make_pak.py

# ---- help and usage -------------------------------------------------------------------------
ok "--help" "$tool" --help
has "--help" out.txt "extract ARCHIVE"
ok "command help" "$tool" extract --help
has "command help" out.txt "-C DIR"
refused "no command" 2 "missing command" "$tool"
refused "bad command" 2 "unknown command 'frobnicate'" "$tool" frobnicate x.qvr
refused "bad option" 2 "unknown option '--zip'" "$tool" create --zip x.qvr
refused "list without archive" 2 "usage: qvrarc list" "$tool" list

# ---- the same session on both formats ------------------------------------------------------
mkdir -p src/tree/deeper many
printf 'alpha\n' >src/a.txt
printf 'bravo bravo\n' >src/b.txt
head -c 5000 /dev/urandom >src/big.bin
printf 'one\n' >src/tree/one.txt
printf 'two\n' >src/tree/deeper/two.txt
printf 'a much longer replacement for alpha\n' >src/a2.txt
for i in $(seq 1 60); do printf 'file %d\n' "$i" >"many/m$i.dat"; done

for fmt in qvr pak; do
  arc="$work/test.$fmt"
  ok "$fmt create" "$tool" create "--$fmt" "$arc" src/a.txt src/b.txt
  ok "$fmt info" "$tool" info "$arc"
  if [ $fmt = qvr ]; then has "$fmt info" out.txt "QVR archive"; else has "$fmt info" out.txt "Quake PAK"; fi
  has "$fmt info" out.txt "2 entries"
  refused "$fmt create over existing" 1 "already exists" "$tool" create "--$fmt" "$arc"

  ok "$fmt add --flat" "$tool" add "$arc" --flat src/big.bin src/tree
  ok "$fmt add --as" "$tool" add "$arc" src/a.txt --as renamed.txt
  refused "$fmt add duplicate" 1 "already in" "$tool" add "$arc" src/b.txt
  refused "$fmt add missing" 1 "no such file" "$tool" add "$arc" src/nothere.txt
  ok "$fmt list" "$tool" list "$arc"
  for m in a.txt b.txt big.bin one.txt two.txt renamed.txt; do has "$fmt list" out.txt "| $m "; done
  has "$fmt list" out.txt "Total: 6 files"
  [ ! -s err.txt ] || fail "$fmt list wrote to stderr: $(cat err.txt)"

  # Many files: progress goes to stderr (one line per 1000 files and at the end off a terminal).
  ok "$fmt add many" "$tool" add "$arc" many
  has "$fmt add many" err.txt "adding 60/60"
  ok "$fmt list many" "$tool" list "$arc"
  has "$fmt list many" out.txt "Total: 66 files"

  ok "$fmt rm" "$tool" rm "$arc" b.txt m1.dat m60.dat
  ok "$fmt mv" "$tool" mv "$arc" one.txt uno.txt
  refused "$fmt mv onto existing" 1 "already in" "$tool" mv "$arc" uno.txt two.txt
  ok "$fmt update" "$tool" update "$arc" a.txt src/a2.txt
  ok "$fmt list after edits" "$tool" list "$arc"
  has "$fmt list after edits" out.txt "Total: 63 files"
  has "$fmt list after edits" out.txt "| uno.txt "
  lacks "$fmt list after edits" out.txt "| b.txt "
  lacks "$fmt list after edits" out.txt "| one.txt "

  ok "$fmt extract all" "$tool" extract "$arc" -C "out-$fmt"
  same "$fmt extract a.txt (updated)" src/a2.txt "out-$fmt/a.txt"
  same "$fmt extract big.bin" src/big.bin "out-$fmt/big.bin"
  same "$fmt extract uno.txt" src/tree/one.txt "out-$fmt/uno.txt"
  same "$fmt extract two.txt" src/tree/deeper/two.txt "out-$fmt/two.txt"
  same "$fmt extract renamed.txt" src/a.txt "out-$fmt/renamed.txt"
  same "$fmt extract m30.dat" many/m30.dat "out-$fmt/m30.dat"
  [ ! -e "out-$fmt/b.txt" ] || fail "$fmt: removed member b.txt was extracted"
  [ "$(find "out-$fmt" -type f | wc -l)" = 63 ] || fail "$fmt: extract all wrote $(find "out-$fmt" -type f | wc -l) files"

  ok "$fmt extract one" "$tool" extract "$arc" two.txt -C "one-$fmt/sub"
  same "$fmt extract one" src/tree/deeper/two.txt "one-$fmt/sub/two.txt"
  [ "$(find "one-$fmt" -type f | wc -l)" = 1 ] || fail "$fmt: extract one wrote other files"

  refused "$fmt extract unknown" 1 "no member 'nothere.txt'" "$tool" extract "$arc" nothere.txt -C x
  refused "$fmt rm unknown" 1 "no member 'b.txt'" "$tool" rm "$arc" b.txt
  refused "$fmt mv unknown" 1 "no member" "$tool" mv "$arc" b.txt c.txt
  refused "$fmt update unknown" 1 "no member" "$tool" update "$arc" b.txt src/b.txt
  refused "$fmt update from missing" 1 "no such file" "$tool" update "$arc" a.txt src/gone.txt
  refused "$fmt -C without folder" 2 "-C needs a folder" "$tool" extract "$arc" -C
done

# Names are cut to the format's limit.
ok "long name qvr" "$tool" add test.qvr src/a.txt --as "$(printf 'q%.0s' $(seq 40))"
ok "long name qvr list" "$tool" list test.qvr
has "long name qvr" out.txt "| $(printf 'q%.0s' $(seq 31)) "
lacks "long name qvr" out.txt "$(printf 'q%.0s' $(seq 32))"

# ---- folder trees: members named below the folder given --------------------------------------
mkdir -p game/data/maps game/data/gfx/env game/data/sound game/a game/b
printf 'bsp\n' >game/data/maps/e1m1.bsp
head -c 3000 /dev/urandom >game/data/gfx/title.bmp
printf 'sky\n' >game/data/gfx/env/sky.bmp
: >game/data/sound/empty.wav
printf 'a\n' >game/a/same.txt
printf 'b\n' >game/b/same.txt
deep=game/long/$(printf 'd%.0s' $(seq 50))
mkdir -p "$deep"
printf 'deep\n' >"$deep/file.txt"
for fmt in qvr pak; do
  arc="tree.$fmt"
  ok "$fmt create tree" "$tool" create "--$fmt" "$arc" 'game\data'
  ok "$fmt list tree" "$tool" list "$arc"
  for m in maps/e1m1.bsp gfx/title.bmp gfx/env/sky.bmp sound/empty.wav; do
    has "$fmt list tree" out.txt "| $m "
  done
  has "$fmt list tree" out.txt "Total: 4 files"
  ok "$fmt extract tree" "$tool" extract "$arc" -C "elsewhere\\$fmt"
  diff -r game/data "elsewhere/$fmt" >/dev/null || fail "$fmt: extracted tree differs from game/data"
  ok "$fmt add --as with folders" "$tool" add "$arc" game/a/same.txt --as 'maps\copy.txt'
  ok "$fmt list --as with folders" "$tool" list "$arc"
  has "$fmt list --as with folders" out.txt "| maps/copy.txt "

  # Every refusal names its reason and leaves the archive as it was.
  cp "$arc" before.arc
  refused "$fmt unsafe name" 1 "unsafe member name '../up.txt'" \
    "$tool" add "$arc" game/a/same.txt --as ../up.txt
  refused "$fmt name too long" 1 "member name '$(basename "$deep")/file.txt' is 59 bytes long" \
    "$tool" add "$arc" game/long
  refused "$fmt tree again" 1 "'maps/e1m1.bsp' is already in" "$tool" add "$arc" game/data
  refused "$fmt same name twice" 1 "game/a[/\\]same.txt and game/b[/\\]same.txt would both be stored as 'same.txt'" \
    "$tool" add "$arc" game/a game/b
  refused "$fmt same name twice, flat" 1 "would both be stored as 'sky.bmp'" \
    "$tool" add "$arc" --flat game/data/gfx game/data/gfx/env
  refused "$fmt one path missing" 1 "no such file" "$tool" add "$arc" game/a/same.txt game/nothing
  same "$fmt refusals leave the archive unchanged" before.arc "$arc"
done

# ---- missing and damaged archives ----------------------------------------------------------
refused "list missing" 1 "no such file" "$tool" list nothere.pak
refused "add to missing" 1 "no such file" "$tool" add nothere.qvr src/a.txt
refused "list a text file" 1 "not an archive" "$tool" list src/a.txt
head -c 40 test.pak >cut.pak || fail "test.pak was not written"
refused "list damaged" 1 "damaged" "$tool" list cut.pak

# ---- info names every recognised format ----------------------------------------------------
printf 'BIFFV1  \0\0\0\0' >fmt.biff
printf 'Copyright (c) 1997 Ensemble Studios.\0\0' >fmt.drs
printf 'rass\0\0\0\0' >fmt.rass
printf 'PK\003\004\024\0\0\0' >fmt.zip
printf '\0\0\0\0\0\0' >fmt.sized
ok "info all formats" "$tool" info test.qvr test.pak fmt.biff fmt.sized fmt.drs fmt.rass fmt.zip
has "info qvr" out.txt "test.qvr: QVR archive (format 1"
has "info pak" out.txt "test.pak: Quake PAK archive (format 2"
has "info biff" out.txt "fmt.biff: .*(format 4"
has "info sized" out.txt "fmt.sized: .*(format 5"
has "info ensemble" out.txt "fmt.drs: .*(format 6"
has "info rass" out.txt "fmt.rass: .*(format 7"
has "info zip" out.txt "fmt.zip: ZIP archive (format 8"
refused "info unknown" 1 "not a recognised archive" "$tool" info src/a.txt
refused "info missing" 1 "no such file" "$tool" info nothere.bin
refused "list zip" 1 "cannot be opened" "$tool" list fmt.zip

# ---- PAK files written independently: nested names, unsafe names ---------------------------
python3 "$maker" write gen.pak --expect expect
# Case.TXT and case.txt are one file where letter case is ignored (the Windows build): that
# member is compared there by the library's own tests, not here.
case_pair=()
[ -z "${QVR_TOOL_RUNNER:-}" ] || case_pair=(-x Case.TXT -x case.txt)
ok "independent pak list" "$tool" list gen.pak
has "independent pak list" out.txt "| maps/e1m1.bsp "
has "independent pak list" out.txt "Total: 10 files"
ok "independent pak extract all" "$tool" extract gen.pak -C gen-all
diff -r "${case_pair[@]}" expect/files gen-all >/dev/null || fail "independent pak: extracted tree differs from expected"
ok "independent pak extract nested" "$tool" extract gen.pak "sound/ambience/wind 1.wav" -C gen-one
same "independent pak nested member" "expect/files/sound/ambience/wind 1.wav" "gen-one/sound/ambience/wind 1.wav"

python3 "$maker" write unsafe.pak --layout unsafe
mkdir -p jail/in
refused "unsafe names" 1 "unsafe member name '../escape.txt'" "$tool" extract unsafe.pak -C jail/in
has "unsafe names" err.txt "unsafe member name '/abs.txt'"
has "unsafe names" err.txt "unsafe member name 'sub/../../up.txt'"
[ "$(cat jail/in/good.txt)" = good ] || fail "unsafe names: good.txt not extracted"
[ "$(cat jail/in/ok/inner.txt)" = inner ] || fail "unsafe names: ok/inner.txt not extracted"
[ ! -e jail/escape.txt ] && [ ! -e up.txt ] && [ ! -e jail/up.txt ] || fail "unsafe names: a file escaped"
refused "unsafe name asked for" 1 "unsafe member name" "$tool" extract unsafe.pak ../escape.txt -C jail/in
[ ! -e jail/escape.txt ] || fail "unsafe names: a named member escaped"

# Editing a PAK whose data is not packed in directory order must either be refused, leaving the
# file as it was, or keep every other member intact.
cp gen.pak edit.pak
rc=0; "$tool" rm edit.pak readme.txt >out.txt 2>err.txt || rc=$?
if [ "$rc" = 0 ]; then
  ok "edit independent pak" "$tool" extract edit.pak -C edit-out
  rm expect/files/readme.txt
  diff -r "${case_pair[@]}" expect/files edit-out >/dev/null || fail "rm on an independent pak corrupted other members"
else
  same "refused rm on independent pak leaves it unchanged" gen.pak edit.pak
fi

# The tool's PAK output read back by the independent reader.
python3 "$maker" dump test.pak >dump.txt || fail "independent reader refused test.pak"
[ "$(wc -l <dump.txt)" = 63 ] || fail "independent reader: $(wc -l <dump.txt) records in test.pak"
grep -q "^big.bin	[0-9]*	5000$" dump.txt || fail "independent reader: big.bin record wrong"
grep -q "^a.txt	[0-9]*	$(wc -c <src/a2.txt)$" dump.txt || fail "independent reader: a.txt record wrong"
sort -t'	' -k2 -n dump.txt >by-offset.txt
IFS='	' read -r _ first _ <by-offset.txt || first=none
[ "$first" = 12 ] || fail "independent reader: data starts at $first, not 12"

finish
