#!/usr/bin/python3
"""A loopback TCP proxy that delays every chunk it forwards, for benchmarks
of transfers over a slow link (the kernel's netem is not available here).

    delay_proxy.py --target HOST:PORT [options]

It listens on 127.0.0.1 (or --listen), prints its port on the first line of
stdout, and forwards each connection to the target. Every chunk read from
either side is sent on to the other side DELAY after it arrived; chunks
overlap in flight, so the delay is a latency (a round trip costs twice it)
and does not by itself limit the throughput. With --rate each direction of
a connection also sends at most RATE bytes a second, a chunk leaving once
its bytes have passed at that rate. An end of stream is passed on after the
same delay. The TCP handshake itself is not delayed (the kernel completes
it at the listening end); everything sent over the connection is, the TLS
handshake included. Only addresses of 127.0.0.0/8 are accepted, to listen on and to
forward to.

Options:
  --target HOST:PORT  where to forward (required)
  --listen HOST[:PORT] where to listen (default 127.0.0.1, a free port)
  --delay-ms MS       delay of every chunk, each direction (default 75)
  --rate BPS          bytes per second per direction and connection
                      (default 0: no limit)
  --lifetime S        end after S seconds (default 300)
  --stats FILE        rewritten after each connection and at the end:
                      "connections N", "bytes_up N" (client to target),
                      "bytes_down N" (target to client)

It ends at the end of its lifetime or on SIGTERM/SIGINT (stop it by its
pid); open connections are cut then.
"""

import argparse
import ipaddress
import os
import queue
import signal
import socket
import sys
import threading
import time

CHUNK = 65536


def loopback_address(text, default_port):
    host, colon, port = text.partition(":")
    try:
        resolved = socket.gethostbyname(host)
    except OSError as error:
        raise SystemExit("delay_proxy: cannot resolve %s: %s" % (host, error))
    if not ipaddress.ip_address(resolved) in ipaddress.ip_network("127.0.0.0/8"):
        raise SystemExit("delay_proxy: %s is not a loopback address (127.0.0.0/8 only)" % text)
    if not colon:
        if default_port is None:
            raise SystemExit("delay_proxy: %s needs a port" % text)
        return resolved, default_port
    if not port.isdigit() or int(port) > 65535:
        raise SystemExit("delay_proxy: bad port in %s" % text)
    return resolved, int(port)


class Stats:
    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()
        self.connections = 0
        self.up = 0
        self.down = 0

    def add(self, up, down):
        with self.lock:
            self.up += up
            self.down += down

    def write(self):
        if not self.path:
            return
        with self.lock:
            text = "connections %d\nbytes_up %d\nbytes_down %d\n" % (
                self.connections, self.up, self.down)
        temporary = self.path + ".tmp"
        with open(temporary, "w") as out:
            out.write(text)
        os.replace(temporary, self.path)


class Direction:
    """One direction of a connection: a reader that stamps each chunk with
    its arrival and a sender that lets it go DELAY later (paced by RATE)."""

    def __init__(self, source, sink, delay, rate):
        self.source, self.sink = source, sink
        self.delay, self.rate = delay, rate
        self.chunks = queue.Queue()
        self.bytes = 0

    def read(self):
        while True:
            try:
                data = self.source.recv(CHUNK)
            except OSError:
                data = b""
            self.chunks.put((time.monotonic(), data))
            if not data:
                return

    def send(self):
        free = 0.0  # when the previous chunk has passed at the rate
        while True:
            arrival, data = self.chunks.get()
            leave = arrival + self.delay
            if self.rate > 0 and data:
                free = max(free, leave) + len(data) / float(self.rate)
                leave = free
            pause = leave - time.monotonic()
            if pause > 0:
                time.sleep(pause)
            try:
                if not data:
                    self.sink.shutdown(socket.SHUT_WR)
                    return
                self.sink.sendall(data)
                self.bytes += len(data)
            except OSError:
                return

    def start(self):
        threads = [threading.Thread(target=self.read, daemon=True),
                   threading.Thread(target=self.send, daemon=True)]
        for thread in threads:
            thread.start()
        return threads


def serve(client, target, arguments, stats):
    try:
        upstream = socket.create_connection(target, timeout=30)
        upstream.settimeout(None)
    except OSError as error:
        sys.stderr.write("delay_proxy: cannot reach %s:%d: %s\n" % (target + (error,)))
        client.close()
        return
    for sock in (client, upstream):
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    delay = arguments.delay_ms / 1000.0
    up = Direction(client, upstream, delay, arguments.rate)
    down = Direction(upstream, client, delay, arguments.rate)
    threads = up.start() + down.start()
    for thread in threads:
        thread.join()
    for sock in (client, upstream):
        sock.close()
    stats.add(up.bytes, down.bytes)
    stats.write()


def main():
    parser = argparse.ArgumentParser(description="loopback TCP proxy delaying every chunk")
    parser.add_argument("--target", required=True)
    parser.add_argument("--listen", default="127.0.0.1")
    parser.add_argument("--delay-ms", type=float, default=75.0)
    parser.add_argument("--rate", type=float, default=0.0)
    parser.add_argument("--lifetime", type=float, default=300.0)
    parser.add_argument("--stats")
    arguments = parser.parse_args()
    if arguments.delay_ms < 0 or arguments.rate < 0 or arguments.lifetime <= 0:
        raise SystemExit("delay_proxy: delay and rate must not be negative, lifetime positive")
    target = loopback_address(arguments.target, None)
    listen = loopback_address(arguments.listen, 0)
    stats = Stats(arguments.stats)

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(listen)
    listener.listen(64)

    def stop(*_):
        stats.write()
        os._exit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    timer = threading.Timer(arguments.lifetime, stop)
    timer.daemon = True
    timer.start()
    stats.write()
    sys.stdout.write("%d\n" % listener.getsockname()[1])
    sys.stdout.flush()
    while True:
        client, _ = listener.accept()
        with stats.lock:
            stats.connections += 1
        threading.Thread(target=serve, args=(client, target, arguments, stats),
                         daemon=True).start()


if __name__ == "__main__":
    main()
