#!/usr/bin/env bash
# Runs the demo headless and checks what it leaves behind:
#   run_demo.sh DEMO software   600 frames, software renderer, --help
#   run_demo.sh DEMO gl         120 frames with OpenGL (run under with_xvfb.sh)
#   run_demo.sh DEMO bad-data   a corrupt picture in demo-data/, corrupt score and
#                               settings files, French, settings kept in demo.cfg
#   run_demo.sh DEMO override   a replacement palette in demo-data/, usage errors
set -euo pipefail
demo=$(realpath "$1") mode=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# Settings and scores go to the application-data folder: keep it in here.
export HOME=$work/home XDG_DATA_HOME=$work/home/share
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# (Sanitizer builds link tests/sanitizer_hooks.cpp into the demo for the
# leaks of X11 and Mesa.)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

run() {  # log, args...
  local log=$1 rc=0
  shift
  "$demo" "$@" >"$log" 2>&1 || rc=$?
  if [ "$rc" != 0 ]; then
    fail "demo $* exited with $rc"
    tail -n 40 "$log"
  fi
  if grep -E 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$log" >sanitizer.txt; then
    fail "sanitizer report in demo $*"
    cat "$log"
  fi
  tail -n 1 "$log"
}

# A figure of the last line: "demo: 600 frames, score 340, ...".
figure() {  # log, "frames" or "score"
  case $2 in
    frames) sed -n 's/^demo: \([0-9]*\) frames,.*/\1/p' "$1" ;;
    score) sed -n 's/^demo: .* score \([0-9]*\),.*/\1/p' "$1" ;;
  esac
}

# Each PNG screenshot decodes and shows at least three of the brick hues
# (the colours of palette.h) in its upper third.
check_shots() {  # count
  local n=0 png found hue
  for png in demo-out/shot*.png; do
    [ -e "$png" ] || continue
    n=$((n + 1))
    if ! convert "$png" -crop 640x160+0+0 +repage -unique-colors txt:- >colours.txt 2>convert.err; then
      fail "$png does not decode: $(cat convert.err)"
      continue
    fi
    found=0
    for hue in F04040 FA9628 F0DC3C 50D250 3CD2DC 466EF0 AA5AE6 F06EBE; do
      grep -i "#$hue" colours.txt >/dev/null && found=$((found + 1))
    done
    [ "$found" -ge 3 ] || fail "$png shows $found brick colours in its upper third"
  done
  [ "$n" = "$1" ] || fail "$n PNG screenshots in demo-out/, expected $1"
}

# demo.wav lasts about `seconds` and is not silent.
check_wav() {  # min max
  if ! sox demo-out/demo.wav -n stat >stat.txt 2>&1; then
    fail "sox cannot read demo.wav: $(cat stat.txt)"
    return
  fi
  local len rms
  len=$(sed -n 's/^Length (seconds): *//p' stat.txt)
  rms=$(sed -n 's/^RMS *amplitude: *//p' stat.txt)
  awk -v l="$len" -v a="$1" -v b="$2" 'BEGIN { exit !(l >= a && l <= b) }' ||
    fail "demo.wav lasts $len s, expected $1 to $2"
  awk -v r="$rms" 'BEGIN { exit !(r > 0.01) }' || fail "demo.wav is silent (RMS $rms)"
}

case "$mode" in
  software)
    run help.log --help
    grep -e '-music_volume' help.log >/dev/null || fail "--help does not list the settings"
    run out.log --headless --autoplay --frames 600
    [ "$(figure out.log frames)" = 600 ] || fail "not 600 frames"
    score=$(figure out.log score)
    [ "${score:-0}" -gt 0 ] || fail "score ${score:-none}: autoplay broke no brick"
    check_shots 6
    check_wav 9.5 10.5
    [ -f home/share/qvr3d-demo/demo.cfg ] || fail "demo.cfg not saved"
    ;;
  gl)
    run out.log --headless --gl --autoplay --frames 120
    score=$(figure out.log score)
    [ "${score:-0}" -gt 0 ] || fail "score ${score:-none}: autoplay broke no brick"
    check_shots 1
    check_wav 1.8 2.3
    ;;
  bad-data)
    mkdir -p demo-data/gfx home/share/qvr3d-demo
    printf 'BM\x10\x00\x00\x00not a picture' >demo-data/gfx/bricks.bmp
    printf 'not a score table' >home/share/qvr3d-demo/scores.dat
    # A settings file with junk around one good line: the line is kept, the
    # command line wins over the file, and both are saved.
    printf 'sfx_volume 5\nbogus line\nwidth lots\n\x01\x02\n' >home/share/qvr3d-demo/demo.cfg
    run out.log --headless --autoplay --frames 100 --lang fr -music_volume 10
    grep 'WARN\|demo-data/gfx/bricks.bmp does not load' out.log >warn.txt || true
    grep 'demo-data/gfx/bricks.bmp' warn.txt >/dev/null || fail "no warning naming demo-data/gfx/bricks.bmp"
    grep 'not a score file' out.log >/dev/null || fail "no warning about the corrupt score file"
    grep 'language Fran' out.log >/dev/null || fail "French not loaded"
    check_shots 1  # the archive's bricks were drawn
    grep -P '^music_volume\t10$' home/share/qvr3d-demo/demo.cfg >/dev/null ||
      fail "music_volume 10 not saved in demo.cfg"
    grep -P '^sfx_volume\t5$' home/share/qvr3d-demo/demo.cfg >/dev/null ||
      fail "sfx_volume 5 from demo.cfg not kept"
    grep -P '^width\t640$' home/share/qvr3d-demo/demo.cfg >/dev/null || fail "width not 640"
    ;;
  override)
    # demo-data/ comes before the archive: a palette of one green (in GIMP's
    # text format, found by its content) turns the whole screen green.
    mkdir -p demo-data/gfx
    { echo 'GIMP Palette'; for _ in $(seq 256); do echo '0 255 0 green'; done; } \
      >demo-data/gfx/game.qvrp
    run out.log --headless --autoplay --frames 100
    convert demo-out/shot000.png -unique-colors txt:- >colours.txt
    [ "$(grep -c '^[0-9]' colours.txt)" = 1 ] && grep -i '#00FF00' colours.txt >/dev/null ||
      fail "the replacement palette was not used: $(cat colours.txt)"
    # An unknown language falls back to English; usage errors exit with 2.
    run lang.log --headless --frames 10 --lang xx
    grep 'no language xx' lang.log >/dev/null && grep 'language English' lang.log >/dev/null ||
      fail "--lang xx did not fall back to English"
    for args in "--frames 0" "--frames" "--bogus 1" "-renderer vulkan"; do
      rc=0
      # shellcheck disable=SC2086
      "$demo" --headless $args >usage.log 2>&1 || rc=$?
      [ "$rc" = 2 ] || fail "demo $args exited with $rc, expected 2"
    done
    ;;
  *)
    echo "usage: run_demo.sh DEMO software|gl|bad-data|override"
    exit 2
    ;;
esac
if [ "$failures" != 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "demo $mode: all checks passed"
