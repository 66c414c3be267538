#!/usr/bin/env bash
# Runs a command against a private Xvfb server (24-bit root window, 1280x1024)
# with SDL's x11 driver and Mesa's software renderer. The server is started
# with -noreset and one client stays connected for the whole run: under load a
# server that resets between clients refuses connections at random.
set -euo pipefail
work=$(mktemp -d)
xvfb_pid=
holder_pid=
cleanup() {
  [ -n "$holder_pid" ] && kill "$holder_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# -displayfd lets the server pick a free display, so parallel runs never race.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -noreset -nolisten tcp \
  3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 200); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { echo "Xvfb failed:"; cat "$work/xvfb.log"; exit 1; }
  sleep 0.05
done
[ -s "$work/display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=:$(tr -d '\n' <"$work/display")
# The connection holder: a client that only waits on the root window.
xev -root >/dev/null 2>&1 &
holder_pid=$!

export SDL_VIDEODRIVER=x11
export LIBGL_ALWAYS_SOFTWARE=1

"$@"
