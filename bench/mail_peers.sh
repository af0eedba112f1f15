#!/usr/bin/env bash
# Mail analysis and composition against GMime 3 and Python's email package,
# one run, same data: (a) about 100 MB of typical mails (text + HTML
# alternative + a few attachments, 20-200 KB each), (b) one mail with a
# 64 MiB attachment, analysed with every part decoded into memory, (c) the
# same with every part decoded into a file of its own ("extract"), and (b)
# composed from its parts. Each job runs once per peer in its own process (time and
# peak memory), best of three; then the library's Google Benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target mail_message_bench gmime_mail_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export VELKOR_MAIL_BENCH_DIR=$work

/usr/bin/python3 - "$work" <<'PY'
import os, random, sys
from email import policy
from email.message import EmailMessage
work = sys.argv[1]
os.mkdir(os.path.join(work, "set"))
rnd = random.Random(5)
words = [w for w in "the of and to in is you that it he was for on are as with his they at be this have from or one had by word but not what all were we when your can said there use an each which she do how their if will up other about out many then them these so some her would make like him into time has look two more write go see number no way could people my than first water been call who oil its now find long down day did get come made may part".split()]
total, n = 0, 0
while total < 100 * 1000 * 1000:
    m = EmailMessage()
    m["From"] = f"User {n} <user{n}@example.org>"
    m["To"] = "list@example.org"
    m["Subject"] = " ".join(rnd.choice(words) for _ in range(8))
    size = rnd.randint(20, 200) * 1000
    text = " ".join(rnd.choice(words) for _ in range(size // 40)) + "\n"
    m.set_content(text)
    m.add_alternative("<html><body><p>" + text + "</p></body></html>\n", subtype="html")
    left = max(size - 3 * len(text), 1000)
    for k in range(rnd.randint(1, 3)):
        m.add_attachment(rnd.randbytes(left // 3), maintype="application", subtype="octet-stream",
                         filename=f"file{k}.bin")
    raw = m.as_bytes(policy=policy.SMTP)
    with open(os.path.join(work, "set", f"{n:05d}.eml"), "wb") as f:
        f.write(raw)
    total += len(raw)
    n += 1
big = rnd.randbytes(64 << 20)
with open(os.path.join(work, "big.bin"), "wb") as f:
    f.write(big)
m = EmailMessage()
m["From"] = "Ann <ann@example.org>"
m["To"] = "Bob <bob@example.org>"
m["Subject"] = "big"
m.set_content("Here is the file.\n")
m.add_attachment(big, maintype="application", subtype="octet-stream", filename="big.bin")
with open(os.path.join(work, "big.eml"), "wb") as f:
    f.write(m.as_bytes(policy=policy.SMTP))
print(f"data: {n} mails, {total / 1e6:.1f} MB; big.eml {os.path.getsize(os.path.join(work, 'big.eml')) / 1e6:.1f} MB")
PY

python_peer() {
  /usr/bin/python3 - "$work" "$1" <<'PY'
import os, resource, sys, time
from email import policy
from email.message import EmailMessage
from email.parser import BytesParser
work, job = sys.argv[1], sys.argv[2]
if job == "compose":
    data = open(os.path.join(work, "big.bin"), "rb").read()
    start = time.perf_counter()
    m = EmailMessage()
    m["From"] = "Ann <ann@example.org>"; m["To"] = "Bob <bob@example.org>"; m["Subject"] = "big"
    m.set_content("Here is the file.\n")
    m.add_attachment(data, maintype="application", subtype="octet-stream", filename="big.bin")
    n = len(m.as_bytes(policy=policy.SMTP))
else:
    paths = [os.path.join(work, "set", p) for p in sorted(os.listdir(os.path.join(work, "set")))] \
        if job == "set" else [os.path.join(work, "big.eml")]
    out = os.path.join(work, "out-python")
    os.makedirs(out, exist_ok=True)
    texts = [open(p, "rb").read() for p in paths]
    start = time.perf_counter()
    n = 0
    for t in texts:
        msg = BytesParser(policy=policy.default).parsebytes(t)
        for part in msg.walk():
            if not part.is_multipart():
                payload = part.get_payload(decode=True) or b""
                n += len(payload)
                if job == "extract":
                    with open(os.path.join(out, f"part-{n}"), "wb") as f:
                        f.write(payload)
ms = (time.perf_counter() - start) * 1000
print("python %-8s %9.1f ms  %12d bytes  peak %6d MiB" % (job, ms, n, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss // 1024))
PY
}

best_of_three() {
  for _ in 1 2 3; do "$@"; done | sort -k3 -n | head -1
}

for job in set big extract compose; do
  echo "== $job (best of 3)"
  best_of_three build/bench/mail_message_bench --once $job
  best_of_three build/bench/gmime_mail_bench "$work" $job
  python_peer $job
done

echo "== velkor (Google Benchmark)"
build/bench/mail_message_bench --benchmark_min_time=1 2>/dev/null | grep -E '^BM_'
