#!/usr/bin/python3
"""Loopback HTTPS and FTPS servers of a folder, and the test certificates
they present, for the Windows host tests.

    tls_servers.py certificates DIR
    tls_servers.py https ROOT --cert FILE --key FILE [--trickle BPS] [--token T] [--log FILE]
    tls_servers.py ftps ROOT --cert FILE --key FILE [--log FILE]

"certificates" writes DIR/ca.pem and ca.der (the test authority that the
Wine prefix is told to trust), DIR/server.pem/.key (for localhost and
127.0.0.1, signed by it), DIR/untrusted.pem/.key (the same names, signed
by an authority nobody trusts) and DIR/wrongname.pem/.key (signed by the
test authority for another host name only). The servers bind 127.0.0.1 on a free port,
print it on the first line and serve until stdin closes or --lifetime
seconds have passed. --trickle sends every body at about BPS bytes per
second; --token answers 401 to a request without "Authorization: Bearer T";
--log appends one line per request ("GET /path", "RETR /path") and one per
bearer token a request carries ("BEARER token").
"""

import argparse
import functools
import http.server
import os
import ssl
import subprocess
import sys
import time

# The servers' shared lifetime handling lives with the test fixtures; no
# compiled files are left in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures"))
from server_lifetime import stop_when_orphaned  # noqa: E402


def make_certificates(folder):
    os.makedirs(folder, exist_ok=True)

    def run(*arguments):
        subprocess.run(["openssl"] + list(arguments), cwd=folder, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def authority(name, subject):
        run("ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", name + ".key")
        run("req", "-new", "-x509", "-key", name + ".key", "-out", name + ".pem", "-days", "2",
            "-subj", "/CN=" + subject, "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")

    def leaf(name, issuer, host="localhost", names="DNS:localhost,IP:127.0.0.1"):
        run("ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", name + ".key")
        run("req", "-new", "-key", name + ".key", "-out", name + ".csr", "-subj", "/CN=" + host)
        with open(os.path.join(folder, name + ".ext"), "w") as ext:
            ext.write("subjectAltName=" + names + "\nbasicConstraints=CA:FALSE\n"
                      "extendedKeyUsage=serverAuth\nkeyUsage=critical,digitalSignature\n")
        run("x509", "-req", "-in", name + ".csr", "-CA", issuer + ".pem", "-CAkey",
            issuer + ".key", "-CAcreateserial", "-days", "2", "-extfile", name + ".ext",
            "-out", name + ".pem")

    authority("ca", "stanvex windows test authority")
    authority("rogue-ca", "untrusted test authority")
    leaf("server", "ca")
    leaf("untrusted", "rogue-ca")
    leaf("wrongname", "ca", "elsewhere.invalid", "DNS:elsewhere.invalid")
    run("x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der")


def log_line(path, line):
    if path:
        with open(path, "a") as log:
            log.write(line + "\n")


class TrickleHandler(http.server.SimpleHTTPRequestHandler):
    trickle = 0
    token = None
    log_path = None

    def log_message(self, *arguments):
        pass

    def do_GET(self):
        log_line(self.log_path, "GET " + self.path)
        authorization = self.headers.get("Authorization") or ""
        if authorization.lower().startswith("bearer "):
            log_line(self.log_path, "BEARER " + authorization[7:].strip())
        if self.token is not None and authorization != "Bearer " + self.token:
            self.send_response(401)
            self.send_header("WWW-Authenticate", 'Bearer realm="test"')
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        super().do_GET()

    def copyfile(self, source, destination):
        if not self.trickle:
            return super().copyfile(source, destination)
        piece = max(1, self.trickle // 10)
        while True:
            data = source.read(piece)
            if not data:
                return
            destination.write(data)
            destination.flush()
            time.sleep(0.1)


def serve_https(options):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(options.cert, options.key)
    TrickleHandler.trickle = options.trickle
    TrickleHandler.token = options.token
    TrickleHandler.log_path = options.log
    handler = functools.partial(TrickleHandler, directory=options.root)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    server.serve_forever()


def serve_ftps(options):
    import logging
    logging.basicConfig(level=logging.WARNING)
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler
    from pyftpdlib.servers import FTPServer

    class EarlyTlsDataHandler(TLS_DTPHandler):
        """libcurl starts the data connection's TLS handshake as soon as it
        has connected, before its RETR arrives. pyftpdlib's data handler
        reads nothing until a transfer command enables receiving, and so
        the handshake stalled; reading is enabled for the handshake only."""

        def readable(self):
            return self._ssl_accepting or super().readable()

    class Handler(TLS_FTPHandler):
        dtp_handler = EarlyTlsDataHandler
        tls_control_required = True
        tls_data_required = True

        def on_file_sent(self, path):
            log_line(options.log, "RETR " + path)

    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(options.root)
    Handler.authorizer = authorizer
    Handler.certfile = options.cert
    Handler.keyfile = options.key
    Handler.passive_ports = None
    server = FTPServer(("127.0.0.1", 0), Handler)
    print(server.address[1], flush=True)
    server.serve_forever(timeout=0.5)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "certificates":
        make_certificates(sys.argv[2])
        return 0
    parser = argparse.ArgumentParser()
    parser.add_argument("kind", choices=["https", "ftps"])
    parser.add_argument("root")
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--trickle", type=int, default=0)
    parser.add_argument("--token")
    parser.add_argument("--log")
    parser.add_argument("--lifetime", type=float, default=600.0)
    options = parser.parse_args()
    stop_when_orphaned(options.lifetime)
    if options.kind == "https":
        serve_https(options)
    else:
        serve_ftps(options)
    return 0


if __name__ == "__main__":
    sys.exit(main())
