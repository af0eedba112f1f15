#!/usr/bin/env bash
# A 1 GiB file from a local nginx to a local file, and a 100 MB body into
# memory (then to /dev/null), with `velkor http get` and in the same run with
# curl (the same engine) for the file and a small libcurl program that
# appends into memory and writes once (bench/curl_memory_get.cpp) for the
# body; prints wall time and CPU (perf task clock, else user+sys), best of REPEAT runs, and the
# ratios velkor/peer.
#   bench/http_bench.sh [REPEAT]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/deps.sh
source scripts/lib/bench.sh
velkor_ensure_packages
repeat=${1:-3}
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target velkor curl_memory_get >/dev/null
velkor=$PWD/build/tools/velkor/velkor

work=$(mktemp -d /tmp/velkor-httpbench.XXXXXX)
chmod 755 "$work"
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT



port=$(velkor_free_port)
tls=$(velkor_free_port)
tests/peers/tls-ca.sh "$work/nginx"
tests/peers/nginx.sh "$port" "$work/nginx" "$tls" >/dev/null 2>&1 &
pid=$!
wait_port "$port"
head -c $((1024 * 1024 * 1024)) /dev/urandom > "$work/nginx/www/big.bin"
head -c $((100 * 1000 * 1000)) /dev/urandom > "$work/nginx/www/body.bin"
url=http://127.0.0.1:$port

ours=$(measure "$velkor" http get -q -o "$work/velkor.bin" "$url/big.bin")
theirs=$(measure curl -s -o "$work/curl.bin" "$url/big.bin")
cmp "$work/velkor.bin" "$work/nginx/www/big.bin"
report_pair "1 GiB to a file" "$ours" "$theirs"
ours=$(measure "$velkor" http get "$url/body.bin")
theirs=$(measure build/bench/curl_memory_get "$url/body.bin")
report_pair "100 MB into memory" "$ours" "$theirs"
