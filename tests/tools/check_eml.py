#!/usr/bin/python3
"""Independent check of a composed message with Python's email package.

check_eml.py MESSAGE [--html FILE] [--resource FILE]... [--attach FILE]...

--html FILE      the decoded HTML part must equal FILE's bytes with line ends
                 made CR LF (the cid: rewriting is checked separately)
--resource FILE  the embedded parts, in order, must decode to these files
--attach FILE    the attachment parts, in order, must decode to these files
                 (a message/rfc822 part must parse as the file does) and
                 carry their names
Every "cid:" in the HTML must name a part of the related body.
Prints what is wrong and exits 1; exits 0 when all holds.
"""
import email
import email.policy
import re
import sys


def normalise(data):
    return re.sub(rb"\r?\n", b"\r\n", data)


def fail(msg):
    print(msg)
    sys.exit(1)


def main():
    args = sys.argv[1:]
    path = args.pop(0)
    html = None
    resources, attachments = [], []
    while args:
        opt, val = args.pop(0), args.pop(0)
        if opt == "--html":
            html = val
        elif opt == "--resource":
            resources.append(val)
        elif opt == "--attach":
            attachments.append(val)
        else:
            fail("unknown option " + opt)

    raw = open(path, "rb").read()
    msg = email.message_from_bytes(raw, policy=email.policy.compat32)
    problems = []
    for part in msg.walk():
        for d in part.defects:
            problems.append("defect: %r in %s" % (d, part.get_content_type()))
    if attachments:
        if msg.get_content_type() != "multipart/mixed":
            fail("expected multipart/mixed, got " + msg.get_content_type())
        parts = msg.get_payload()
        related, rest = parts[0], parts[1:]
        if related.get_content_type() != "multipart/related":
            fail("first part of mixed is " + related.get_content_type())
    else:
        if msg.get_content_type() != "multipart/related":
            fail("expected multipart/related, got " + msg.get_content_type())
        related, rest = msg, []

    inner = related.get_payload()
    if not inner or inner[0].get_content_type() != "text/html":
        fail("first related part is not text/html")
    body = inner[0].get_payload(decode=True)
    if html is not None:
        want = normalise(open(html, "rb").read())
        if body != want:
            problems.append("HTML part differs: got %r..., want %r..." % (body[:80], want[:80]))
    cids = {}
    for p in inner[1:]:
        cid = (p.get("Content-ID") or "").strip()
        if not (cid.startswith("<") and cid.endswith(">")):
            problems.append("resource part without Content-ID")
            continue
        cids[cid[1:-1]] = p
    for ref in re.findall(rb"cid:([^\"'\s>)]+)", body):
        if ref.decode("latin-1") not in cids:
            problems.append("cid:%s names no part" % ref.decode("latin-1"))
    if len(inner) - 1 != len(resources) and resources:
        problems.append("%d resource parts, expected %d" % (len(inner) - 1, len(resources)))
    for p, f in zip(inner[1:], resources):
        if p.get_payload(decode=True) != open(f, "rb").read():
            problems.append("resource part differs from " + f)
    if len(rest) != len(attachments):
        problems.append("%d attachment parts, expected %d" % (len(rest), len(attachments)))
    for p, f in zip(rest, attachments):
        data = open(f, "rb").read()
        if p.get_content_type() == "message/rfc822":
            # A message part is parsed, not decoded: it must read as the file does.
            inner_msg = p.get_payload()
            if not isinstance(inner_msg, list) or len(inner_msg) != 1 or \
                    inner_msg[0].as_bytes() != email.message_from_bytes(data).as_bytes():
                problems.append("message part differs from " + f)
        elif p.get_payload(decode=True) != data:
            problems.append("attachment part differs from " + f)
        name = f.rsplit("/", 1)[-1]
        if p.get_filename() != name:
            problems.append("attachment filename %r, expected %r" % (p.get_filename(), name))
        if p.get_content_disposition() != "attachment":
            problems.append("attachment without attachment disposition")
    if problems:
        fail("\n".join(problems))


main()
