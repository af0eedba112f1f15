#!/usr/bin/env bash
# Times base64 and quoted-printable on the same data through GNU base64
# (coreutils) and Python's binascii, next to the library's own benchmark, in
# one run. Sizes: 1 MiB and 64 MiB.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target mail_codec_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== velkor (Google Benchmark)"
build/bench/mail_codec_bench --benchmark_min_time=0.5 2>/dev/null | grep -E '^BM_'

for mib in 1 64; do
  head -c $((mib * 1024 * 1024)) /dev/urandom > "$work/data.bin"
  base64 -w 76 "$work/data.bin" > "$work/data.b64"
  echo "== GNU base64, $mib MiB (best of 5, file to /dev/null)"
  for op in encode decode; do
    best=""
    for _ in 1 2 3 4 5; do
      start=$(date +%s.%N)
      if [ $op = encode ]; then base64 -w 76 "$work/data.bin" >/dev/null; else base64 -d "$work/data.b64" >/dev/null; fi
      t=$(echo "$(date +%s.%N) - $start" | bc -l)
      if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
    done
    in=$([ $op = encode ] && stat -c %s "$work/data.bin" || stat -c %s "$work/data.b64")
    printf '  base64 %-6s %8.1f MB/s\n' $op "$(echo "$in / $best / 1000000" | bc -l)"
  done
  echo "== Python binascii, $mib MiB (best of 5, in memory)"
  /usr/bin/python3 - "$work/data.bin" <<'PY'
import binascii, sys, time, random
data = open(sys.argv[1], 'rb').read()
# The same mix as the library's benchmark text: 85% letters, 10% blanks,
# 5% 8-bit bytes (blanks and 8-bit bytes are escaped).
def mix(r):
    return 97 + r % 26 if r < 85 else 32 if r < 95 else 0xB0 + r % 16
rng = random.Random(11)
unit = bytes(mix(rng.randrange(100)) for _ in range(1 << 16))
text = (unit * (len(data) // len(unit) + 1))[:len(data)]
def best(f, arg):
    t = min((lambda s: (f(arg), time.perf_counter() - s)[1])(time.perf_counter()) for _ in range(5))
    return len(arg) / t / 1e6
b64 = b''.join(binascii.b2a_base64(data[i:i+57]) for i in range(0, len(data), 57))
qp = binascii.b2a_qp(text, quotetabs=True)
print('  base64 encode %8.1f MB/s' % best(lambda d: [binascii.b2a_base64(d[i:i+57]) for i in range(0, len(d), 57)], data))
print('  base64 decode %8.1f MB/s' % best(binascii.a2b_base64, b64))
print('  qp     encode %8.1f MB/s' % best(lambda d: binascii.b2a_qp(d, quotetabs=True), text))
print('  qp     decode %8.1f MB/s' % best(binascii.a2b_qp, qp))
PY
done
