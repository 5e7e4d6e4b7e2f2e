#!/usr/bin/env bash
# Runs a command under a private Xvfb server (its own display number, chosen by Xvfb).
set -euo pipefail
fifo=$(mktemp -u /tmp/tavimo-xvfb.XXXXXX)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fifo" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null; rm -f "$fifo"' EXIT
read -r -t 20 num <"$fifo"
export DISPLAY=":$num"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
"$@"
