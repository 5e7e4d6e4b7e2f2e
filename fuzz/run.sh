#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for the given number of seconds each, with at most
# 512 MB of memory and 2 s per input.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
only=${FUZZ_ONLY:-}
# A run counts as clean only within these bounds: a crafted input that needs more memory or
# more time than this is a finding. FUZZ_LIMITS replaces them.
read -r -a limits <<<"${FUZZ_LIMITS:--rss_limit_mb=512 -timeout=2}"
status=0
for bin in "$build"/fuzz/*/fuzz_*; do
  [ -f "$bin" ] && [ -x "$bin" ] || continue
  name=$(basename "$bin")
  [ -n "$only" ] && [[ "$name" != *"$only"* ]] && continue
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds="fuzz/seeds/$name"
  echo "== $name ($seconds s)"
  args=("$corpus")
  [ -d "$seeds" ] && args+=("$seeds")
  if ! "$bin" -max_total_time="$seconds" -print_final_stats=0 -close_fd_mask=3 "${limits[@]}" "${args[@]}" >"$build/$name.log" 2>&1; then
    echo "   FAILED, see $build/$name.log"; tail -n 30 "$build/$name.log"; status=1
  else
    grep -E '^#[0-9]+.*DONE' "$build/$name.log" | tail -n 1 || true
  fi
done
exit $status
