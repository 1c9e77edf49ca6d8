#!/usr/bin/env bash
# The page benchmark: runs `huecl print` on the built-in A4 page (300 dpi
# source, 600 dpi device) several times with one thread and with all cores,
# and prints a Markdown table of the medians: CPU seconds per stage (summed
# over threads), wall seconds in all, and the peak memory. Usage: page_benchmark.sh HUECL [RUNS] [extra print options]
set -euo pipefail

huecl=$1
runs=${2:-5}
shift $(( $# >= 2 ? 2 : 1 ))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cores=$(nproc)
stages=(read rgb match cmyk dither lzs preview write)

# Median of the numbers on standard input.
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Pulls "NAME VALUE" out of a summary line.
field() { grep -o " $1 [0-9.]*" | awk '{ print $2 }'; }

printf '| threads |'
for stage in "${stages[@]}"; do printf ' %s |' "$stage"; done
printf ' wall total | peak MiB | compressed bytes |\n|---|'
for _ in "${stages[@]}"; do printf -- '---|'; done
printf -- '---|---|---|\n'

for threads in 1 "$cores"; do
  for run in $(seq "$runs"); do
    "$huecl" print --quiet --threads "$threads" -o "$work/out" "$@" >"$work/summary-$threads-$run.txt"
    rm -rf "$work/out"
  done
  printf '| %s |' "$threads"
  for stage in "${stages[@]}"; do
    printf ' %.3f |' "$(cat "$work"/summary-"$threads"-*.txt | field "$stage" | median)"
  done
  total=$(cat "$work"/summary-"$threads"-*.txt | grep -o 'wall [0-9.]* seconds' | awk '{ print $2 }' | median)
  memory=$(cat "$work"/summary-"$threads"-*.txt | grep -o 'peak memory [0-9]*' | awk '{ print $3 }' | median)
  bytes=$(head -1 "$work/summary-$threads-1.txt" | grep -o '[0-9]* compressed bytes' | awk '{ print $1 }')
  printf ' %.3f | %s | %s |\n' "$total" "$memory" "$bytes"
done
