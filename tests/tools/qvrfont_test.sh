#!/usr/bin/env bash
# End-to-end test of the qvrfont tool; $1 is the build folder. Fonts are built from DejaVu Sans
# and DejaVu Sans Mono; their metrics are checked against the TrueType tables read here, rendered
# text against the BMP decoded here, and grid sheets are written byte by byte, so the tool cannot
# agree with the library by mistake. Without FreeType (no tool) the test is skipped; without the
# DejaVu fonts only the checks that need no font run, and it exits 77.
set -euo pipefail

# Without FreeType the tool is not built: the test is skipped, not failed.
if [ -n "${1:-}" ] && [ ! -x "$1/tools/qvrfont" ]; then
  echo "SKIP: qvrfont was not built (FreeType not found)"
  exit 77
fi
. "$(dirname "$0")/lib.sh" qvrfont "$@"

# Helpers that read the files themselves: `fontcheck.py records FNT.chars` lists the glyph records
# of `info --chars` output as "code x y width height descent"; `sheet FNT` prints the distinct
# sheet values of a version-2 font file; `bbox BMP` the ink box (x1 y1 x2 y2, non-zero indices) of
# an 8-bit BMP; `lineheight TTF PX` FreeType's line height from the hhea table; `overlap FNT
# CHARS` checks that every glyph lies in the sheet and no two overlap.
cat >fontcheck.py <<'EOF'
import re, struct, sys

def records(path):
    out = {}
    for line in open(path, encoding="latin-1"):
        m = re.match(r"Char (\d+) \[.\] : +(\d+) +(\d+) +(\d+) +(\d+) (-?\d+)$", line.rstrip("\n"))
        if m:
            out[int(m.group(1))] = tuple(int(g) for g in m.groups()[1:])
    return out

def sheet(path):
    data = open(path, "rb").read()
    pos = struct.unpack_from("<I", data, 13)[0]
    w, h, depth = struct.unpack_from("<IIB", data, pos)
    raw = data[pos + 9:]
    values = set()
    if depth == 8:
        values = set(raw[:w * h])
    else:
        per = 8 // depth
        stride = (w + per - 1) // per
        for y in range(h):
            for x in range(w):
                byte = raw[y * stride + x // per]
                values.add((byte >> (8 - depth * (x % per + 1))) & ((1 << depth) - 1))
    return w, h, depth, values

cmd = sys.argv[1]
if cmd == "records":
    for code, r in sorted(records(sys.argv[2]).items()):
        print(code, *r)
elif cmd == "sheet":
    w, h, depth, values = sheet(sys.argv[2])
    print(w, h, depth, " ".join(str(v) for v in sorted(values)))
elif cmd == "bbox":
    data = open(sys.argv[2], "rb").read()
    off, = struct.unpack_from("<I", data, 10)
    w, h, _, bpp = struct.unpack_from("<iiHH", data, 18)
    assert bpp == 8
    stride = (w + 3) & ~3
    xs, ys = [], []
    for row in range(abs(h)):
        y = abs(h) - 1 - row if h > 0 else row
        line = data[off + row * stride: off + row * stride + w]
        for x, v in enumerate(line):
            if v:
                xs.append(x)
                ys.append(y)
    print(w, abs(h), *(min(xs), min(ys), max(xs), max(ys)) if xs else ("none",))
elif cmd == "lineheight":
    data = open(sys.argv[2], "rb").read()
    count, = struct.unpack_from(">H", data, 4)
    tables = {}
    for i in range(count):
        tag, _, offset, _ = struct.unpack_from(">4sIII", data, 12 + 16 * i)
        tables[tag] = offset
    upem, = struct.unpack_from(">H", data, tables[b"head"] + 18)
    ascender, descender, gap = struct.unpack_from(">hhh", data, tables[b"hhea"] + 4)
    print((ascender - descender + gap) * int(sys.argv[3]) / upem)
elif cmd == "overlap":
    w, h, _, _ = sheet(sys.argv[2])
    boxes = [r for r in records(sys.argv[3]).values() if r[2] and r[3]]
    taken = set()
    for x, y, bw, bh, _ in boxes:
        if x + bw > w or y + bh > h:
            sys.exit("glyph at %d,%d (%dx%d) outside the %dx%d sheet" % (x, y, bw, bh, w, h))
        cells = {(i, j) for i in range(x, x + bw) for j in range(y, y + bh)}
        if cells & taken:
            sys.exit("glyph at %d,%d overlaps another" % (x, y))
        taken |= cells
EOF
fc() { python3 fontcheck.py "$@"; }
# records FNT: reads the glyph records of FNT with `info --chars` (into FNT.chars and FNT.recs);
# rec FNT CODE then gives the record "x y width height descent" of CODE.
records() {
  "$tool" info "$1" --chars >"$1.chars" 2>/dev/null || fail "info --chars $1 failed"
  fc records "$1.chars" >"$1.recs"
}
rec() { sed -n "s/^$2 //p" "$1.recs"; }
field() { echo "$1" | cut -d' ' -f"$2"; }  # RECORD N: field N (1 x, 2 y, 3 width, 4 height, 5 descent)
# text_size FNT TEXT: "width height" as the library measures the text.
text_size() {
  "$tool" info "$1" --text "$2" >size.txt 2>&1 || { echo "0 0"; return; }
  sed -n 's/^Text ".*": width \([0-9]*\), height \([0-9]*\)$/\1 \2/p' size.txt
}

# ---- help and usage ----------------------------------------------------------------------------
ok "--help" "$tool" --help
has "--help" out.txt "build FONT -o OUT --size PX"
has "--help" out.txt "grid SHEET -o OUT --cell WxH"
ok "command help" "$tool" build --help
has "command help" out.txt "four coverage levels"
ok "help render" "$tool" help render
has "help render" out.txt "scale N"
refused "no command" 2 "missing command" "$tool"
refused "bad command" 2 "unknown command 'make'" "$tool" make x.ttf
refused "bad option" 2 "unknown option '--bold'" "$tool" build x.ttf -o x.fnt --size 12 --bold
refused "no -o" 2 "needs -o OUT" "$tool" build x.ttf --size 12
refused "no --size" 2 "needs --size" "$tool" build x.ttf -o x.fnt
refused "size 0" 2 "--size must be a number from 1 to 255" "$tool" build x.ttf -o x.fnt --size 0
refused "size 1000" 2 "--size must be a number" "$tool" build x.ttf -o x.fnt --size 1000
refused "size not a number" 2 "not '12px'" "$tool" build x.ttf -o x.fnt --size 12px
refused "depth 4" 2 "--depth must be 1, 2 or 8, not '4'" "$tool" build x.ttf -o x.fnt --size 12 --depth 4
refused "range past 255" 2 "--range must be A-B" "$tool" build x.ttf -o x.fnt --size 12 --range 32-256
refused "range reversed" 2 "--range must be A-B" "$tool" build x.ttf -o x.fnt --size 12 --range 126-32
refused "range negative" 2 "--range must be A-B" "$tool" build x.ttf -o x.fnt --size 12 --range=-1-20
refused "long name" 2 "at most 254 bytes" "$tool" build x.ttf -o x.fnt --size 12 --name "$(printf 'n%.0s' {1..255})"
refused "grid no cell" 2 "needs --cell" "$tool" grid s.bmp -o x.fnt
refused "grid cell 0" 2 "--cell must be WxH" "$tool" grid s.bmp -o x.fnt --cell 0x8
refused "grid cell 256" 2 "--cell must be WxH" "$tool" grid s.bmp -o x.fnt --cell 8x256
refused "grid baseline" 2 "--baseline must be a number from 0 to 7" "$tool" grid s.bmp -o x.fnt --cell 8x8 --baseline 8
refused "render format" 2 "from its extension" "$tool" render x.fnt Hi -o x.png
refused "render scale" 2 "--scale must be" "$tool" render x.fnt Hi -o x.bmp --scale 0
absent "usage errors write nothing" x.fnt

# ---- inputs that are not fonts -----------------------------------------------------------------
printf 'not a font at all\n' >text.ttf
printf 'QVRF\2\21\0\0\0' >cut.fnt
refused "build missing" 1 "nothere.ttf: no such file" "$tool" build nothere.ttf -o x.fnt --size 12
refused "build text file" 1 "text.ttf: not a font file FreeType can read" "$tool" build text.ttf -o x.fnt --size 12
refused "info missing" 1 "nothere.fnt: no such file" "$tool" info nothere.fnt
refused "info not a font" 1 "text.ttf: not a font file (no \"QVRF\" signature)" "$tool" info text.ttf
refused "info cut font" 1 "cut.fnt: damaged font file" "$tool" info cut.fnt
refused "render cut font" 1 "damaged font file" "$tool" render cut.fnt Hi -o x.bmp
refused "grid missing" 1 "nothere.bmp: no such file" "$tool" grid nothere.bmp -o x.fnt --cell 8x8
refused "grid text file" 1 "text.ttf: not a readable" "$tool" grid text.ttf -o x.fnt --cell 8x8
absent "bad inputs write nothing" x.fnt

# ---- grid: a sheet of known boxes, written byte by byte ---------------------------------------
# 8 x 4 cells of 6 x 9 on a background of index 7: the cell of code 65 + i holds a box i % 5 + 1
# columns wide, from column 1 (the first stays empty), rows 2 to 7. Cell 3 is left empty, cell 5
# gets a dot at its right edge only. A second sheet has the same boxes in 24 bits.
python3 - <<'EOF'
import struct
W, H, CW, CH = 48, 36, 6, 9
def sheet(ink, bg):
    px = [[bg] * W for _ in range(H)]
    for i in range(32):
        x0, y0 = (i % 8) * CW, (i // 8) * CH
        if i == 3:
            continue
        if i == 5:
            px[y0 + 4][x0 + CW - 1] = ink
            continue
        for y in range(2, 8):
            for x in range(1, 1 + i % 5 + 1):
                px[y0 + y][x0 + x] = ink
    return px
def bmp(path, px, bpp):
    if bpp == 8:
        rows = [bytes(r) for r in px]
        pal = b"".join(bytes([c, c, c, 0]) for c in range(256))
    else:
        rows = [b"".join(struct.pack("<I", v)[:3] for v in r) for r in px]
        pal = b""
    stride = (len(rows[0]) + 3) & ~3
    data = b"".join(r.ljust(stride, b"\0") for r in reversed(rows))
    off = 54 + len(pal)
    hdr = struct.pack("<IiiHHIIiiII", 40, W, H, 1, bpp, 0, len(data), 0, 0, 256 if pal else 0, 0)
    open(path, "wb").write(b"BM" + struct.pack("<IHHI", off + len(data), 0, 0, off) + hdr + pal + data)
bmp("sheet8.bmp", sheet(2, 7), 8)
bmp("sheet24.bmp", sheet(0x102030, 0xFFFFFF), 24)
EOF
for src in sheet8.bmp sheet24.bmp; do
  ok "grid $src" "$tool" grid "$src" -o grid.fnt --cell 6x9 --first 65 --baseline 7
  ok "grid $src info" "$tool" info grid.fnt
  records grid.fnt
  has "grid $src name" out.txt "Font name       : sheet"
  has "grid $src range" out.txt "Last char       : 96"
  has "grid $src ascent" out.txt "Ascent          : 8"
  has "grid $src descent" out.txt "Descent         : 1"
  has "grid $src depth" out.txt "Format (bpp)    : 1"
  for i in 0 1 2 4 9 13 31; do
    want="$(( (i % 8) * 6 )) $(( (i / 8) * 9 )) $(( i % 5 + 2 )) 9 1"
    got=$(rec grid.fnt $((65 + i)))
    [ "$got" = "$want" ] || fail "grid $src: code $((65 + i)) is '$got', expected '$want'"
  done
  [ "$(rec grid.fnt 68)" = "0 0 0 0 0" ] || fail "grid $src: the empty cell got a glyph: $(rec grid.fnt 68)"
  [ "$(rec grid.fnt 70)" = "30 0 6 9 1" ] || fail "grid $src: a dot at the right edge: $(rec grid.fnt 70)"
done
# The glyphs draw where the boxes were: "AB" is boxes of 1 and 2 columns from column 1 of their
# cells, with the default spacing of 1 between the cells.
ok "grid render" "$tool" render grid.fnt AB -o grid.bmp
[ "$(fc bbox grid.bmp)" = "10 13 3 4 7 9" ] || fail "grid render: ink box $(fc bbox grid.bmp)"
ok "grid defaults" "$tool" grid sheet8.bmp -o grid2.fnt --cell 6x9 --name "Boxes 6x9" --spacing 0 --space 3
ok "grid defaults info" "$tool" info grid2.fnt --text "! %"
has "grid default first" out.txt "First char      : 32"
has "grid default baseline" out.txt "Descent         : 0"
has "grid --name" out.txt "Font name       : Boxes 6x9"
has "grid --space and --spacing" out.txt 'Text "! %": width 12, height 9'
# Cells past code 255 are left out, with a warning.
ok "grid past 255" "$tool" grid sheet8.bmp -o grid3.fnt --cell 6x9 --first 240
has "grid past 255 warns" err.txt "16 after them are left out"
ok "grid past 255 info" "$tool" info grid3.fnt
has "grid past 255 range" out.txt "Last char       : 255"
refused "grid cell larger than the sheet" 1 "the cell 60 x 9 is larger than the sheet (48 x 36)" \
  "$tool" grid sheet8.bmp -o big.fnt --cell 60x9
absent "grid cell larger than the sheet" big.fnt

# ---- the first version of the file format is read too ------------------------------------------
python3 - <<'EOF'
import struct
info = bytes([4]) + b"Old\0" + struct.pack("<IIBBhh", 65, 66, 3, 1, 5, 1)
glyphs = struct.pack("<HHBBh", 0, 0, 2, 3, 0) + struct.pack("<HHBBh", 2, 0, 1, 3, 1)
sheet = struct.pack("<IIB", 3, 3, 8) + bytes([1, 1, 1, 1, 0, 1, 1, 1, 1])
open("v1.fnt", "wb").write(b"QVRF" + info + glyphs + sheet)
# A one-letter name has the length byte 2, as a version byte would be.
info = bytes([2]) + b"A\0" + info[5:]
open("v1a.fnt", "wb").write(b"QVRF" + info + glyphs + sheet)
EOF
ok "info version 1, name length 2" "$tool" info v1a.fnt
has "info version 1, name length 2" out.txt "Font name       : A$"
ok "info version 1" "$tool" info v1.fnt --chars
has "info version 1" out.txt "Font name       : Old"
has "info version 1 glyphs" out.txt "Char 66 \[B\] :   2   0   1   3 1"

fonts=/usr/share/fonts/truetype/dejavu
sans=$fonts/DejaVuSans.ttf
mono=$fonts/DejaVuSansMono.ttf
if [ ! -f "$sans" ] || [ ! -f "$mono" ]; then
  skip "the DejaVu fonts (fonts-dejavu-core) are not installed; only the checks without them ran"
fi

# ---- fonts built from DejaVu Sans and Sans Mono ------------------------------------------------
for face in sans mono; do
  ttf=${!face}
  for px in 8 12 24; do
    spacing=$((px / 8))
    lineheight=$(fc lineheight "$ttf" "$px")
    for depth in 1 2 8; do
      f=$face-$px-$depth.fnt
      what="$face $px px depth $depth"
      ok "$what" "$tool" build "$ttf" -o "$f" --size "$px" --depth "$depth" --spacing "$spacing"
      ok "$what: loads" "$tool" info "$f"
      has "$what: depth" out.txt "Format (bpp)    : $depth"
      has "$what: spacing" out.txt "Char spacing    : $spacing"
      records "$f"
      ascent=$(sed -n 's/^Ascent *: //p' out.txt)
      descent=$(sed -n 's/^Descent *: //p' out.txt)
      awk -v a="${ascent:-0}" -v d="${descent:-0}" -v l="$lineheight" \
        'BEGIN { x = a + d - l; exit !(x <= 1 && x >= -1) }' ||
        fail "$what: ascent $ascent + descent $descent is not within 1 of the line height $lineheight"
      # The space code has no glyph, and its advance is the font's.
      [ "$(rec "$f" 32)" = "0 0 0 0 0" ] || fail "$what: the space has a glyph: $(rec "$f" 32)"
      m=$(field "$(rec "$f" 77)" 3) i=$(field "$(rec "$f" 105)" 3)
      if [ "$face" = sans ]; then
        [ "$m" -gt "$i" ] || fail "$what: M ($m) is not wider than i ($i)"
      else
        widths=$(awk '$4 > 0 { print $4 }' "$f.recs" | sort -u | tr '\n' ' ')
        [ "$widths" = "$m " ] || fail "$what: glyphs are not all as wide as M ($m): $widths"
      fi
      sum=$spacing
      for code in 72 101 108 108 111; do sum=$((sum + $(field "$(rec "$f" $code)" 3) + spacing)); done
      sum=$((sum - 2 * spacing))
      read -r width height <<<"$(text_size "$f" Hello)"
      [ "$width" = "$sum" ] || fail "$what: TextWidth(Hello) is $width, the advances and spacing $sum"
      # The records hold exactly the ink: "Hello" drawn with the margin of 2 fills TextSize's
      # height and stays inside its width.
      ok "$what: render" "$tool" render "$f" Hello -o "$f.bmp"
      read -r iw ih x1 y1 x2 y2 <<<"$(fc bbox "$f.bmp")"
      [ "$iw $ih" = "$((width + 4)) $((height + 4))" ] || fail "$what: image $iw x $ih for text $width x $height"
      [ "$y1 $y2" = "2 $((height + 1))" ] || fail "$what: ink rows $y1-$y2, expected 2-$((height + 1))"
      [ "$x1" -ge 2 ] && [ "$x2" -le "$((width + 1))" ] && [ "$((x2 - x1))" -ge "$((width * 3 / 4))" ] ||
        fail "$what: ink columns $x1-$x2 for a text $width wide"
      # Each depth keeps what it should of the coverage.
      read -r sw sh sd values <<<"$(fc sheet "$f")"
      case $depth in
        1) [ "$values" = "0 1" ] || fail "$what: sheet values $values" ;;
        2) [[ "$values" =~ ^0\ (1\ )?(2\ )?3$ && "$values" != "0 3" ]] || fail "$what: sheet values $values" ;;
        8) [ "$(echo "$values" | wc -w)" -gt 16 ] || fail "$what: only the sheet values $values" ;;
      esac
      [ "$sh" -le "$sw" ] || fail "$what: sheet $sw x $sh is taller than wide"
      fc overlap "$f" "$f.chars" || fail "$what: glyphs overlap or leave the sheet"
    done
  done
done

# Latin-1: codes 128-255 are the first Unicode block; the C1 controls have no glyph. UTF-8 text is
# drawn as Latin-1.
ok "latin-1" "$tool" build "$sans" -o latin.fnt --size 14 --range 32-255 --name "Sans Latin" --space 7
records latin.fnt
[ "$(field "$(rec latin.fnt 233)" 3)" -gt 0 ] || fail "latin-1: no glyph for e acute"
[ "$(rec latin.fnt 128)" = "0 0 0 0 0" ] || fail "latin-1: code 128 has a glyph: $(rec latin.fnt 128)"
has "latin-1 --name" latin.fnt.chars "Font name       : Sans Latin"
has "latin-1 --space" latin.fnt.chars "White char size : 7"
read -r width height <<<"$(text_size latin.fnt " ")"
[ "$width" = 7 ] || fail "latin-1: a space is $width wide, not 7"
read -r cafe _ <<<"$(text_size latin.fnt "Café")"
read -r caf _ <<<"$(text_size latin.fnt "Caf")"
[ "$cafe" = "$((caf + $(field "$(rec latin.fnt 233)" 3)))" ] || fail "latin-1: Café is $cafe wide, Caf $caf"
ok "latin-1 render" "$tool" render latin.fnt "Café" -o cafe.bmp --scale 3
[ ! -s err.txt ] || fail "latin-1 render warned: $(head -c 300 err.txt)"
read -r iw ih _ <<<"$(fc bbox cafe.bmp)"
[ "$iw" = "$(((cafe + 4) * 3))" ] || fail "latin-1 render: --scale 3 made an image $iw wide for $cafe"
refused "render past Latin-1" 1 "U+20AC is not among the font's codes" "$tool" render latin.fnt "5 €" -o euro.bmp
absent "render past Latin-1" euro.bmp
ok "render missing glyph" "$tool" render sans-12-1.fnt "é" -o missing.bmp
has "render missing glyph" err.txt "no glyph for code 233"

# ---- bad fonts and sizes leave nothing behind ----------------------------------------------------
head -c 4000 "$sans" >cut.ttf
refused "cut font" 1 "cut.ttf" "$tool" build cut.ttf -o cut-out.fnt --size 12
absent "cut font" cut-out.fnt
refused "too large glyphs" 1 "at most 255 px wide and tall" \
  "$tool" build "$sans" -o huge.fnt --size 255 --range 32-255
absent "too large glyphs" huge.fnt
refused "folder as font" 1 "is a folder" "$tool" build "$fonts" -o dir.fnt --size 12
absent "folder as font" dir.fnt

# A failing write leaves an existing output as it was.
cp sans-24-8.fnt keep.fnt
cp keep.fnt keep-before.fnt
refused "full disk" 1 "keep.fnt: cannot write the font file.*$too_large" \
  bash -c 'ulimit -f 1; trap "" XFSZ; exec "$0" build "$1" -o keep.fnt --size 48 --depth 8' "$tool" "$sans"
cmp -s keep.fnt keep-before.fnt || fail "full disk: the existing output was changed"
if compgen -G "keep.fnt.tmp-*" >/dev/null; then fail "full disk: temporary file left"; fi

finish
