#!/usr/bin/env python3
"""Loopback HTTP(S) server that the service tests program and question.

Listens on 127.0.0.1 only, on ports the system picks. Prints one line
"READY http=<port> control=<port>" to standard output once both listen.

The control port speaks one JSON object per line in each direction. The first
control connection is the lease: when it closes (the test ended, passed,
failed or crashed) the server shuts down. Without a lease within 60 seconds,
or after 15 minutes in any case, it shuts down by itself.

Commands:
  {"cmd": "route", "path": P, "responses": [R, ...]}
      Requests for P (the raw request target, or its path and query) get the
      first response R whose conditions hold. R fields, all optional:
        status (200), reason, headers [[name, value], ...] or {name: value},
        text + encoding ("utf-8"), or hex, or zeros (count of 0 bytes),
        gzip (compress the body with gzip), delay (seconds before answering),
        unannounced (no Content-Length: the body ends with the connection),
        if_header [name, value] (only when the request has that header),
        times (use at most this often).
  {"cmd": "requests"}        -> {"requests": [{method, target, path, headers, body_hex}]}
  {"cmd": "tls", "mode": "self"}               -> {"port": N}, self-signed for localhost
  {"cmd": "tls", "mode": "files", "cert": C, "key": K} -> {"port": N}
Every command answers at least {"ok": true}.
"""
import gzip
import http.server
import json
import os
import shutil
import socket
import socketserver
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

LEASE_WAIT = 60
MAX_LIFETIME = 15 * 60


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.routes = {}
        self.requests = []
        self.servers = []
        self.stopping = threading.Event()
        self.tempdirs = []


STATE = State()


def build_body(reply):
    if "zeros" in reply:
        body = bytes(int(reply["zeros"]))
    elif "hex" in reply:
        body = bytes.fromhex(reply["hex"])
    else:
        body = reply.get("text", "").encode(reply.get("encoding", "utf-8"))
    if reply.get("gzip"):
        body = gzip.compress(body, compresslevel=6)
    return body


def pick_response(target):
    parts = urllib.parse.urlsplit(target)
    keys = [target, parts.path + ("?" + parts.query if parts.query else ""), parts.path]
    with STATE.lock:
        for key in keys:
            candidates = STATE.routes.get(key)
            if candidates is not None:
                return candidates
    return None


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "Loopback/1"

    def log_message(self, *args):
        pass

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        record = {
            "method": self.command,
            "target": self.path,
            "path": urllib.parse.urlsplit(self.path).path,
            "headers": [[k, v] for k, v in self.headers.items()],
            "body_hex": body.hex(),
        }
        with STATE.lock:
            STATE.requests.append(record)
        chosen = None
        candidates = pick_response(self.path)
        if candidates is not None:
            with STATE.lock:
                for reply in candidates:
                    cond = reply.get("if_header")
                    if cond and self.headers.get(cond[0]) != cond[1]:
                        continue
                    if "times" in reply:
                        if reply["times"] <= 0:
                            continue
                        reply["times"] -= 1
                    chosen = reply
                    break
        if chosen is None:
            chosen = {"status": 404, "headers": [["Content-Type", "text/plain"]], "text": "no route"}
        if chosen.get("delay"):
            time.sleep(float(chosen["delay"]))
        payload = build_body(chosen)
        self.send_response(int(chosen.get("status", 200)), chosen.get("reason"))
        names = set()
        headers = chosen.get("headers", [])
        for name, value in headers.items() if isinstance(headers, dict) else headers:
            self.send_header(name, value)
            names.add(name.lower())
        if chosen.get("gzip") and "content-encoding" not in names:
            self.send_header("Content-Encoding", "gzip")
        if chosen.get("unannounced"):
            # No length: the body ends when the connection closes.
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(len(payload)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(payload)

    do_GET = do_POST = do_PUT = do_DELETE = do_OPTIONS = do_HEAD = do_PATCH = handle_any


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = False

    def handle_error(self, request, client_address):
        # Clients that give up early (time-outs, refused certificates, size
        # caps) are what the tests provoke; anything else is worth a line.
        error = sys.exc_info()[1]
        if not isinstance(error, (ConnectionError, ssl.SSLError, TimeoutError)):
            sys.stderr.write("loopback server: %r\n" % (error,))


def serve(server):
    thread = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True)
    thread.start()
    with STATE.lock:
        STATE.servers.append(server)
    return server.server_address[1]


def openssl():
    return shutil.which("openssl") or "/usr/bin/openssl"


def start_tls(command):
    if command.get("mode") == "self":
        folder = tempfile.mkdtemp(prefix="loopback-tls-", dir="/tmp")
        STATE.tempdirs.append(folder)
        cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
        subprocess.run([openssl(), "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost",
                        "-keyout", key, "-out", cert],
                       check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    else:
        cert, key = command["cert"], command["key"]
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server = Server(("127.0.0.1", 0), Handler)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    return serve(server)


def run_command(command):
    cmd = command.get("cmd")
    if cmd == "route":
        with STATE.lock:
            STATE.routes[command["path"]] = list(command.get("responses", []))
        return {"ok": True}
    if cmd == "requests":
        with STATE.lock:
            return {"ok": True, "requests": list(STATE.requests)}
    if cmd == "tls":
        return {"ok": True, "port": start_tls(command)}
    return {"ok": False, "error": "unknown command"}


def control_session(connection, is_lease):
    reader = connection.makefile("rb")
    try:
        for line in reader:
            try:
                answer = run_command(json.loads(line))
            except Exception as error:  # the test reads the reason
                answer = {"ok": False, "error": str(error)}
            connection.sendall(json.dumps(answer).encode("utf-8") + b"\n")
    except OSError:
        pass
    finally:
        connection.close()
        if is_lease:
            STATE.stopping.set()


def control_loop(listener):
    listener.settimeout(LEASE_WAIT)
    first = True
    while not STATE.stopping.is_set():
        try:
            connection, _ = listener.accept()
        except socket.timeout:
            if first:
                STATE.stopping.set()
            continue
        except OSError:
            return
        threading.Thread(target=control_session, args=(connection, first), daemon=True).start()
        if first:
            first = False
            listener.settimeout(1)


def main():
    http_port = serve(Server(("127.0.0.1", 0), Handler))
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)
    threading.Thread(target=control_loop, args=(listener,), daemon=True).start()
    sys.stdout.write("READY http=%d control=%d\n" % (http_port, listener.getsockname()[1]))
    sys.stdout.flush()
    STATE.stopping.wait(MAX_LIFETIME)
    listener.close()
    for folder in STATE.tempdirs:
        shutil.rmtree(folder, ignore_errors=True)
    os._exit(0)


if __name__ == "__main__":
    main()
