#!/usr/bin/env bash
# Sends 100 MB of mail (ten 10 MB messages; 1000 messages of 100 KB) to a
# local SMTP sink that discards it, and fetches the same messages from a
# private Dovecot, with the library (one process, one connection) and with
# curl (one process, its connection reused), in the same run; prints wall
# time and CPU (perf task clock, else user+sys), best of REPEAT runs, and the ratios velkor/curl;
# the 1000 small messages also through STARTTLS.
#   bench/mail_transfer_bench.sh [REPEAT]     (Dovecot needs root)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/deps.sh
source scripts/lib/bench.sh
velkor_ensure_packages
repeat=${1:-3}
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target smtp_sink mail_transfer >/dev/null

work=$(mktemp -d /tmp/velkor-mailbench.XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT



# Messages: a header and base64 lines with CR LF ends.
make_set() {
  local name=$1 count=$2 bytes=$3
  mkdir -p "$work/$name"
  for i in $(seq -w 1 "$count"); do
    { printf 'From: a@example.org\r\nTo: b@example.org\r\nSubject: %s %s\r\n\r\n' "$name" "$i"
      head -c $((bytes * 3 / 4)) /dev/urandom | base64 -w 76 | sed 's/$/\r/'
    } > "$work/$name/$i.eml"
  done
}
make_set big 10 $((10 * 1000 * 1000))
make_set small 1000 $((100 * 1000))

sink_port=$(velkor_free_port)
build/bench/smtp_sink "$sink_port" &
pids+=($!)
wait_port "$sink_port"

curl_send_config() {
  for f in "$work/$1"/*.eml; do
    printf 'next\nurl = "smtp://127.0.0.1:%s"\nmail-from = "a@example.org"\nmail-rcpt = "b@example.org"\nupload-file = "%s"\n' "$sink_port" "$f"
  done | tail -n +2 > "$work/curl-send-$1.cfg"
}


for set in big small; do
  curl_send_config $set
  ours=$(measure build/bench/mail_transfer send 127.0.0.1 "$sink_port" "$work/$set"/*.eml)
  theirs=$(measure curl -s -K "$work/curl-send-$set.cfg")
  report_pair "send $set" "$ours" "$theirs"
done

# The small set again through STARTTLS (a private CA both tools trust).
tests/peers/tls-ca.sh "$work"
tls_port=$(velkor_free_port)
build/bench/smtp_sink "$tls_port" "$work/tls/server.crt" "$work/tls/server.key" &
pids+=($!)
wait_port "$tls_port"
for f in "$work/small"/*.eml; do
  printf 'next\nurl = "smtp://127.0.0.1:%s"\nssl-reqd\ncacert = "%s"\nmail-from = "a@example.org"\nmail-rcpt = "b@example.org"\nupload-file = "%s"\n' \
    "$tls_port" "$work/tls/ca.crt" "$f"
done | tail -n +2 > "$work/curl-send-tls.cfg"
ours=$(VELKOR_BENCH_CA=$work/tls/ca.crt measure build/bench/mail_transfer send 127.0.0.1 "$tls_port" "$work/small"/*.eml)
theirs=$(measure curl -s -K "$work/curl-send-tls.cfg")
report_pair "send small STARTTLS" "$ours" "$theirs"

if [ "$(id -u)" -ne 0 ]; then
  echo "fetch: skipped (Dovecot needs root)"
  exit 0
fi
user=mailuser pass=p0p-Pass
for set in big small; do
  port=$(velkor_free_port)
  tests/peers/dovecot.sh "$port" "$work/dovecot-$set" "$user" "$pass" >/dev/null 2>&1 &
  pids+=($!)
  wait_port "$port"
  maildir=$work/dovecot-$set/home/$user/Maildir
  for f in "$work/$set"/*.eml; do cp "$f" "$maildir/new/$(basename "$f" .eml).host"; done
  chown -R nobody: "$maildir"
  # The first session indexes the mailbox; neither tool pays for that.
  build/bench/mail_transfer fetch 127.0.0.1 "$port" "$user" "$pass" 2>/dev/null
  count=$(ls "$work/$set" | wc -l)
  for n in $(seq 1 "$count"); do
    printf 'next\nurl = "pop3://%s:%s@127.0.0.1:%s/%s"\noutput = "/dev/null"\n' "$user" "$pass" "$port" "$n"
  done | tail -n +2 > "$work/curl-fetch-$set.cfg"
  ours=$(measure build/bench/mail_transfer fetch 127.0.0.1 "$port" "$user" "$pass")
  theirs=$(measure curl -s -K "$work/curl-fetch-$set.cfg")
  report_pair "fetch $set" "$ours" "$theirs"
done
