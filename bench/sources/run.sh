#!/usr/bin/env bash
# The browser address capture from a long session log (target <= 50 ms).
set -euo pipefail
build=${1:-build}
bin="$build/bench/sources"
[ -x "$bin/bench_session_capture" ] || { echo "session capture bench not built"; exit 0; }
echo "-- browser address capture from a Chromium session log of 20,000 navigations and 20,000"
echo "   prunes of one tab (target <= 50 ms)"
read -r bytes best median runs < <("$bin/bench_session_capture")
echo "capture: best ${best} ms, median ${median} ms of $runs runs ($bytes bytes of session log)"
