#!/usr/bin/env bash
# A 1 GiB file from a local nginx to a local file, and a 100 MB body into
# memory (then to /dev/null), with `velkor http get` and with curl (the same
# engine) in the same run; prints wall time and CPU (user+sys), best of
# REPEAT runs, and the ratios velkor/curl.
#   bench/http_bench.sh [REPEAT]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/deps.sh
velkor_ensure_packages
repeat=${1:-3}
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target velkor >/dev/null
velkor=$PWD/build/tools/velkor/velkor

work=$(mktemp -d /tmp/velkor-httpbench.XXXXXX)
chmod 755 "$work"
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

measure() {
  local best_wall="" best_cpu=""
  for _ in $(seq "$repeat"); do
    local out
    out=$( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null 2>/dev/null; } 2>&1 | tail -1)
    read -r wall usr sys <<<"$out"
    local cpu
    cpu=$(echo "$usr + $sys" | bc -l)
    if [ -z "$best_wall" ] || [ "$(echo "$wall < $best_wall" | bc -l)" = 1 ]; then
      best_wall=$wall
      best_cpu=$cpu
    fi
  done
  echo "$best_wall $best_cpu"
}

report() {
  read -r w1 c1 <<<"$2"
  read -r w2 c2 <<<"$3"
  printf '%-24s velkor %6.2f s wall %6.2f s CPU | curl %6.2f s wall %6.2f s CPU | ratio wall %.2f CPU %.2f\n' \
    "$1" "$w1" "$c1" "$w2" "$c2" "$(echo "$w1 / $w2" | bc -l)" "$(echo "$c1 / $c2" | bc -l)"
}

port=$(velkor_free_port)
tls=$(velkor_free_port)
tests/peers/tls-ca.sh "$work/nginx"
tests/peers/nginx.sh "$port" "$work/nginx" "$tls" >/dev/null 2>&1 &
pid=$!
for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/"$port") 2>/dev/null && break; sleep 0.1; done
head -c $((1024 * 1024 * 1024)) /dev/urandom > "$work/nginx/www/big.bin"
head -c $((100 * 1000 * 1000)) /dev/urandom > "$work/nginx/www/body.bin"
url=http://127.0.0.1:$port

ours=$(measure "$velkor" http get -q -o "$work/velkor.bin" "$url/big.bin")
theirs=$(measure curl -s -o "$work/curl.bin" "$url/big.bin")
cmp "$work/velkor.bin" "$work/nginx/www/big.bin"
report "1 GiB to a file" "$ours" "$theirs"
ours=$(measure "$velkor" http get "$url/body.bin")
theirs=$(measure curl -s -o /dev/null "$url/body.bin")
report "100 MB into memory" "$ours" "$theirs"
