# Helpers the comparison benchmarks share. Sourced after `repeat` (runs per
# measurement) and `work` (a scratch folder) are set.

# Waits up to 15 s for 127.0.0.1:PORT to accept connections.
wait_port() {
  for _ in $(seq 150); do
    (exec 3<>/dev/tcp/127.0.0.1/"$1") 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# CPU time is perf's task clock where perf runs (the scheduler's own count),
# else user + sys from rusage (sampled at timer ticks).
if command -v perf >/dev/null 2>&1 && perf stat -e task-clock -x, -o /dev/null true 2>/dev/null; then
  bench_cpu_clock=perf
else
  bench_cpu_clock=rusage
fi

# Runs a command REPEAT times; prints the lowest wall time and the lowest
# CPU time of the runs, "wall cpu" (cpu = the task clock, else user + sys). A failing run stops the benchmark with
# its error output.
measure() {
  local best_wall="" best_cpu=""
  for _ in $(seq "$repeat"); do
    local out wall usr sys cpu
    if [ "$bench_cpu_clock" = perf ]; then
      if ! out=$( { TIMEFORMAT='%R'; time perf stat -e task-clock -x, -o "$work/perf" "$@" >/dev/null 2>"$work/err"; } 2>&1 | tail -1); then
        echo "failed: $*" >&2
        cat "$work/err" >&2
        exit 1
      fi
      wall=$out
      cpu=$(echo "$(grep task-clock "$work/perf" | cut -d, -f1) / 1000" | bc -l)
    else
      if ! out=$( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null 2>"$work/err"; } 2>&1 | tail -1); then
        echo "failed: $*" >&2
        cat "$work/err" >&2
        exit 1
      fi
      read -r wall usr sys <<<"$out"
      cpu=$(echo "$usr + $sys" | bc -l)
    fi
    if [ -z "$best_wall" ] || [ "$(echo "$wall < $best_wall" | bc -l)" = 1 ]; then best_wall=$wall; fi
    if [ -z "$best_cpu" ] || [ "$(echo "$cpu < $best_cpu" | bc -l)" = 1 ]; then best_cpu=$cpu; fi
  done
  echo "$best_wall $best_cpu"
}

# One line comparing two "wall cpu" results: LABEL OURS THEIRS.
report_pair() {
  local w1 c1 w2 c2
  read -r w1 c1 <<<"$2"
  read -r w2 c2 <<<"$3"
  printf '%-28s velkor %6.2f s wall %6.2f s CPU | curl %6.2f s wall %6.2f s CPU | ratio wall %.2f CPU %.2f\n' \
    "$1" "$w1" "$c1" "$w2" "$c2" "$(echo "$w1 / $w2" | bc -l)" "$(echo "$c1 / $c2" | bc -l)"
}
