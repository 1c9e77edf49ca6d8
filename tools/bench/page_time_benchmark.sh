#!/usr/bin/env bash
# The whole `huecl print` process on the built-in A4 page, as /usr/bin/time
# sees it: wall and CPU (user + system) seconds, medians of RUNS runs, with
# one thread pinned to one core (taskset -c 0), one thread, and two threads.
# Several builds run interleaved in one session, so that they share the
# machine's load alike; the load average before and after is printed.
#   page_time_benchmark.sh RUNS HUECL [HUECL...] [-- extra print options]
set -euo pipefail

runs=$1
shift
builds=()
while [[ $# -gt 0 && $1 != -- ]]; do
  builds+=("$1")
  shift
done
[[ $# -gt 0 ]] && shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
for _ in $(seq "$runs"); do
  for mode in one-core 1 2; do
    for index in "${!builds[@]}"; do
      command=("${builds[$index]}" print -q -o "$work/out" "$@")
      if [[ $mode == one-core ]]; then
        command=(taskset -c 0 "${command[@]}" --threads 1)
      else
        command+=(--threads "$mode")
      fi
      rm -rf "$work/out"
      /usr/bin/time -f "%e %U %S" -o "$work/time" "${command[@]}" >/dev/null
      echo "$index $mode $(cat "$work/time")" >>"$work/all"
    done
  done
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

printf '| build | one core: wall | CPU | 1 thread: wall | CPU | 2 threads: wall | CPU | 1 thread / 2 threads | one core / 2 threads |\n'
printf '|---|---|---|---|---|---|---|---|---|\n'
for index in "${!builds[@]}"; do
  declare -A wall=() cpu=()
  for mode in one-core 1 2; do
    wall[$mode]=$(awk -v i="$index" -v m="$mode" '$1 == i && $2 == m { print $3 }' "$work/all" | median)
    cpu[$mode]=$(awk -v i="$index" -v m="$mode" '$1 == i && $2 == m { print $4 + $5 }' "$work/all" | median)
  done
  printf '| %s | %s | %s | %s | %s | %s | %s | %.2f | %.2f |\n' "${builds[$index]}" \
    "${wall[one-core]}" "${cpu[one-core]}" "${wall[1]}" "${cpu[1]}" "${wall[2]}" "${cpu[2]}" \
    "$(awk -v a="${wall[1]}" -v b="${wall[2]}" 'BEGIN { print a / b }')" \
    "$(awk -v a="${wall[one-core]}" -v b="${wall[2]}" 'BEGIN { print a / b }')"
done
