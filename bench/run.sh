#!/usr/bin/env bash
# Runs the kernel benchmarks and, when present, the whole-program benchmark.
set -euo pipefail
build=${1:-build-bench}
here=$(cd "$(dirname "$0")" && pwd)
if [ -x "$build/bench/mixed_bench" ]; then
  "$build/bench/mixed_bench" --benchmark_min_time=0.2
fi
if [ -x "$here/fits.sh" ]; then
  "$here/fits.sh" "$build"
fi
