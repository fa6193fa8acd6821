#!/usr/bin/env bash
# Starts the main window under a virtual X server (Xvfb) and saves a picture of it as
# docs/screenshot.png. Usage: tools/screenshot.sh BUILD_DIR   (./qat screenshot does this)
set -euo pipefail
BUILD=${1:?usage: $0 BUILD_DIR}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
APP=$BUILD/app/quorvin-audio-tools
OUT=$ROOT/docs/screenshot.png
[ -x "$APP" ] || { echo "screenshot: $APP is not built" >&2; exit 1; }
for tool in Xvfb import xwininfo; do
  command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing (./qat setup)" >&2; exit 1; }
done

# A free display number.
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
export DISPLAY=:$n
Xvfb "$DISPLAY" -screen 0 1024x720x24 -nolisten tcp >/dev/null 2>&1 &
xpid=$!
apid=""
cleanup() {
  [ -n "$apid" ] && kill "$apid" 2>/dev/null || true
  kill "$xpid" 2>/dev/null || true
}
trap cleanup EXIT

wait_for() {  # wait_for DESCRIPTION COMMAND...: polls for up to 15 s
  local what=$1; shift
  for _ in $(seq 150); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "screenshot: $what did not come up" >&2; exit 1
}
wait_for "the X server" xwininfo -root

QT_QPA_PLATFORM=xcb "$APP" --null-output &
apid=$!
wait_for "the main window" sh -c 'xwininfo -root -tree | grep -q "Quorvin Audio Tools Vers"'
sleep 1  # let the first paint finish

# The window's own area, without the empty screen around it.
id=$(xwininfo -root -tree | grep "Quorvin Audio Tools Vers" | head -n1 | awk '{print $1}')
mkdir -p "$(dirname "$OUT")"
import -window "$id" "$OUT"
echo "screenshot: $OUT"
