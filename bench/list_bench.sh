#!/usr/bin/env bash
# Messages per second for 1,000 personal messages of the example newsletter to
# a local aiosmtpd that discards them: send-list with --rate 0, against a
# shell loop of "quillory-cli send" (one composition and connection each) and
# a Python smtplib loop over the same personal messages (written by
# --dry-run) on one connection, in the same run; and send-list's peak memory.
set -euo pipefail
BUILD=${1:-build}
N=${2:-1000}
LOOP=${3:-100}  # the shell loop is slow: it sends this many, its rate is per message
ROOT=$(cd "$(dirname "$0")/.." && pwd)
CLI=$(realpath "$BUILD/quillory-cli")
WORK=$(realpath "$BUILD")/list-bench-work
rm -rf "$WORK" && mkdir -p "$WORK/home" "$WORK/dry"
SERVER_PID=
cleanup() { [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT
cd "$WORK"
export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home
PAGE=$ROOT/examples/newsletter/index.html

{ echo "email,name"; for i in $(seq 1 "$N"); do echo "r$i@example.org,Reader $i"; done; } > list.csv

mkfifo ready.fifo
/usr/bin/python3 "$ROOT/tests/tools/smtp_server.py" --dir "$WORK" --discard --until-killed > ready.fifo &
SERVER_PID=$!
read -r _ PORT < ready.fifo
rm -f ready.fifo

now() { date +%s.%N; }
rate() { awk -v n="$1" -v s="$2" -v e="$3" 'BEGIN{printf "%.1f", n / (e - s)}'; }

s=$(now)
/usr/bin/time -f "%M" -o mem.txt "$CLI" send-list "$PAGE" --list list.csv --from bench@example.org \
    --subject 'News for {{name}}' --server 127.0.0.1 --port "$PORT" --rate 0 >/dev/null
e=$(now)
list_rate=$(rate "$N" "$s" "$e")

s=$(now)
for i in $(seq 1 "$LOOP"); do
  "$CLI" send "$PAGE" --from bench@example.org --to "r$i@example.org" --subject "News for Reader $i" \
      --server 127.0.0.1 --port "$PORT" >/dev/null
done
e=$(now)
loop_rate=$(rate "$LOOP" "$s" "$e")

"$CLI" send-list "$PAGE" --list list.csv --from bench@example.org --subject 'News for {{name}}' \
    --dry-run "$WORK/dry" >/dev/null
s=$(now)
/usr/bin/python3 - "$PORT" "$WORK/dry" <<'PY'
import glob, smtplib, sys
with smtplib.SMTP("127.0.0.1", int(sys.argv[1])) as s:
    for i, path in enumerate(sorted(glob.glob(sys.argv[2] + "/*.eml"))):
        s.sendmail("bench@example.org", ["r%d@example.org" % (i + 1)], open(path, "rb").read())
PY
e=$(now)
py_rate=$(rate "$N" "$s" "$e")

echo "messages/s: send-list --rate 0: $list_rate ($N); shell loop of send: $loop_rate ($LOOP);" \
     "python smtplib, one connection: $py_rate ($N); send-list peak RSS: $(cat mem.txt) KiB"
