#!/usr/bin/python3
"""Includes go down only: each folder may include its own headers and those of
the layers below it. Prints each include that goes up; exits 1 if any does."""
import pathlib
import re
import sys

BELOW = {
    "core": set(),
    "platform": {"core"},
    "compose": {"core", "platform"},
    "smtp": {"core", "platform", "compose"},
    "check": {"core", "platform", "compose"},
    "ui": {"core", "platform", "compose", "smtp", "check"},
    "app": {"core", "platform", "compose", "smtp", "check", "ui"},
    "cli": {"core", "platform", "compose", "smtp", "check", "app"},
}
root = pathlib.Path(sys.argv[1])
wrong = []
for layer, allowed in BELOW.items():
    for path in sorted((root / layer).rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        for n, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            m = re.match(r'\s*#\s*include\s+"([a-z]+)/', line)
            if m and m.group(1) in BELOW and m.group(1) != layer and m.group(1) not in allowed:
                wrong.append(f"{path.relative_to(root)}:{n}: {line.strip()}")
print("\n".join(wrong))
sys.exit(1 if wrong else 0)
