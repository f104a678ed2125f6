#!/usr/bin/python3
"""Full retrievals by the Windows host program under Wine through our own
svinet.dll: from a loopback HTTPS server, a loopback FTPS server and a
file:// archive, the HTTPS server as the mirror of a plain FTP address
that is down, a server whose certificate comes from an unknown authority,
a stop while an HTTPS transfer runs, and a service of bearer tokens (auth:
bearer) with its token from the netrc file named by NETRC, and without one.

    host_tls_retrieval.py OUT_DIR SCRATCH_PARENT

The Windows stanvex.exe simulates a two-day archive whose catalogue names
each service by a file:// address. One server of each kind serves the whole
archive folder, and each case gets a copy of the catalogue with every
service's address pointed at one server (https://localhost:PORT/SERVICE,
ftps://localhost:PORT/SERVICE). The test authority is added to the Wine
prefix's root store for the length of the test.
"""

import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import host_retrieval  # noqa: E402  (the shared helpers of the FTP host test)

SERVERS = os.path.join(HERE, "tls_servers.py")
CORE_HAS_CERTIFICATE_TEXT = os.path.isfile(
    os.path.join(HERE, "..", "..", "src", "ftp", "transfer_errors.cpp"))
GPS = host_retrieval.GPS_2023_01_01
HOUR = 3600

# catalogue, station, window start and end (seconds after 2023-01-01 00:00
# GPS), output interval, mode of host.exe, what the case covers
CASES = [
    ("https", "sima", 22 * HOUR, 26 * HOUR, 60.0, "", "HTTPS: .Z days joined, cut, resampled"),
    ("ftps", "sime", 5 * HOUR, 6 * HOUR, 0.0, "", "FTPS: compact RINEX service"),
    ("file", "simd", 1 * HOUR, 3 * HOUR, 0.0, "", "file://: zip archive"),
    ("mirror", "sima", 1 * HOUR, 2 * HOUR, 0.0, "", "plain FTP first address down, HTTPS mirror"),
    ("rogue", "sima", 1 * HOUR, 2 * HOUR, 0.0, "refused", "unknown authority refused"),
    ("stop", "sima", 1 * HOUR, 2 * HOUR, 0.0, "stop", "stop during an HTTPS transfer"),
    ("bearer", "sima", 1 * HOUR, 2 * HOUR, 0.0, "", "bearer token from the netrc file"),
    ("tokenless", "sima", 1 * HOUR, 2 * HOUR, 0.0, "refused", "bearer service without a token"),
]
TOKEN = "tok-win-9d2"
# The netrc file each case's environment names (NETRC), by catalogue.
NETRC = {"bearer": "machine localhost login x password %s\n" % TOKEN, "tokenless": ""}


def start_server(scratch, kind, root, certificate, *extra):
    log = os.path.join(scratch, "%s-%s.log" % (kind, certificate))
    server = subprocess.Popen(
        ["/usr/bin/python3", SERVERS, kind, root,
         "--cert", os.path.join(scratch, "certs", certificate + ".pem"),
         "--key", os.path.join(scratch, "certs", certificate + ".key"), "--log", log] +
        list(extra), stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    port = server.stdout.readline().strip()
    if not port.isdigit():
        server.kill()
        raise RuntimeError("the %s server did not start" % kind)
    return server, int(port)


def unused_port(host):
    """A TCP port of host that nothing listens on (bound, then closed)."""
    with socket.socket() as probe:
        probe.bind((host, 0))
        return probe.getsockname()[1]


def write_catalogue(scratch, name, scheme, port, first=""):
    """A copy of the simulated catalogue with every service on one server;
    first, when given, is put before that server as the service's first
    address (the server is then its mirror)."""
    source = os.path.join(scratch, "catalogue")
    target = os.path.join(scratch, "catalogue-" + name)
    shutil.copytree(source, target)
    if scheme:
        path = os.path.join(target, "manufact.dwn")
        with open(path) as catalogue:
            text = catalogue.read()
        text = re.sub(r"ftpAd: file://[^\n]*/archive/([a-z]+)\n",
                      lambda m: "ftpAd: %s%s://localhost:%d/%s\n" % (
                          first and first + "/" + m.group(1) + " ", scheme, port, m.group(1)),
                      text)
        with open(path, "w") as catalogue:
            catalogue.write(text)
    return target


def run_case(environment, out_dir, scratch, positions, case):
    catalogue, name, start, end, interval, mode, what = case
    work = os.path.join(scratch, "work-" + catalogue)
    dest = os.path.join(scratch, "dest-" + catalogue)
    os.makedirs(work)
    os.makedirs(dest)
    latitude, longitude = positions[name]
    arguments = ["host.exe", host_retrieval.wine_path(os.path.join(scratch, "catalogue-" + catalogue)),
                 host_retrieval.wine_path(work), host_retrieval.wine_path(dest),
                 "%.6f" % (latitude + 0.001), "%.6f" % (longitude + 0.001), str(GPS + start),
                 str(GPS + end), str(interval), name]
    if mode:
        arguments.append(mode)
    if catalogue in NETRC:
        netrc = os.path.join(scratch, "netrc-" + catalogue)
        with open(netrc, "w") as entries:
            entries.write(NETRC[catalogue])
        environment = dict(environment, NETRC=host_retrieval.wine_path(netrc))
    result = host_retrieval.wine(environment, out_dir, *arguments)
    lines = result.stdout.splitlines()
    problems = [line for line in lines if line.startswith("FAILED")]
    if result.returncode != 0 and not problems:
        problems.append("host.exe exited with %d" % result.returncode)
    last_error = next((line for line in lines if line.startswith("iFTP: last error")), "")

    if not mode:
        delivered = next((line.split(": ", 1)[1] for line in lines
                          if line.startswith("delivered: ")), "")
        obn = host_retrieval.unix_path(delivered) if delivered else ""
        for companion in (obn, obn[:-4] + ".nvb", obn[:-4] + ".sta") if obn else ("(nothing)",):
            if not os.path.isfile(companion):
                problems.append("not delivered: " + companion)
        average = next((line.split() for line in lines if line.startswith("average: ")), None)
        if average and (abs(float(average[1]) - latitude) > 5e-5 or
                        abs(float(average[2]) - longitude) > 7e-5):
            problems.append("average %s %s far from the station" % (average[1], average[2]))
    else:
        if os.listdir(dest):
            problems.append("delivered after a failure: %s" % sorted(os.listdir(dest)))
    if catalogue == "rogue" and CORE_HAS_CERTIFICATE_TEXT and \
            "certificate" not in last_error.lower():
        problems.append("no certificate text: " + last_error)
    if catalogue == "tokenless" and "wants a token" not in last_error:
        problems.append("no token text: " + last_error)
    if mode == "stop":
        # The transfer's partial file and every day file are gone.
        if os.listdir(work):
            problems.append("left in the working directory: %s" % sorted(os.listdir(work)))
    if os.path.isdir(work):
        for entry in os.listdir(work):
            if entry.endswith(".part"):
                problems.append("partial download left: " + entry)
    status = "ok" if not problems else "FAILED"
    print("%s: %s %s (%s) %s %s" % (status, catalogue, name, what, last_error, "; ".join(problems)))
    if problems:
        print("\n".join("    " + line for line in lines))
    return not problems


def main():
    out_dir, scratch_parent = sys.argv[1], sys.argv[2]
    environment = dict(os.environ)
    environment.setdefault("WINEDEBUG", "-all")
    os.makedirs(scratch_parent, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="windows-tls-", dir=scratch_parent)
    certificates = os.path.join(scratch, "certs")
    servers = []
    trusted = False
    try:
        simulated = host_retrieval.wine(
            environment, out_dir, "stanvex.exe", "simulate", "--out",
            host_retrieval.wine_path(scratch), "--start", "2023-01-01", "--days", "2",
            "--stations", "sima", "--stations", "simd", "--stations", "sime")
        if simulated.returncode != 0:
            print("FAILED: stanvex.exe simulate\n" + simulated.stdout)
            return 1
        subprocess.run(["/usr/bin/python3", SERVERS, "certificates", certificates], check=True)
        added = host_retrieval.wine(environment, out_dir, "trust_ca.exe", "add",
                                    host_retrieval.wine_path(os.path.join(certificates, "ca.der")))
        if added.returncode != 0:
            print("FAILED: trust_ca.exe add\n" + added.stdout)
            return 1
        trusted = True

        archive = os.path.join(scratch, "archive")
        https, https_port = start_server(scratch, "https", archive, "server")
        ftps, ftps_port = start_server(scratch, "ftps", archive, "server")
        rogue, rogue_port = start_server(scratch, "https", archive, "untrusted")
        slow, slow_port = start_server(scratch, "https", archive, "server", "--trickle", "4000")
        bearer, bearer_port = start_server(scratch, "https", archive, "server", "--token", TOKEN)
        servers = [https, ftps, rogue, slow, bearer]
        write_catalogue(scratch, "https", "https", https_port)
        write_catalogue(scratch, "ftps", "ftps", ftps_port)
        write_catalogue(scratch, "file", "", 0)
        # The system's wininet would serve a plain FTP address alone; with an
        # HTTPS mirror the whole service goes through our library.
        write_catalogue(scratch, "mirror", "https", https_port,
                        "ftp://127.0.0.2:%d" % unused_port("127.0.0.2"))
        write_catalogue(scratch, "rogue", "https", rogue_port)
        write_catalogue(scratch, "stop", "https", slow_port)
        for name in NETRC:
            bearer_catalogue = os.path.join(write_catalogue(scratch, name, "https", bearer_port),
                                            "manufact.dwn")
            with open(bearer_catalogue) as catalogue:
                text = catalogue.read()
            with open(bearer_catalogue, "w") as catalogue:
                catalogue.write(text.replace("/simz\n", "/simz\n  auth: bearer\n"))

        positions = host_retrieval.true_positions(os.path.join(scratch, "stations.txt"))
        started = time.monotonic()
        passed = sum(run_case(environment, out_dir, scratch, positions, case) for case in CASES)
        with open(os.path.join(scratch, "https-server.log")) as log:
            tokens = [line.strip() for line in log if line.startswith("BEARER ")]
        if not tokens or set(tokens) != {"BEARER " + TOKEN}:
            print("FAILED: the bearer server saw tokens %s" % sorted(set(tokens)))
            passed -= 1
        print("%d passed, %d failed (%.1f s)" % (passed, len(CASES) - passed,
                                                 time.monotonic() - started))
        return 0 if passed == len(CASES) else 1
    finally:
        for server in servers:
            server.kill()
            server.wait()
        if trusted:
            host_retrieval.wine(environment, out_dir, "trust_ca.exe", "remove",
                                host_retrieval.wine_path(os.path.join(certificates, "ca.der")))
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
