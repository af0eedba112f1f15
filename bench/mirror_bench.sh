#!/usr/bin/env bash
# Mirrors a tree of 2000 files of 4 KiB in 200 folders from vsftpd (as root;
# pyftpdlib otherwise) with `velkor ftp mirror` and with lftp's mirror, over
# 1 and over 4 logons, and prints the wall and CPU times and their ratios
# velkor / lftp (best of REPEAT runs, a fresh target each run).
#   bench/mirror_bench.sh [REPEAT]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/deps.sh
velkor_ensure_packages
repeat=${1:-3}
work=$(mktemp -d)
source scripts/lib/bench.sh
chmod 755 "$work"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target velkor >/dev/null
velkor=$PWD/build/tools/velkor/velkor
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT

user=velkorftp pass=ftp-Pass1
root=$work/root
for d in $(seq 200); do
  mkdir -p "$root/dir $d"
  for f in $(seq 10); do head -c 4096 /dev/urandom >"$root/dir $d/file$f.bin"; done
done
port=$(velkor_free_port)
if [ "$(id -u)" -eq 0 ]; then
  server=vsftpd
  tests/peers/ensure-user.sh "$user" "$pass" >/dev/null 2>&1
  chown -R "$user" "$root"
  tests/peers/vsftpd.sh "$port" "$root" "$user" "$work/conf" >/dev/null 2>&1 &
else
  server=pyftpdlib
  tests/peers/pyftpdlib.sh "$port" "$root" "$user" "$pass" >/dev/null 2>&1 &
fi
pid=$!
wait_port "$port"

velkor_mirror() {
  rm -rf "$work/v"
  VELKOR_PASSWORD=$pass "$velkor" ftp -q mirror --parallel "$1" "ftp://$user@127.0.0.1:$port/" "$work/v"
  diff -r "$root" "$work/v" >/dev/null
}
lftp_mirror() {
  rm -rf "$work/l"
  lftp -u "$user,$pass" -e "set net:max-retries 1; mirror --parallel=$1 . $work/l; quit" "ftp://127.0.0.1:$port"
  diff -r "$root" "$work/l" >/dev/null
}
for n in 1 4; do
  read -r vw vc <<<"$(measure velkor_mirror "$n")"
  read -r lw lc <<<"$(measure lftp_mirror "$n")"
  printf '%-9s 2000 x 4 KiB, --parallel %d: velkor %5.2f s wall %5.2f s CPU | lftp %5.2f s wall %5.2f s CPU | ratio wall %.2f CPU %.2f\n' \
    "$server" "$n" "$vw" "$vc" "$lw" "$lc" "$(echo "$vw / $lw" | bc -l)" "$(echo "$vc / $lc" | bc -l)"
done
