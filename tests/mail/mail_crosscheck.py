#!/usr/bin/python3
"""Reads and writes mail with the library and with Python's email package
and compares: part tree (depths and types), decoded bytes, file names, and
for composed mail the absence of any defect Python finds; and the codecs
against Python's base64, binascii, quopri and email.header and GNU
uuencode/uudecode.

usage: mail_crosscheck.py DUMP_TOOL VELKOR_TOOL
"""
import base64
import binascii
import glob
import json
import os
import quopri
import random
import subprocess
import sys
import tempfile
from email import policy
from email.header import Header, decode_header
from email.message import EmailMessage
from email.parser import BytesParser

DUMP, TOOL = sys.argv[1], sys.argv[2]
CPYTHON_DATA = "/usr/lib/python3.11/test/test_email/data"
failures = []

# CPython sample mails whose reading differs from Python's on purpose; the
# reason is what the library does.
KNOWN = {
    "msg_33.txt": "an RFC 2231 boundary (boundary*=) is not decoded, so no part is found",
    "msg_37.txt": "a part without a blank line after its header ends the analysis (result 0)",
}
compared = {"leaves": 0, "bytes": 0}


def python_tree(raw):
    msg = BytesParser(policy=policy.default).parsebytes(raw)
    parts = []

    def walk(part, depth, opaque):
        entry = {"depth": depth, "type": part.get_content_type(), "content": None,
                 "name": None, "opaque": opaque}
        parts.append(entry)
        if part.get_content_maintype() == "multipart" and isinstance(part.get_payload(), list):
            for sub in part.get_payload():
                walk(sub, depth + 1, opaque)
            return
        if part.get_content_maintype() == "message" or opaque:
            entry["opaque"] = True
            return
        entry["content"] = part.get_payload(decode=True)
        entry["name"] = part.get_filename() if part.get("content-disposition") else None
    walk(msg, 0, False)
    defects = list(msg.defects) + [d for p in msg.walk() for d in p.defects]
    return msg, parts, defects


def our_trees(paths):
    out = subprocess.run([DUMP] + paths, check=True, capture_output=True).stdout.decode()
    return [json.loads(line) for line in out.splitlines()]


def compare(label, raw, ours):
    """Returns the first disagreement, or None."""
    _, theirs, _ = python_tree(raw)
    mine = ours["parts"]
    if not ours["ok"]:
        return "analysis failed"
    if len(mine) != len(theirs) and not any(t["opaque"] for t in theirs):
        return f"{len(mine)} parts, Python {len(theirs)}"
    for i, (m, t) in enumerate(zip(mine, theirs)):
        if t["opaque"]:
            break  # Python reads inside message/rfc822, the library keeps it whole
        if (m["depth"], m["type"]) != (t["depth"], t["type"]):
            return f"part {i}: {m['depth']} {m['type']}, Python {t['depth']} {t['type']}"
        if t["content"] is not None:
            compared["leaves"] += 1
            compared["bytes"] += len(t["content"])
        if t["content"] is not None and bytes.fromhex(m["content"]) != t["content"]:
            return f"part {i} ({t['type']}): {len(m['content']) // 2} bytes, Python {len(t['content'])}"
        if t["name"] is not None and bytes.fromhex(m["name"]).decode("utf-8", "replace") != t["name"]:
            return f"part {i}: name {bytes.fromhex(m['name'])!r}, Python {t['name']!r}"
    return None


def generated_messages():
    rnd = random.Random(7)
    blob = bytes(range(256)) * 4 + rnd.randbytes(3000)
    msgs = {}

    def base(subject="Test"):
        m = EmailMessage()
        m["From"] = "Ann <ann@example.org>"
        m["To"] = "Bob <bob@example.org>, Zoë <zoe@example.org>"
        m["Subject"] = subject
        return m

    for cte in ("7bit", "8bit", "quoted-printable", "base64"):
        m = base("Grüße " + cte)
        body = "Hello\n.dot line\nFrom here\n" if cte == "7bit" else "Grüße, 你好\n" * 40
        m.set_content(body, cte=cte)
        msgs[f"plain-{cte}"] = m
    m = base("中文")
    m.set_content("中文邮件正文\n".encode("gb2312"), maintype="text", subtype="plain",
                  cte="base64", params={"charset": "gb2312"})
    msgs["gb2312"] = m
    m = base("日本語")
    m.set_content("こんにちは\n".encode("iso-2022-jp"), maintype="text", subtype="plain",
                  cte="7bit", params={"charset": "iso-2022-jp"})
    msgs["iso-2022-jp"] = m
    m = base("alternative")
    m.set_content("plain text\n")
    m.add_alternative("<p>html text</p>\n", subtype="html")
    msgs["alternative"] = m
    m = base("related")
    m.set_content("plain\n")
    m.add_alternative('<img src="cid:img1@x"><img src="cid:img2@x">\n', subtype="html")
    html = m.get_payload()[1]
    html.add_related(blob[:500], "image", "png", cid="<img1@x>")
    html.add_related(blob[500:900], "image", "gif", cid="<img2@x>")
    msgs["related"] = m
    m = base("mixed")
    m.set_content("see attachments\n")
    m.add_attachment(blob, maintype="application", subtype="octet-stream", filename="blob.bin")
    m.add_attachment(b"", maintype="application", subtype="octet-stream", filename="empty.dat")
    m.add_attachment("résumé\n".encode(), maintype="text", subtype="plain",
                     filename="résumé.txt")
    m.add_attachment(b"\0\0\0 nul", maintype="application", subtype="x-nul", filename="nul.bin")
    msgs["mixed"] = m
    m = base("nested " + "long subject " * 12)
    m["Cc"] = ", ".join(f"user{i} <user{i}@example.org>" for i in range(30))
    m.set_content("outer text\n")
    m.add_alternative("<p>outer html</p>\n", subtype="html")
    inner = EmailMessage()
    inner.set_content("inner text\n")
    inner.add_attachment(blob[:100], maintype="application", subtype="octet-stream",
                         filename="inner.bin")
    m.make_mixed()
    m.attach(inner)
    m.add_attachment(blob[:70000] if len(blob) > 70000 else blob * 20,
                     maintype="application", subtype="octet-stream", filename="big.bin")
    msgs["nested"] = m
    return {name: m.as_bytes(policy=policy.SMTP) for name, m in msgs.items()}


def check_reading(tmp):
    raws = generated_messages()
    paths = []
    for name, raw in raws.items():
        path = os.path.join(tmp, name + ".eml")
        with open(path, "wb") as f:
            f.write(raw)
        paths.append(path)
    for path, ours in zip(paths, our_trees(paths)):
        with open(path, "rb") as f:
            why = compare(path, f.read(), ours)
        if why:
            failures.append(f"reading {os.path.basename(path)}: {why}")
    print(f"generated mails read: {len(paths)}")


def check_uu(tmp):
    data = random.Random(3).randbytes(5000)
    src = os.path.join(tmp, "uu-data.bin")
    with open(src, "wb") as f:
        f.write(data)
    block = subprocess.run(["uuencode", src, "photo.jpg"], check=True,
                           capture_output=True).stdout.decode()
    mail = ("From: a@example.org\r\nSubject: uu\r\n\r\nHere it is:\r\n\r\n" +
            block.replace("\n", "\r\n")).encode()
    path = os.path.join(tmp, "uu.eml")
    with open(path, "wb") as f:
        f.write(mail)
    ours = our_trees([path])[0]
    parts = ours["parts"]
    if [p["type"] for p in parts] != ["text/plain", "application/octet-stream"] or \
            bytes.fromhex(parts[1]["content"]) != data or \
            bytes.fromhex(parts[1]["name"]) != b"photo.jpg" or ours["attachments"] != 1:
        failures.append(f"uuencode block: {parts}")
    print("uuencode block read")


def codec(op, data, *args):
    run = subprocess.run([DUMP, "--codec", op, *args], input=data, capture_output=True)
    return run.returncode, run.stdout


def check_codecs(tmp):
    data = random.Random(5).randbytes(100000)
    # Python ends every line with LF, the last one too; ours ends with a
    # break only when the last line is full.
    ours = codec("b64enc", data)[1]
    if base64.b64decode(ours) != data or \
            ours + (b"" if ours.endswith(b"\r\n") else b"\r\n") != \
            base64.encodebytes(data).replace(b"\n", b"\r\n"):
        failures.append("base64 differs from Python's")
    data = random.Random(9).randbytes(20000) + b"plain text line\r\nwith = signs\tand tabs "
    ours = codec("qpenc", data)[1]
    if binascii.a2b_qp(ours) != data or quopri.decodestring(ours) != data:
        failures.append("quoted-printable is not read back by Python")
    # Python decodes lower-case escapes; ours leaves them alone by design.
    if codec("qpdec", b"x=3Dy a=3db")[1] != b"x=y a=3db" or binascii.a2b_qp(b"a=3db") != b"a=b":
        failures.append("quoted-printable lower-case escapes")
    for size in (0, 1, 44, 45, 46, 1000, 100000):
        data = random.Random(size).randbytes(size)
        src = os.path.join(tmp, "in.bin")
        with open(src, "wb") as f:
            f.write(data)
        rc, block = codec("uuenc", b"", src)
        back = subprocess.run(["uudecode", "-o", "-"], input=block, capture_output=True).stdout
        gnu = subprocess.run(["uuencode", src, "report.txt"], capture_output=True).stdout
        rc2, ours = codec("uudec", b"Some text first\r\n" + gnu.replace(b"\n", b"\r\n"))
        if rc or not block.startswith(b"begin 6") or b" in.bin\n" not in block or back != data or \
                rc2 or ours != data:
            failures.append(f"uuencode of {size} bytes")
    if codec("uuenc", b"", os.path.join(tmp, "missing"))[1] != b"untouched":
        failures.append("uuencode of a missing file changed its output")
    # A long GB2312 name (every character two bytes) encoded by us.
    name = b"\xD6\xD0\xCE\xC4" * 37
    parts = decode_header(codec("hdrenc", name, "GB2312")[1].decode("ascii"))
    if b"".join(p for p, _ in parts) != name or any(c.lower() != "gb2312" for _, c in parts):
        failures.append(f"GB2312 words: {parts}")
    text = "Grüße aus 北京 und mehr Text, der umbricht"
    if codec("hdrdec", Header(text, "utf-8").encode().encode())[1] != b"utf-8\n" + text.encode():
        failures.append("UTF-8 words made by Python")
    jp = Header("日本語", "iso-2022-jp").encode() + " <jp@example.jp>"
    if codec("addrname", jp.encode())[1] != "日本語".encode("shift_jis"):
        failures.append("ISO-2022-JP name made by Python")
    print("codecs compared")


def check_cpython_data():
    paths = sorted(glob.glob(os.path.join(CPYTHON_DATA, "msg_*.txt")))
    if not paths:
        failures.append(f"no sample mails in {CPYTHON_DATA}")
        return
    agreed = skipped = 0
    seen_known = set()
    for path, ours in zip(paths, our_trees(paths)):
        name = os.path.basename(path)
        with open(path, "rb") as f:
            raw = f.read().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
        _, _, defects = python_tree(raw)
        if defects:
            skipped += 1
            continue  # not well-formed: reading it must only not crash (it did not)
        why = compare(name, raw, ours)
        if why is None:
            agreed += 1
        elif name in KNOWN:
            seen_known.add(name)
            print(f"  {name}: {why} [{KNOWN[name]}]")
        else:
            failures.append(f"CPython sample {name}: {why}")
    print(f"CPython sample mails: {len(paths)} read, {skipped} with defects (read without a "
          f"crash), {agreed} well-formed ones agree, {len(seen_known)} known differences")
    for name in sorted(set(KNOWN) - seen_known):
        print(f"  {name} now agrees: drop it from KNOWN")


def check_composing(tmp):
    rnd = random.Random(11)
    files = {
        "text.txt": "Hello,\nlines with . and\n.leading dots\nend\n".encode(),
        "page.html": None,
        "photo.png": rnd.randbytes(3000),
        "Grüße 你好.bin": bytes(range(256)) * 3,
        "empty.dat": b"",
    }
    for name, data in files.items():
        if data is not None:
            with open(os.path.join(tmp, name), "wb") as f:
                f.write(data)
    img = os.path.join(tmp, "photo.png")
    with open(os.path.join(tmp, "page.html"), "w") as f:
        f.write(f'<html><body><p>Hi</p><img src="{img}"><img src="/no/such.png"></body></html>\n')
    out = os.path.join(tmp, "composed.eml")
    attach = [os.path.join(tmp, n) for n in ("Grüße 你好.bin", "empty.dat")]
    cmd = [TOOL, "mail", "compose", "--from", "Ann Ö <ann@example.org>",
           "--to", "bob@example.org", "--to", "Zoë <zoe@example.org>", "--cc", "c@example.org",
           "--bcc", "hidden@example.org", "--subject", "Grüße " * 20 + "end",
           "--text", os.path.join(tmp, "text.txt"), "--html", os.path.join(tmp, "page.html"),
           "-o", out]
    for a in attach:
        cmd += ["--attach", a]
    subprocess.run(cmd, check=True)
    with open(out, "rb") as f:
        raw = f.read()
    msg, parts, defects = python_tree(raw)
    if defects:
        failures.append(f"composed mail: Python finds defects {defects}")
    expect = ["multipart/mixed", "multipart/alternative", "text/plain", "multipart/related",
              "text/html", "application/octet-stream", "application/octet-stream",
              "application/octet-stream"]
    if [p["type"] for p in parts] != expect:
        failures.append(f"composed tree {[p['type'] for p in parts]}")
    else:
        text = files["text.txt"].replace(b"\n", b"\r\n")
        if parts[2]["content"] != text:
            failures.append(f"composed text {parts[2]['content']!r}")
        html = parts[4]["content"].decode()
        image = parts[5]
        cid = msg.get_payload()[0].get_payload()[1].get_payload()[1]["Content-ID"]
        if f'src="cid:{cid.strip("<>")}"' not in html or "/no/such.png" not in html or \
                image["content"] != files["photo.png"] or image["name"] != "photo.png":
            failures.append(f"composed related part: {html!r} {cid}")
        for got, name in zip(parts[6:], ("Grüße 你好.bin", "empty.dat")):
            if got["content"] != files[name] or got["name"] != name:
                failures.append(f"composed attachment {name}: {got['name']!r}")
    if str(msg["subject"]) != "Grüße " * 20 + "end" or msg["message-id"] is None or \
            str(msg["from"]) != "Ann Ö <ann@example.org>":
        failures.append(f"composed header: {msg['subject']!r} {msg['from']!r}")
    # And the library reads its own mail as Python does.
    why = compare("composed", raw, our_trees([out])[0])
    if why:
        failures.append(f"reading the composed mail: {why}")
    print("composed mail read by Python without defects" if not defects else "")


def check_tool(tmp):
    """velkor mail show and extract through their real output."""
    m = EmailMessage()
    m["From"] = "Zoë <zoe@example.org>"
    m["To"] = "bob@example.org"
    m["Subject"] = "Grüße"
    m.set_content("text\n")
    names = ["../../x", "/etc/x", "a\\..\\b", "", "..", "é" * 150 + ".txt", "same", "same"]
    for i, name in enumerate(names):
        m.add_attachment(f"data {i}".encode(), maintype="application", subtype="octet-stream",
                         filename=name)
    path = os.path.join(tmp, "names.eml")
    with open(path, "wb") as f:
        f.write(m.as_bytes(policy=policy.SMTP))
    env = dict(os.environ, LC_ALL="C.UTF-8")
    show = subprocess.run([TOOL, "mail", "show", path], capture_output=True, env=env)
    lines = show.stdout.decode().splitlines()
    if show.returncode != 0 or "Subject: Grüße" not in lines or "From:    Zoë <zoe@example.org>" \
            not in lines or not any("application/octet-stream 6 bytes" in l for l in lines):
        failures.append(f"mail show: {show.returncode} {lines}")
    out = os.path.join(tmp, "extracted")
    os.mkdir(out)
    run = subprocess.run([TOOL, "mail", "extract", path, out], capture_output=True, env=env)
    written = sorted(os.listdir(out))
    outside = [p for p in ("x", "b") if os.path.exists(os.path.join(tmp, p))]
    contents = sorted(open(os.path.join(out, n), "rb").read() for n in written)
    if run.returncode != 0 or len(written) != len(names) or outside or \
            contents != sorted(f"data {i}".encode() for i in range(len(names))) or \
            any(len(n.encode()) > 255 or n in (".", "..") for n in written):
        failures.append(f"mail extract: {run.returncode} {written} {run.stderr}")
    again = subprocess.run([TOOL, "mail", "extract", path, out], capture_output=True, env=env)
    forced = subprocess.run([TOOL, "mail", "extract", "--force", path, out], capture_output=True,
                            env=env)
    if again.returncode != 10 or b"--force" not in again.stderr or forced.returncode != 0:
        failures.append(f"mail extract again: {again.returncode} {again.stderr} {forced.returncode}")
    missing = subprocess.run([TOOL, "mail", "show", os.path.join(tmp, "none.eml")],
                             capture_output=True)
    if missing.returncode != 9 or b"cannot read" not in missing.stderr:
        failures.append(f"mail show of a missing file: {missing.returncode}")
    print(f"velkor mail show and extract: {len(written)} files, all inside the folder")


with tempfile.TemporaryDirectory() as tmp:
    check_tool(tmp)
    check_reading(tmp)
    check_uu(tmp)
    check_codecs(tmp)
    check_composing(tmp)
    check_cpython_data()
print(f"compared {compared['leaves']} decoded parts, {compared['bytes']} bytes")
for f in failures:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
