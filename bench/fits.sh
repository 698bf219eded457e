#!/usr/bin/env bash
# Whole-program benchmark: synthetic data sets at 10^4, 10^5 and 10^6 rows,
# four models; prints, per data set and model, the wall time of the whole run
# and of the fit alone, the iterations, the likelihood evaluations and the
# peak memory (from the program's --timing report).
set -euo pipefail
build=${1:-build-bench}
sizes=${SIZES:-"10000 100000 1000000"}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%-8s %9s %10s %9s %6s %6s %10s\n' model rows run_s fit_s iters evals peak_MB
for kind in ri slope ar1 crossed; do
  for n in $sizes; do
    "$build/bench/generate_tool" "$kind" "$n" "$work/d"
    start=$(date +%s.%N)
    "$build/src/app/mixed" --data "$work/d.csv" "$work/d.sps" -q --timing 2> "$work/timing"
    end=$(date +%s.%N)
    fit=$(sed -n 's/.*"estimate_seconds":\([0-9.e+-]*\).*/\1/p' "$work/timing" | head -1)
    it=$(sed -n 's/.*"iterations":\([0-9]*\).*/\1/p' "$work/timing" | head -1)
    ev=$(sed -n 's/.*"evaluations":\([0-9]*\).*/\1/p' "$work/timing" | head -1)
    mb=$(sed -n 's/.*"peak_rss_mb":\([0-9.]*\).*/\1/p' "$work/timing" | head -1)
    printf "%-8s %9s %10.3f %9s %6s %6s %10s\n" "$kind" "$n" "$(awk "BEGIN{print $end - $start}")" "$fit" "$it" "$ev" "$mb"
  done
done
