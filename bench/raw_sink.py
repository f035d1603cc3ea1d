"""The least an SMTP server can do: answer every command with success and read
the data in large pieces, looking only for its end. Prints "PORT n"."""
import socket
import threading


def serve(conn):
    f = conn.makefile("rb")
    conn.sendall(b"220 sink\r\n")
    while True:
        line = f.readline()
        if not line:
            break
        cmd = line[:4].upper()
        if cmd == b"QUIT":
            conn.sendall(b"221 bye\r\n")
            break
        if cmd != b"DATA":
            conn.sendall(b"250 ok\r\n")
            continue
        conn.sendall(b"354 go\r\n")
        tail = b""
        while True:
            chunk = f.read1(1 << 20)
            if not chunk:
                return
            tail = (tail + chunk)[-5:] if len(chunk) < 5 else chunk[-5:]
            if tail == b"\r\n.\r\n":
                break
        conn.sendall(b"250 discarded\r\n")
    conn.close()


srv = socket.socket()
srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
srv.bind(("127.0.0.1", 0))
srv.listen(8)
print("PORT", srv.getsockname()[1], flush=True)
while True:
    c, _ = srv.accept()
    threading.Thread(target=serve, args=(c,), daemon=True).start()
