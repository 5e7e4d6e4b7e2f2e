#!/usr/bin/env bash
# Runs every benchmark of a build. Each bench/<folder>/run.sh, when present, does the
# side-by-side comparisons (grep, curl, ...) in the same run.
set -euo pipefail
build=${1:-build}
for script in bench/*/run.sh; do
  [ -x "$script" ] || continue
  echo "===== $script"
  "$script" "$build"
done
