#!/usr/bin/env bash
# SMTP delivery of a 100 MiB message against curl --upload-file of the same
# file to the same local server in the same run, plus the round trip of a 1 KB
# message. Servers: aiosmtpd discarding what it gets, and a raw sink that only
# looks for the end of the data (so that the client's own cost shows).
set -euo pipefail
BUILD=${1:-build}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SEND=$(realpath "$BUILD/smtp_send")
WORK=$(realpath "$BUILD")/smtp-bench-work
rm -rf "$WORK" && mkdir -p "$WORK"
SERVER_PID=
cleanup() { [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT
cd "$WORK"

# 100 MiB of 76-character lines, as the composer writes base64 bodies.
/usr/bin/python3 - <<'PY'
import base64, os
line = base64.b64encode(os.urandom(57)) + b"\r\n"
with open("big.eml", "wb") as f:
    f.write(b"From: a@x\r\nTo: b@y\r\nSubject: bench\r\n\r\n")
    block = line * 13797
    for _ in range(100):
        f.write(block)
with open("small.eml", "wb") as f:
    f.write(b"From: a@x\r\nTo: b@y\r\nSubject: small\r\n\r\n" + line * 13)
PY

start_server() {  # command...; sets PORT and SERVER_PID
  mkfifo ready.fifo
  "$@" > ready.fifo &
  SERVER_PID=$!
  read -r _ PORT < ready.fifo
  rm -f ready.fifo
}
stop_server() { kill "$SERVER_PID" 2>/dev/null || true; wait "$SERVER_PID" 2>/dev/null || true; SERVER_PID=; }

best() {  # best of 3 runs of a command printing nothing; prints seconds
  local b=""
  for _ in 1 2 3; do
    local s e t
    s=$(date +%s.%N); "$@" >/dev/null || { echo "failed: $*" >&2; return 1; }; e=$(date +%s.%N)
    t=$(awk -v s="$s" -v e="$e" 'BEGIN{print e - s}')
    if [ -z "$b" ] || awk -v t="$t" -v b="$b" 'BEGIN{exit !(t < b)}'; then b=$t; fi
  done
  echo "$b"
}

run_against() {  # name [extra smtp_send arguments, then -- and extra curl arguments]
  local name=$1; shift
  local send_args=() curl_args=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do send_args+=("$1"); shift; done
  [ $# -gt 0 ] && shift && curl_args=("$@")
  local q c r
  q=$(best "$SEND" big.eml 127.0.0.1 "$PORT" "${send_args[@]}")
  c=$(best curl -sS --fail "smtp://127.0.0.1:$PORT" --mail-from bench@example.org \
        --mail-rcpt sink@example.org --upload-file big.eml "${curl_args[@]}")
  r=$(best "$SEND" small.eml 127.0.0.1 "$PORT" "${send_args[@]}")
  awk -v n="$name" -v q="$q" -v c="$c" -v r="$r" 'BEGIN{
    printf "%-22s 100 MiB: quillory %6.2fs  curl %6.2fs  ratio %.2f | 1 KB round trip %.1f ms\n",
           n, q, c, q / c, r * 1000 }'
}

start_server /usr/bin/python3 "$ROOT/tests/tools/smtp_server.py" --dir "$WORK" --discard --until-killed
run_against "aiosmtpd (discarding)"
stop_server

# The same over STARTTLS, with a throwaway authority and certificate for 127.0.0.1.
KEY="-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes"
openssl req -x509 $KEY -keyout ca.key -out ca.pem -days 2 -subj /CN=bench-ca 2>/dev/null
openssl req $KEY -keyout srv.key -out srv.csr -subj /CN=127.0.0.1 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1\n' > srv.ext
openssl x509 -req -in srv.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out srv.pem -days 2 -extfile srv.ext 2>/dev/null
start_server /usr/bin/python3 "$ROOT/tests/tools/smtp_server.py" --dir "$WORK" --discard --until-killed \
  --tls starttls --cert srv.pem --key srv.key
run_against "aiosmtpd STARTTLS" starttls ca.pem -- --ssl-reqd --cacert ca.pem
stop_server

start_server /usr/bin/python3 "$ROOT/bench/raw_sink.py"
run_against "raw sink"
stop_server
