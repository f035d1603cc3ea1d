#!/usr/bin/python3
"""A list of 1,000 recipients through a real Postfix on this machine.

send-list hands the messages to a private Postfix instance (its own
configuration, queue and port on 127.0.0.1) that delivers them into one
Maildir per recipient; every recipient must hold exactly one message, their
own. Exits 77 (skipped) with the reason where Postfix cannot be started.

usage: postfix_list.py QUILLORY-CLI SOURCE-DIR [COUNT]
"""
import email
import email.policy
import os
import pathlib
import pwd
import shutil
import socket
import subprocess
import sys
import tempfile
import time

SKIP = 77


def skip(reason):
    print(f"SKIPPED: {reason}")
    sys.exit(SKIP)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_postfix(root, addresses):
    """Starts Postfix with everything under root; returns (config dir, port)."""
    conf, queue, data, mail = (root / n for n in ("conf", "queue", "data", "mail"))
    for d in (conf, queue, data, mail):
        d.mkdir()
    nobody = pwd.getpwnam("nobody")
    shutil.chown(data, "postfix")
    os.chown(mail, nobody.pw_uid, nobody.pw_gid)
    port = free_port()
    master = (pathlib.Path("/etc/postfix/master.cf")).read_text().splitlines()
    # The one SMTP listener, on our port instead of 25.
    master = [f"{port} inet n - y - - smtpd" if l.startswith("smtp ") and " inet " in l else l
              for l in master]
    (conf / "master.cf").write_text("\n".join(master) + "\n")
    (conf / "vmaps").write_text("".join(f"{a} {a.split('@')[0]}/\n" for a in addresses))
    (conf / "main.cf").write_text(f"""\
compatibility_level = 3.6
queue_directory = {queue}
data_directory = {data}
mail_owner = postfix
setgid_group = postdrop
myhostname = sink.test
mydestination =
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
mynetworks = 127.0.0.0/8
smtpd_recipient_restrictions = permit_mynetworks, reject
virtual_mailbox_domains = list.test
virtual_mailbox_base = {mail}
virtual_mailbox_maps = texthash:{conf}/vmaps
virtual_uid_maps = static:{nobody.pw_uid}
virtual_gid_maps = static:{nobody.pw_gid}
default_transport = discard
notify_classes =
maillog_file = {root}/maillog
maillog_file_prefixes = {root}
""")
    run = subprocess.run(["postfix", "-c", str(conf), "start"], capture_output=True, text=True)
    if run.returncode != 0:
        log = (root / "maillog").read_text() if (root / "maillog").exists() else run.stderr
        skip("Postfix did not start: " + log.strip().splitlines()[-1] if log.strip() else "no log")
    if not wait_for(lambda: listening(port), 20):
        skip(f"Postfix does not listen on port {port}")
    return conf, port


def wait_for(test, seconds):
    deadline = time.monotonic() + seconds
    while not test():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.3)
    return True


def listening(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        return True
    except OSError:
        return False


def main():
    cli, source = sys.argv[1], pathlib.Path(sys.argv[2])
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 1000
    if os.geteuid() != 0 or not shutil.which("postfix"):
        skip("a private Postfix instance needs Postfix installed and root")

    root = pathlib.Path(tempfile.mkdtemp(prefix="quillory-postfix-"))
    root.chmod(0o755)  # Postfix's own users walk into it
    addresses = [f"member{i:04d}@list.test" for i in range(count)]
    conf = None
    try:
        conf, port = start_postfix(root, addresses)
        page = root / "page"
        shutil.copytree(source / "examples" / "newsletter", page)
        members = root / "members.csv"
        members.write_text("email,name\n" + "".join(f"{a},Member {i}\n" for i, a in enumerate(addresses)))
        home = root / "home"
        home.mkdir()
        env = dict(os.environ, HOME=str(home), XDG_CONFIG_HOME=str(home / ".config"))
        started = time.monotonic()
        run = subprocess.run([cli, "send-list", str(page / "index.html"), "--list", str(members),
                              "--from", "Club <club@sender.test>", "--subject", "News for {{name}}",
                              "--server", "127.0.0.1", "--port", str(port), "--rate", "0"],
                             capture_output=True, text=True, env=env, timeout=600)
        took = time.monotonic() - started
        if run.returncode != 0:
            print(run.stdout[-2000:], run.stderr[-2000:])
            sys.exit(f"send-list exited with {run.returncode}")
        queue = ["postqueue", "-c", str(conf), "-p"]
        if not wait_for(lambda: "Mail queue is empty" in subprocess.run(queue, capture_output=True, text=True).stdout,
                        180):
            sys.exit("Postfix's queue did not empty within 180 s")

        faults = []
        for i, address in enumerate(addresses):
            box = root / "mail" / address.split("@")[0] / "new"
            files = list(box.iterdir()) if box.is_dir() else []
            if len(files) != 1:
                faults.append(f"{address}: {len(files)} messages")
                continue
            msg = email.message_from_bytes(files[0].read_bytes(), policy=email.policy.default)
            if address not in str(msg["To"]) or "," in str(msg["To"]):
                faults.append(f"{address}: To is {msg['To']}")
            if str(msg["Subject"]) != f"News for Member {i}":
                faults.append(f"{address}: Subject is {msg['Subject']}")
        if faults:
            sys.exit(f"{len(faults)} recipients wrong, first: " + "; ".join(faults[:5]))
        print(f"{count} recipients, each with one message of their own, through Postfix "
              f"(send-list took {took:.1f} s)")
    finally:
        if conf is not None:
            subprocess.run(["postfix", "-c", str(conf), "stop"], capture_output=True)
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
