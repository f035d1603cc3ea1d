#!/usr/bin/env bash
# A 5 MB page with 100,000 references to 20,000 small files, against the same
# page with no references and against base64 -w 76 of a file as large as the
# message, all measured in the same run. Also counts how often each
# content-type source is opened in one run.
set -euo pipefail
BENCH_DIR=$(cd "$(dirname "$0")" && pwd)
BUILD=${1:-build}
CLI=$(realpath "$BUILD/quillory-cli")
WORK=$(realpath "$BUILD")/bench-scan
rm -rf "$WORK" && mkdir -p "$WORK"
trap '[ -n "${KEEP:-}" ] || rm -rf "$WORK"' EXIT
cd "$WORK"

python3 - <<'PY'
import os, random
random.seed(7)
os.makedirs("res", exist_ok=True)
kinds = ["gif", "png", "css", "js", "jpg"]
for i in range(20000):
    with open("res/f%05d.%s" % (i, kinds[i % 5]), "wb") as f:
        f.write(os.urandom(48 + i % 32))
parts, size = [], 0
tags = ['<img src="res/f%05d.%s" alt="x">', '<link href="res/f%05d.%s">', '<script src="res/f%05d.%s"></script>',
        '<td background="res/f%05d.%s">', '<input type=image src="res/f%05d.%s">']
for n in range(100000):
    i = random.randrange(20000)
    t = tags[n % 5] % (i, kinds[i % 5])
    parts.append("<p>" + "lorem ipsum " * 2 + t + "</p>\n")
page = "<html><head><meta charset=utf-8></head><body>\n" + "".join(parts)
pad = 5 * 1024 * 1024 - len(page) - len("</body></html>\n")
page += "<p>" + "x" * max(pad - 8, 0) + "</p>\n</body></html>\n"
open("refs.html", "w").write(page)
# Same bytes, no tag the scans look for.
plain = page.replace("<img ", "<imx ").replace("<link ", "<lunk ").replace("<script ", "<scrapt ") \
            .replace("background=", "backgrounx=").replace("<input ", "<inpux ")
open("plain.html", "w").write(plain)
PY

. "$BENCH_DIR/measure.sh"

q=$(measure "$CLI" compose refs.html -o refs.eml)
# The pre-send report on the same page: a dry run of the composition plus the HTML5 parser
# and the clients' support; SpamAssassin, when installed, reads the whole message on top.
c=$(measure "$CLI" check --no-spam refs.html)
command -v spamassassin >/dev/null && a=$(measure "$CLI" check refs.html) || a="0 0"
p=$(measure "$CLI" compose plain.html -o plain.eml)
# Prepare for webmail: the CSS scans, the inlining and the plain-text alternative on top.
w=$(measure "$CLI" compose refs.html -o web.eml --webmail)
# base64 grows its input by a third: this input gives an output as large as the message.
head -c $(( $(stat -c %s refs.eml) * 3 / 4 )) /dev/urandom > same.bin
b=$(measure sh -c 'base64 -w 76 same.bin > b64.out')
# The floor for the file work: reading the same 20,000 files and nothing else.
f=$(measure sh -c 'cat res/* > /dev/null')
# The scan and lookups alone: the same page with its files gone.
mv res gone
s=$(measure "$CLI" compose refs.html -o gone.eml)
mv gone res
parts=$(grep -c '^Content-ID: ' refs.eml)
read -r qt qm <<<"$q"; read -r ct cm <<<"$c"; read -r pt pm <<<"$p"; read -r bt bm <<<"$b"; read -r ft _ <<<"$f"; read -r st sm <<<"$s"
read -r wt wm <<<"$w"; read -r at am <<<"$a"
awk -v qt="$qt" -v qm="$qm" -v pt="$pt" -v pm="$pm" -v bt="$bt" -v bm="$bm" -v parts="$parts" \
    -v ft="$ft" -v st="$st" -v sm="$sm" -v ct="$ct" -v cm="$cm" -v wt="$wt" -v wm="$wm" -v at="$at" -v am="$am" \
    -v size="$(stat -c %s refs.eml)" 'BEGIN{
  printf "5 MiB page, 100000 refs, %d parts, message %.1f MiB\n", parts, size / 1048576;
  printf "  with references   %6.2fs %7.1f MiB\n", qt, qm / 1024;
  printf "  no references     %6.2fs %7.1f MiB   ratio %.2f (goal <= 3)\n", pt, pm / 1024, (pt > 0) ? qt / pt : 0;
  printf "  base64 -w 76      %6.2fs %7.1f MiB   ratio %.2f\n", bt, bm / 1024, (bt > 0) ? qt / bt : 0;
  printf "  cat of the files  %6.2fs               ratio %.2f\n", ft, (ft > 0) ? qt / ft : 0;
  printf "  check (--no-spam)  %6.2fs %7.1f MiB   ratio to compose %.2f (goal < 2)\n", ct, cm / 1024, (qt > 0) ? ct / qt : 0;
  if (at > 0) printf "  check, spam too    %6.2fs %7.1f MiB   ratio to compose %.2f (SpamAssassin on the whole message)\n", at, am / 1024, at / qt;
  printf "  --webmail         %6.2fs %7.1f MiB   ratio to compose %.2f (goal < 2)\n", wt, wm / 1024, (qt > 0) ? wt / qt : 0;
  printf "  files missing     %6.2fs %7.1f MiB   scan and lookups alone, ratio to no references %.2f\n",
         st, sm / 1024, (pt > 0) ? st / pt : 0 }'

if command -v strace >/dev/null; then
  strace -f -e trace=open,openat -o trace.txt "$CLI" compose refs.html -o refs.eml >/dev/null
  echo "  content-type sources opened in one run (path: count):"
  grep -oE '"[^"]*(mime\.types|globs2)"' trace.txt | sort | uniq -c | awk '{printf "    %s: %s\n", $2, $1}'
  # An extension only the database knows makes the globs2 files load too.
  printf '<img src="res/x.qdz">' > db.html && : > res/x.qdz
  strace -f -e trace=open,openat -o trace.txt "$CLI" compose db.html -o db.eml >/dev/null
  echo "  ... and for a part whose extension only the database knows:"
  grep -oE '"[^"]*(mime\.types|globs2)"' trace.txt | sort | uniq -c | awk '{printf "    %s: %s\n", $2, $1}'
fi
