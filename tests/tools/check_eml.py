#!/usr/bin/python3
"""Independent check of a composed message with Python's email package.

check_eml.py MESSAGE [--html FILE] [--resource FILE]... [--cid FILE]... [--attach FILE]...
                    [--header "Name: decoded value"]... [--part-name NAME]...
                    [--text FILE]

--html FILE      the decoded HTML part must equal FILE's bytes with line ends
                 made CR LF (the cid: rewriting is checked separately)
--resource FILE  the embedded parts, in order, must decode to these files
--cid FILE       the parts the HTML names by cid:, in order of first mention,
                 must decode to these files
--attach FILE    the attachment parts, in order, must decode to these files
                 (a message/rfc822 part must parse as the file does) and
                 carry their names
--header H       the header, decoded, must read as given
--part-name N    the parts after the HTML part (resources, then attachments)
                 must carry these file names, in order
--text FILE      the related body is the second half of a multipart/alternative
                 whose first part is text/plain, UTF-8 in quoted-printable,
                 decoding to FILE's text (line ends aside)
Every "cid:" in the HTML must name a part of the related body. The message is
read with the default policy and must have no defects, but for the two that
the encoded-word form of name="..." always draws (kept for older readers; the
RFC 2231 filename beside it is what new readers use). Header lines stay within
998 octets, folded ones within 78, encoded-words within 75.
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


# What Python says of name="=?UTF-8?B?...?=", the form older readers need.
NAME_WORD_DEFECTS = {"encoded word inside quoted string", "missing trailing whitespace after encoded-word"}


def header_blocks(raw):
    """The raw header lines of the message and of each part, by block."""
    blocks, lines, inside = [], raw.split(b"\r\n"), True
    current = []
    for line in lines:
        if inside:
            if line == b"":
                blocks.append(current)
                current, inside = [], False
            else:
                current.append(line)
        elif line.startswith(b"--") and not line.rstrip().endswith(b"--"):
            inside = True
    return blocks


def check_lines(raw, problems):
    for line in raw.split(b"\r\n"):
        if len(line) > 998:
            problems.append("line of %d octets" % len(line))
    for block in header_blocks(raw):
        fields = []
        for line in block:
            if line[:1] in (b" ", b"\t") and fields:
                fields[-1].append(line)
            else:
                fields.append([line])
        for field in fields:
            for word in re.findall(rb"=\?[^?\s]+\?[BbQq]\?[^?\s]*\?=", b"".join(field)):
                if len(word) > 75:
                    problems.append("encoded-word of %d characters: %r" % (len(word), word))
            if len(field) > 1:
                for line in field:
                    if len(line) > 78:
                        problems.append("folded line of %d characters: %r" % (len(line), line))


def check_alternative(alt, path, problems):
    """The text/plain part of alt against the file at path (any text when path
    is None); returns the related body."""
    if alt.get_content_type() != "multipart/alternative":
        fail("expected multipart/alternative, got " + alt.get_content_type())
    parts = alt.get_payload()
    kinds = [p.get_content_type() for p in parts]
    if kinds != ["text/plain", "multipart/related"]:
        fail("alternative holds %r" % kinds)
    plain = parts[0]
    if plain.get_content_charset() != "utf-8" or plain["Content-Transfer-Encoding"] != "quoted-printable":
        problems.append("text part is %s in %s" % (plain.get_content_charset(), plain["Content-Transfer-Encoding"]))
    got = plain.get_payload(decode=True).decode("utf-8").replace("\r\n", "\n")
    want = got if path is None else open(path, encoding="utf-8").read()
    if got != want:
        problems.append("text part differs from %s: got %r" % (path, got[:200]))
    return parts[1]


def main():
    args = sys.argv[1:]
    path = args.pop(0)
    single = {"--html": None, "--text": None}
    lists = {o: [] for o in ("--resource", "--cid", "--attach", "--header", "--part-name")}
    while args:
        opt, val = args.pop(0), args.pop(0)
        if opt in single:
            single[opt] = val
        elif opt in lists:
            lists[opt].append(val)
        else:
            fail("unknown option " + opt)
    html, text = single["--html"], single["--text"]
    resources, named, attachments, names = (lists[o] for o in ("--resource", "--cid", "--attach", "--part-name"))
    headers = [h.split(": ", 1) for h in lists["--header"]]

    raw = open(path, "rb").read()
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    problems = []
    check_lines(raw, problems)
    for part in msg.walk():
        for d in part.defects:
            problems.append("defect: %r in %s" % (d, part.get_content_type()))
        for name, value in part.items():
            for d in getattr(value, "defects", ()):
                if name.lower() == "content-type" and str(d) in NAME_WORD_DEFECTS:
                    continue
                problems.append("defect: %r in %s of %s" % (d, name, part.get_content_type()))
    for name, want in headers:
        if str(msg[name]) != want:
            problems.append("%s reads %r, expected %r" % (name, str(msg[name]), want))
    if attachments:
        if msg.get_content_type() != "multipart/mixed":
            fail("expected multipart/mixed, got " + msg.get_content_type())
        parts = msg.get_payload()
        related, rest = parts[0], parts[1:]
    else:
        related, rest = msg, []
    if text is not None or related.get_content_type() == "multipart/alternative":
        related = check_alternative(related, text, problems)
    if related.get_content_type() != "multipart/related":
        fail("expected multipart/related, got " + related.get_content_type())

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
    mentioned = []
    for ref in re.findall(rb"cid:([^\"'\s>)]+)", body):
        if ref.decode("latin-1") not in cids:
            problems.append("cid:%s names no part" % ref.decode("latin-1"))
        elif ref not in mentioned:
            mentioned.append(ref)
    if named and len(mentioned) != len(named):
        problems.append("%d parts named by cid:, expected %d" % (len(mentioned), len(named)))
    for ref, f in zip(mentioned, named):
        if cids[ref.decode("latin-1")].get_payload(decode=True) != open(f, "rb").read():
            problems.append("cid:%s differs from %s" % (ref.decode("latin-1"), f))
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
    if names:
        got = [p.get_filename() for p in inner[1:] + rest]
        if got != names:
            problems.append("part names %r, expected %r" % (got, names))
    if problems:
        fail("\n".join(problems))


main()
