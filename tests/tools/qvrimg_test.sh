#!/usr/bin/env bash
# End-to-end test of the qvrimg tool; $1 is the build folder. Images are made by ImageMagick and
# every conversion is checked against ImageMagick's own decoding of input and output; a few
# files it cannot make (16-bit BMP, PCX without palette, font sheet) are written byte by byte.
# Without ImageMagick only the checks that need no image run, and the test exits 77 (skipped).
set -euo pipefail
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh" qvrimg "$@"

# ---- help and usage -------------------------------------------------------------------------
ok "--help" "$tool" --help
has "--help" out.txt "convert IN OUT"
has "--help" out.txt "palette IN OUT"
ok "command help" "$tool" convert --help
has "command help" out.txt "tga-rle"
ok "help palette" "$tool" help palette
has "help palette" out.txt ".gpl GIMP"
refused "no command" 2 "missing command" "$tool"
refused "bad command" 2 "unknown command 'resize'" "$tool" resize a.bmp
refused "bad global option" 2 "unknown option '--fast'" "$tool" --fast info a.bmp
refused "bad option" 2 "unknown option '--quality'" "$tool" convert a.bmp b.tga --quality 9
refused "convert one argument" 2 "expects IN and OUT" "$tool" convert a.bmp
refused "info without file" 2 "usage: qvrimg info" "$tool" info
refused "unknown extension" 2 "from its extension" "$tool" convert a.bmp b.png
refused "no extension" 2 "use --format" "$tool" convert a.bmp outfile
refused "bad --format" 2 "unknown format 'jpeg'" "$tool" convert a.bmp b.bmp --format jpeg
refused "--format without value" 2 "needs a value" "$tool" convert a.bmp b.bmp --format
refused "palette unknown extension" 2 "from its extension" "$tool" palette a.bmp b.act
refused "palette bad --format" 2 "unknown format 'tga'" "$tool" palette a.bmp b.pal --format tga
absent "usage errors write nothing" b.bmp

# ---- inputs that are not images ------------------------------------------------------------
printf 'just some text, no image here\n' >text.txt
printf 'BM' >short.bmp
mkdir folder
refused "info missing" 1 "nothere.bmp: no such file" "$tool" info nothere.bmp
refused "info folder" 1 "folder: is a folder" "$tool" info folder
refused "info too short" 1 "short.bmp: not an image file" "$tool" info short.bmp
refused "info text" 1 "text.txt: not a recognised image file" "$tool" info text.txt
refused "convert missing" 1 "nothere.bmp: no such file" "$tool" convert nothere.bmp out.tga
absent "convert missing" out.tga
refused "convert text" 1 "text.txt: not a recognised image" "$tool" convert text.txt out.pcx
absent "convert text" out.pcx
refused "palette missing" 1 "no such file" "$tool" palette nothere.bmp out.gpl
absent "palette missing" out.gpl
refused "info several, one missing" 1 "nothere.bmp" "$tool" info text.txt nothere.bmp

magick=""
for candidate in /usr/bin/convert-im6.q16 /usr/bin/convert "$(command -v convert || true)"; do
  if [ -n "$candidate" ] && [ -x "$candidate" ]; then magick=$candidate; break; fi
done
[ -n "$magick" ] || skip "ImageMagick's convert is not installed; only the checks without images ran"
im() { "$magick" "$@" 2>/dev/null || fail "ImageMagick failed: convert $*"; }
# rgb FILE: ImageMagick's decoding of FILE as 8-bit RGB, top row first, into FILE.rgb. ImageMagick
# keeps a TGA's row order as an orientation tag; -auto-orient applies it, as every TGA reader does.
rgb() { "$magick" "$1" -auto-orient -depth 8 "rgb:$1.rgb" 2>/dev/null || { fail "ImageMagick cannot read $1"; : >"$1.rgb"; }; }
same_pixels() {  # DESCRIPTION IN OUT: both decode to the same RGB pixels in ImageMagick
  rgb "$2"; rgb "$3"
  [ -s "$2.rgb" ] && cmp -s "$2.rgb" "$3.rgb" || fail "$1: $3 does not show the pixels of $2"
}

# ---- images made by ImageMagick (odd sizes) ------------------------------------------------
im -size 33x17 gradient:red-blue -type palette BMP3:p8.bmp
im -size 33x17 plasma:fractal -seed 7 -type truecolor BMP3:rgb24.bmp
im -size 31x9 plasma:fractal -seed 3 -alpha set -compress RLE rgba32-rle.tga
im -size 31x9 gradient:yellow-navy -type palette -compress none cm.tga
im -size 29x11 plasma:fractal -seed 5 -colors 40 -interlace GIF inter.gif
im -size 29x11 plasma:fractal -seed 5 -colors 200 -type palette p8.pcx

ok "info all" "$tool" info p8.bmp rgb24.bmp rgba32-rle.tga cm.tga inter.gif p8.pcx
has "info 8-bit bmp" out.txt "^p8.bmp: BMP, 33 x 17, 8 bits, palette [0-9]"
has "info 24-bit bmp" out.txt "^rgb24.bmp: BMP, 33 x 17, 24 bits, palette none$"
has "info 32-bit tga" out.txt "^rgba32-rle.tga: TGA, 31 x 9, 32 bits, palette none$"
has "info colour-mapped tga" out.txt "^cm.tga: TGA, 31 x 9, 8 bits, palette [0-9]"
has "info gif" out.txt "^inter.gif: GIF, 29 x 11, 8 bits, palette 64$"
has "info pcx" out.txt "^p8.pcx: PCX, 29 x 11, 8 bits, palette 256$"
[ "$(wc -l <out.txt)" = 6 ] || fail "info all: $(wc -l <out.txt) lines for 6 files"
[ ! -s err.txt ] || fail "info all wrote to stderr: $(head -c 300 err.txt)"

# ---- conversions, checked through ImageMagick ----------------------------------------------
for src in p8.bmp rgb24.bmp rgba32-rle.tga cm.tga inter.gif p8.pcx; do
  base=${src%.*}
  ok "$src to bmp" "$tool" convert "$src" "$base-out.bmp"
  same_pixels "$src to bmp" "$src" "$base-out.bmp"
  ok "$src to pcx" "$tool" convert "$src" "$base-out.pcx"
  same_pixels "$src to pcx" "$src" "$base-out.pcx"
  ok "$src to tga" "$tool" convert "$src" "$base-out.tga"
  same_pixels "$src to tga" "$src" "$base-out.tga"
  ok "$src to tga-rle" "$tool" convert "$src" "$base-rle.tga" --format tga-rle
  same_pixels "$src to tga-rle" "$src" "$base-rle.tga"
done
# Alpha survives every conversion of a 32-bit image, whichever way each codec keeps it.
im -size 4x2 xc:red -alpha set -channel A -fx '(i+4*j)/8' +channel alpha.tga
"$magick" alpha.tga -auto-orient -depth 8 rgba:alpha.rgba 2>/dev/null
for out in alpha-out.tga alpha-out.bmp alpha-out.pcx; do
  ok "alpha to $out" "$tool" convert alpha.tga "$out"
  "$magick" "$out" -auto-orient -depth 8 "rgba:$out.rgba" 2>/dev/null || :
  cmp -s alpha.rgba "$out.rgba" || fail "alpha to $out: $(od -An -tu1 -w32 -N32 "$out.rgba" 2>&1)"
done
ok "alpha pcx to tga" "$tool" convert alpha-out.pcx alpha-back.tga
"$magick" alpha-back.tga -auto-orient -depth 8 rgba:alpha-back.rgba 2>/dev/null || :
cmp -s alpha.rgba alpha-back.rgba || fail "alpha through pcx and back to tga changed"

# The format follows the extension (any case) and --format; .tga is uncompressed.
ok "upper-case extension" "$tool" convert rgb24.bmp UPPER.TGA
[ "$(head -c 3 UPPER.TGA 2>/dev/null | od -An -tu1 | tr -s ' ')" = " 0 0 2" ] || fail ".TGA is not an uncompressed true-colour TGA"
[ "$(head -c 3 rgb24-rle.tga 2>/dev/null | od -An -tu1 | tr -s ' ')" = " 0 0 10" ] || fail "tga-rle is not run-length encoded"
ok "--format overrides the extension" "$tool" convert rgb24.bmp looks-like.bmp --format pcx
ok "info of the override" "$tool" info looks-like.bmp
has "info of the override" out.txt "PCX, 33 x 17, 24 bits"
ok "--format=" "$tool" convert p8.bmp eq.out --format=bmp
has "--format=" eq.out "BM"
# Outputs get the usual permissions, not the temporary file's private ones.
mode=$(stat -c %a rgb24-out.bmp 2>/dev/null || echo none)
[ "$mode" = 644 ] || fail "output mode is $mode, not 644"
# Converting a file onto itself works: it is read whole before the output is written.
cp rgb24.bmp self.bmp
ok "convert onto itself" "$tool" convert self.bmp self.bmp
same_pixels "convert onto itself" rgb24.bmp self.bmp
# An existing output is replaced; a folder or a missing folder is refused.
ok "replace existing" "$tool" convert p8.bmp rgb24-out.pcx
same_pixels "replace existing" p8.bmp rgb24-out.pcx
refused "output is a folder" 1 "folder: is a folder" "$tool" convert p8.bmp folder --format bmp
refused "output folder missing" 1 "cannot create a file in" "$tool" convert p8.bmp no/such/dir/x.bmp

# ---- palettes --------------------------------------------------------------------------------
ok "gif palette count" "$tool" info inter.gif
count=$(sed -n 's/.*palette \([0-9]*\)$/\1/p' out.txt)
ok "palette gpl" "$tool" palette inter.gif pal.gpl
has "palette gpl" pal.gpl "^GIMP Palette"
[ "$(grep -c '^ *[0-9]\+ \+[0-9]\+ \+[0-9]\+' pal.gpl 2>/dev/null)" = "$count" ] || fail "gpl: not $count entries"
ok "palette jasc" "$tool" palette inter.gif pal.pal
[ "$(line pal.pal 1)" = JASC-PAL ] || fail "pal.pal is not a JASC palette"
[ "$(line pal.pal 3)" = "$count" ] || fail "jasc: count line is not $count"
ok "palette qvrp" "$tool" palette inter.gif pal.qvrp
[ "$(head -c 4 pal.qvrp 2>/dev/null)" = QVRP ] || fail "qvrp magic missing"
[ "$(size pal.qvrp)" = $((8 + 4 * count)) ] || fail "qvrp: size $(size pal.qvrp)"
ok "palette raw rgb" "$tool" palette inter.gif raw.pal --format rgb
[ "$(size raw.pal)" = $((3 * count)) ] || fail "raw rgb: size $(size raw.pal)"
ok "palette bgr" "$tool" palette inter.gif raw.bgr --format bgr
# Every colour ImageMagick sees in the image is in the extracted palette, in RGB order in the raw
# table and turned around in the BGR one.
rgb inter.gif
python3 - inter.gif.rgb raw.pal raw.bgr 2>/dev/null <<'EOF' || fail "extracted palette lacks the image's colours"
import sys
pixels, rgb, bgr = (open(p, "rb").read() for p in sys.argv[1:4])
used = {pixels[i:i + 3] for i in range(0, len(pixels), 3)}
table = {rgb[i:i + 3] for i in range(0, len(rgb), 3)}
flipped = {bgr[i:i + 3][::-1] for i in range(0, len(bgr), 3)}
sys.exit(0 if used <= table and table == flipped else 1)
EOF
ok "palette of a bmp" "$tool" palette p8.bmp bmp.gpl
refused "24-bit image has no palette" 1 "rgb24.bmp: a 24-bit image has no palette" \
  "$tool" palette rgb24.bmp none.gpl
absent "24-bit palette" none.gpl
refused "32-bit image has no palette" 1 "32-bit image has no palette" \
  "$tool" palette rgba32-rle.tga none.pal
absent "32-bit palette" none.pal

# ---- files written byte by byte ------------------------------------------------------------
python3 - <<'EOF'
import struct
# 16-bit uncompressed BMP (5-5-5), 3 x 2, rows padded to 8 bytes.
rows = struct.pack("<3H", 0x7C00, 0x03E0, 0x001F) + b"\0\0"
rows += struct.pack("<3H", 0x7FFF, 0x0000, 0x4210) + b"\0\0"
hdr = struct.pack("<IiiHHIIiiII", 40, 3, 2, 1, 16, 0, len(rows), 0, 0, 0, 0)
open("p16.bmp", "wb").write(b"BM" + struct.pack("<IHHI", 54 + len(rows), 0, 0, 54) + hdr + rows)
# Version 3 PCX, 8 bits, one plane: no palette follows the data.
hdr = struct.pack("<BBBBHHHHHH", 0x0A, 3, 1, 8, 0, 0, 2, 1, 72, 72) + bytes(48) + b"\0\1"
hdr += struct.pack("<HH", 4, 1)
open("nopal.pcx", "wb").write(hdr.ljust(128, b"\0") + bytes([1, 2, 3, 0, 4, 5, 6, 0]))
# Font file, version 2, whose glyph sheet is 12 x 2 pixels of 2 bits.
sheet = struct.pack("<IIB", 12, 2, 2) + bytes([0x1B, 0xE4, 0x00, 0xFF, 0x55, 0xAA])
open("font.qvrf", "wb").write(b"QVRF\2" + struct.pack("<III", 0, 0, 17) + sheet)
# 32-bit BMP, 2 x 1, with the reserved fourth bytes zero, as most writers leave them.
rows = bytes([10, 20, 30, 0, 40, 50, 60, 0])
hdr = struct.pack("<IiiHHIIiiII", 40, 2, 1, 1, 32, 0, len(rows), 0, 0, 0, 0)
open("x32.bmp", "wb").write(b"BM" + struct.pack("<IHHI", 54 + len(rows), 0, 0, 54) + hdr + rows)
# Cut files: a BMP header that promises pixels that never come.
open("cut.bmp", "wb").write(open("p16.bmp", "rb").read()[:60])
EOF
ok "info byte-made files" "$tool" info p16.bmp nopal.pcx font.qvrf
has "info 16-bit bmp" out.txt "^p16.bmp: BMP, 3 x 2, 16 bits, palette none$"
has "info pcx without palette" out.txt "^nopal.pcx: PCX, 3 x 2, 8 bits, palette none$"
has "info font sheet" out.txt "^font.qvrf: font sheet, 12 x 2, 8 bits, palette 4$"
refused "info damaged" 1 "cut.bmp: damaged or unsupported BMP file" "$tool" info cut.bmp
# An ordinary 32-bit BMP is opaque, and stays so as TGA and PCX.
for out in x32.tga x32.pcx; do
  ok "opaque 32-bit bmp to $out" "$tool" convert x32.bmp "$out"
  [ "$("$magick" "$out" -auto-orient -depth 8 rgba:- 2>/dev/null | od -An -tu1 | tr -s ' ')" = \
    " 30 20 10 255 60 50 40 255" ] || fail "opaque 32-bit bmp to $out: alpha not 255"
done
refused "16-bit to tga" 1 "16-bit image cannot be written as TGA" "$tool" convert p16.bmp p16.tga
absent "16-bit to tga" p16.tga
refused "16-bit to tga-rle" 1 "cannot be written as run-length TGA" \
  "$tool" convert p16.bmp p16.x --format tga-rle
absent "16-bit to tga-rle" p16.x
refused "16-bit to pcx" 1 "cannot be written as PCX" "$tool" convert p16.bmp p16.pcx
absent "16-bit to pcx" p16.pcx
ok "16-bit to bmp" "$tool" convert p16.bmp p16-out.bmp
same_pixels "16-bit to bmp" p16.bmp p16-out.bmp
refused "8-bit image without palette" 1 "nopal.pcx: this 8-bit PCX image has no palette" \
  "$tool" palette nopal.pcx nopal.gpl
absent "8-bit image without palette" nopal.gpl
ok "font sheet palette" "$tool" palette font.qvrf font.pal
[ "$(line font.pal 4,7 | tr '\n' ,)" = "0 0 0,85 85 85,170 170 170,255 255 255," ] ||
  fail "font sheet palette: $(line font.pal 1,7 | tr '\n' ,)"
ok "font sheet to bmp" "$tool" convert font.qvrf font.bmp
rgb font.bmp
[ "$(od -v -An -tu1 -w3 font.bmp.rgb | awk '{print $1}' | tr '\n' ' ')" = \
  "0 85 170 255 255 170 85 0 0 0 0 0 255 255 255 255 85 85 85 85 170 170 170 170 " ] ||
  fail "font sheet pixels: $(od -v -An -tu1 -w3 font.bmp.rgb | awk '{print $1}' | tr '\n' ' ')"

# ---- a failing write leaves nothing behind, and an existing output untouched -----------------
im -size 200x200 plasma:fractal -seed 9 -type truecolor BMP3:big.bmp
cp p8.bmp keep.tga
cp keep.tga keep-before.tga
for fmt in bmp tga tga-rle pcx; do
  refused "full disk, $fmt" 1 "keep.tga: cannot write the .*$too_large" \
    bash -c 'ulimit -f 8; trap "" XFSZ; exec "$0" convert big.bmp keep.tga --format "$1"' "$tool" "$fmt"
  cmp -s keep.tga keep-before.tga || fail "full disk, $fmt: the existing output was changed"
  no_temp "full disk, $fmt" keep.tga
  refused "full disk, new $fmt" 1 "cannot write" \
    bash -c 'ulimit -f 8; trap "" XFSZ; exec "$0" convert big.bmp new.out --format "$1"' "$tool" "$fmt"
  absent "full disk, new $fmt" new.out
done

finish
