#!/usr/bin/python3
"""Reads the caniemail data as its own reader: picks one client that supports
the first slug's feature and one that does not, and prints per client and slug
"client<TAB>slug<TAB>version<TAB>yes|partial|no|unknown<TAB>note|note"."""
import json
import sys

data = json.load(open(sys.argv[1], encoding="utf-8"))
features = {f["slug"]: f for f in data["data"]}
slugs = sys.argv[2].split(",")


def latest(slug, client):
    family, platform = client.split(".", 1)
    versions = features[slug]["stats"].get(family, {}).get(platform)
    return list(versions.items())[-1] if versions else ("", "u")


clients = sorted({f + "." + p for x in data["data"] for f in x["stats"] for p in x["stats"][f]})
chosen = [next(c for c in clients if latest(slugs[0], c)[1][0] == s) for s in "yn"]
names = {"y": "yes", "a": "partial", "n": "no"}
for client in chosen:
    for slug in slugs:
        version, value = latest(slug, client)
        notes = [features[slug]["notes_by_num"][n.lstrip("#")] for n in value.split()[1:]]
        print("\t".join([client, slug, version, names.get(value[0], "unknown"), "|".join(notes)]))
