#!/usr/bin/python3
"""The installed program, checked as a user or a packager would meet it.

check_install.py stage BUILD SOURCE WINDOW(ON|OFF)
    Installs BUILD into a staging folder (DESTDIR, prefix /usr), checks every
    file is there, runs the validators, then moves the tree to another place
    and runs the installed programs from there, so that nothing can be found
    through the build or the staging folder.
check_install.py agree BUILD SOURCE WINDOW(ON|OFF)
    --help, the man pages and the completion files name the same subcommands
    and options.
Prints what is wrong and exits 1; exits 0 when all holds.
"""
import email
import email.policy
import os
import re
import shutil
import subprocess
import sys
import tempfile

APP_ID = "io.github.quillory.Quillory"
failures = []


def fail(what):
    failures.append(what)
    print("FAIL:", what)


def run(argv, env=None, cwd=None, stdin=subprocess.DEVNULL):
    return subprocess.run(argv, env=env, cwd=cwd, stdin=stdin, capture_output=True, text=True, timeout=120)


def expect_quiet(argv, what):
    """A validator must exit 0 and say nothing."""
    r = run(argv)
    if r.returncode != 0 or (r.stdout + r.stderr).strip():
        fail(f"{what}: exit {r.returncode}: {(r.stdout + r.stderr).strip()}")


def installed_files(window):
    files = ["bin/quillory-cli", "share/man/man1/quillory-cli.1",
             "share/bash-completion/completions/quillory-cli",
             "share/zsh/vendor-completions/_quillory-cli",
             "share/fish/vendor_completions.d/quillory-cli.fish",
             "share/doc/quillory/examples/newsletter/index.html",
             "share/doc/quillory/examples/newsletter/logo.png",
             "share/doc/quillory/examples/newsletter/style.css",
             "share/doc/quillory/caniemail.LICENSE"]
    if window:
        files += ["bin/quillory", "libexec/quillory/quillory-preview", "share/man/man1/quillory.1",
                  f"share/applications/{APP_ID}.desktop", f"share/metainfo/{APP_ID}.metainfo.xml",
                  f"share/icons/hicolor/scalable/apps/{APP_ID}.svg"]
        files += [f"share/icons/hicolor/{n}x{n}/apps/{APP_ID}.png" for n in (16, 24, 32, 48, 64, 128, 256)]
    return files


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")


def stage(build, source, window):
    tmp = tempfile.mkdtemp(prefix="quillory-stage-")
    try:
        staging = os.path.join(tmp, "staging")
        r = run(["cmake", "--install", build, "--prefix", "/usr"], env=dict(os.environ, DESTDIR=staging))
        if r.returncode != 0:
            return fail("cmake --install: " + r.stderr)
        usr = os.path.join(staging, "usr")
        for f in installed_files(window):
            if not os.path.isfile(os.path.join(usr, f)):
                fail(f"not installed: /usr/{f}")
        # Anything installed that the list does not know is a rule nobody checks.
        listed = set(installed_files(window))
        for root, _, names in os.walk(usr):
            for n in names:
                rel = os.path.relpath(os.path.join(root, n), usr)
                if rel not in listed:
                    fail(f"installed but not expected: /usr/{rel}")
        if window:
            for n in (16, 24, 32, 48, 64, 128, 256):
                size = png_size(os.path.join(usr, f"share/icons/hicolor/{n}x{n}/apps/{APP_ID}.png"))
                if size != (n, n):
                    fail(f"the {n} px icon is {size}")
            # The categories the menu needs cross two main ones, which the validator hints at.
            expect_quiet(["desktop-file-validate", "--no-hints", f"{usr}/share/applications/{APP_ID}.desktop"],
                         "desktop-file-validate")
            r = run(["appstreamcli", "validate", "--no-net", "--no-color",
                     f"{usr}/share/metainfo/{APP_ID}.metainfo.xml"])
            problems = [l for l in r.stdout.splitlines() if re.match(r"[EW]:", l)]
            if r.returncode != 0 or problems:
                fail("appstreamcli validate: " + r.stdout.strip())
        for page in ["quillory-cli.1"] + (["quillory.1"] if window else []):
            expect_quiet(["groff", "-ww", "-z", "-man", f"{usr}/share/man/man1/{page}"], f"groff -ww {page}")
            r = run(["man", "-l", "-Tutf8", f"{usr}/share/man/man1/{page}"],
                    env=dict(os.environ, MANWIDTH="80", MAN_KEEP_STDERR="1"))
            if r.returncode != 0 or r.stderr.strip():
                fail(f"man -l {page}: {r.stderr.strip()}")

        # Elsewhere, with the staging folder gone: only paths relative to the
        # programs themselves can work.
        moved = os.path.join(tmp, "elsewhere")
        shutil.move(usr, moved)
        shutil.rmtree(staging)
        run_installed(moved, tmp, window)
        bash_completion(moved, tmp)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


def run_installed(prefix, tmp, window):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    env.update(HOME=tmp, XDG_CONFIG_HOME=f"{tmp}/config", XDG_CACHE_HOME=f"{tmp}/cache", TMPDIR=tmp)
    cli = f"{prefix}/bin/quillory-cli"
    example = f"{prefix}/share/doc/quillory/examples/newsletter"
    out = f"{tmp}/news.eml"
    r = run([cli, "compose", f"{example}/index.html", "-o", out, "--subject", "News", "--from", "a@example.com",
             "--to", "b@example.com"], env=env, cwd=tmp)
    if r.returncode != 0:
        return fail(f"installed quillory-cli compose: exit {r.returncode}: {r.stderr}")
    with open(out, "rb") as f:
        msg = email.message_from_binary_file(f, policy=email.policy.default)
    embedded = sorted(p.get_content_type() for p in msg.walk() if p["Content-ID"])
    if embedded != ["image/png", "text/css"]:
        fail(f"the composed example embeds {embedded}")
    if window:
        shot = f"{tmp}/shot.png"
        r = run([cli, "preview", f"{example}/index.html", "-o", shot, "--height", "300"], env=env, cwd=tmp)
        if r.returncode != 0 or png_size(shot) != (600, 300):
            fail(f"installed quillory-cli preview (helper from libexec): exit {r.returncode}: {r.stderr}")
        # No display here: help and version must not need one.
        for arg, start in (("--help", "Usage: quillory "), ("--version", "quillory ")):
            r = run([f"{prefix}/bin/quillory", arg], env=env, cwd=tmp)
            if r.returncode != 0 or not r.stdout.startswith(start):
                fail(f"installed quillory {arg} without a display: exit {r.returncode}: {r.stdout}{r.stderr}")


def bash_completion(prefix, tmp):
    if not os.path.isfile("/usr/share/bash-completion/bash_completion"):
        return fail("bash-completion is not installed")
    for name in ("page.html", "other.htm", "notes.txt", "shot.png"):
        open(os.path.join(tmp, name), "w").close()
    cases = [  # the words typed, the last one being completed -> what is offered
        (["com"], "compose"),
        (["send", "--secu"], "--security"),
        (["send", "--security", ""], "none starttls tls"),
        (["options", "--auth-method", ""], "auto login plain xoauth2"),
        (["options", "--webmail", ""], "off on"),
        (["compose", ""], "other.htm page.html"),
        (["compose", "page.html", "--attach", ""], "news.eml notes.txt other.htm page.html shot.png"),
        (["preview", "-o", ""], "shot.png"),
    ]
    for words, want in cases:
        line = "quillory-cli " + " ".join(words)
        script = (f"source /usr/share/bash-completion/bash_completion; "
                  f"source {prefix}/share/bash-completion/completions/quillory-cli; "
                  f"cd {tmp}; COMP_LINE='{line}'; COMP_POINT=${{#COMP_LINE}}; "
                  f"COMP_WORDS=(quillory-cli {' '.join(repr(w) for w in words)}); COMP_CWORD={len(words)}; "
                  f"_quillory_cli; printf '%s\\n' \"${{COMPREPLY[@]}}\"")
        r = run(["bash", "-c", script])
        got = " ".join(sorted(w for w in r.stdout.split() if not os.path.isdir(os.path.join(tmp, w))))
        if got != want:
            fail(f"bash completion of '{line}': {got!r}, not {want!r}")


def long_options(text):
    return set(re.findall(r"(?<![\w-])--[a-z][a-z-]*[a-z]", text.replace("\\-", "-")))


def subcommands(text):
    return set(re.findall(r"quillory-cli (?:\[?)([a-z][a-z-]*[a-z])", text.replace("\\-", "-")))


def read(path):
    with open(path) as f:
        return f.read()


def agree(build, source, window):
    usage = run([f"{build}/quillory-cli", "--help"]).stdout
    want_opts, want_cmds = long_options(usage), subcommands(usage)
    man = read(f"{build}/man/quillory-cli.1")
    bash, zsh, fish = (read(f"{source}/completion/{n}")
                       for n in ("quillory-cli.bash", "_quillory-cli", "quillory-cli.fish"))
    docs = {"quillory-cli(1)": (long_options(man), subcommands(man)),
            "bash completion": (long_options(bash), set(re.search(r'commands="([^"]*)"', bash).group(1).split())),
            "zsh completion": (long_options(zsh), set(re.findall(r"([a-z][a-z-]*)\\:", zsh))),
            "fish completion": ({"--" + o for o in re.findall(r"^complete .* -l ([a-z-]+)", fish, re.M)},
                                set(re.search(r"set -l commands (.*)", fish).group(1).split()))}
    for name, (opts, cmds) in docs.items():
        if opts != want_opts:
            fail(f"{name} and --help differ: only in {name}: {sorted(opts - want_opts)}, "
                 f"only in --help: {sorted(want_opts - opts)}")
        if cmds != want_cmds:
            fail(f"{name} names the subcommands {sorted(cmds)}, --help {sorted(want_cmds)}")
    if window:
        r = run([f"{build}/quillory", "--help"], env={"PATH": os.environ["PATH"]})
        man = read(f"{build}/man/quillory.1")
        if long_options(man) != long_options(r.stdout):
            fail(f"quillory(1) names {sorted(long_options(man))}, quillory --help {sorted(long_options(r.stdout))}")


if __name__ == "__main__":
    mode, build, source, window = sys.argv[1:5]
    {"stage": stage, "agree": agree}[mode](os.path.abspath(build), os.path.abspath(source), window == "ON")
    sys.exit(1 if failures else 0)
