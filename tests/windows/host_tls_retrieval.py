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

The SUBDAILY_CASES retrieve the archive's "today", which has only sub-daily
files, over HTTPS from the test fixtures' server (tests/fixtures), which
keeps connections alive and logs each completed TLS handshake: each day at
the address costs one handshake, whatever number of files it takes.
"""

import itertools
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
KEEP_ALIVE_SERVER = os.path.join(HERE, "..", "fixtures", "https_server.py")
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
    ("wrongname", "sima", 1 * HOUR, 2 * HOUR, 0.0, "refused", "another host's certificate refused"),
    ("stop", "sima", 1 * HOUR, 2 * HOUR, 0.0, "stop", "stop during an HTTPS transfer"),
    ("bearer", "sima", 1 * HOUR, 2 * HOUR, 0.0, "", "bearer token from the netrc file"),
    ("tokenless", "sima", 1 * HOUR, 2 * HOUR, 0.0, "refused", "bearer service without a token"),
]
TOKEN = "tok-win-9d2"
# The netrc file each case's environment names (NETRC), by catalogue.
NETRC = {"bearer": "machine localhost login x password %s\n" % TOKEN, "tokenless": ""}
# What the last error of a refused case says.
REFUSED_TEXTS = {"rogue": "is not trusted", "wrongname": "was issued for another host name"}

TODAY = host_retrieval.TODAY
MINUTE = host_retrieval.MINUTE
BKG = "/simbkg/IGS/"
BKG_HOUR = BKG + "nrt/003/%02d/SIMQ00DEU_R_2023003%02d00_01H_30S_MO.crx.gz"
BKG_QUARTER = BKG + "highrate/2023/003/l/SIMQ00DEU_R_202300311%s_15M_01S_MO.crx.gz"
BKG_ROLLING = BKG + "BRDC/2023/003/BRDC00WRD_S_20230030000_01D_MN.rnx.gz"

# station, window start and end, output interval, what the case covers;
# then the files the server must have sent (each once), a name it must not
# have been asked for, and its TLS handshakes
SUBDAILY_CASES = [
    (("simh", TODAY + 10 * HOUR + 20 * MINUTE, TODAY + 12 * HOUR + 5 * MINUTE, 0.0,
      "HTTPS: hourly RINEX 2 files and the rolling brdc file"),
     ["/simnoaa/2023/003/simh/simh003k.23o.gz", "/simnoaa/2023/003/simh/simh003l.23o.gz",
      "/simnoaa/2023/003/simh/simh003m.23o.gz", "/simnoaa/2023/003/brdc0030.23n.gz"],
     "simh003j", 1),
    (("simq", TODAY + 10 * HOUR + 20 * MINUTE, TODAY + 12 * HOUR + 5 * MINUTE, 0.0,
      "HTTPS: hourly compact RINEX 3 files and the rolling navigation file"),
     [BKG_HOUR % (10, 10), BKG_HOUR % (11, 11), BKG_HOUR % (12, 12), BKG_ROLLING],
     "/nrt/003/09/", 1),
    (("simq", 47 * HOUR, TODAY + 1 * HOUR + 30 * MINUTE, 0.0,
      "HTTPS: across midnight, the daily compact file, then hourly files"),
     [BKG + "obs/2023/002/SIMQ00DEU_R_20230020000_01D_30S_MO.crx.gz", BKG_HOUR % (0, 0),
      BKG_HOUR % (1, 1)], "/nrt/002/", 2),
    (("simq", TODAY + 11 * HOUR + 10 * MINUTE, TODAY + 11 * HOUR + 40 * MINUTE, 1.0,
      "HTTPS: a 1 s window from 15-minute 1 Hz files"),
     [BKG_QUARTER % "00", BKG_QUARTER % "15", BKG_QUARTER % "30", BKG_ROLLING], "/nrt/", 1),
]


def subdaily_checks(log, case, sent, not_asked, handshakes):
    """The server's checks of a sub-daily case, and the host's: the span
    delivered is the window, and a 1 s request took measured epochs."""
    name, start, end, interval, what = case
    at_server = host_retrieval.server_checks(log, "GET", sent, not_asked, handshakes, "TLS", [])

    def check(lines):
        problems = at_server(lines)
        span = next((line.split() for line in lines if line.startswith("span: ")), None)
        if not span or float(span[1]) != GPS + start or float(span[2]) != GPS + end:
            problems.append("span %s, not the window" % (span and " ".join(span[1:])))
        if "interpolated: no" not in lines:
            problems.append("interpolated")
        return problems
    return check


def start_server(scratch, kind, root, certificate, *extra):
    """kind: "https", "ftps", or "keep-alive" (the fixtures' HTTPS server)."""
    log = os.path.join(scratch, "%s-%s.log" % (kind, certificate))
    program = [KEEP_ALIVE_SERVER] if kind == "keep-alive" else [SERVERS, kind]
    server = subprocess.Popen(
        ["/usr/bin/python3"] + program + [root,
         "--cert", os.path.join(scratch, "certs", certificate + ".pem"),
         "--key", os.path.join(scratch, "certs", certificate + ".key"), "--log", log,
         "--lifetime", "600"] + list(extra), stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
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
    # The last error and its continuation lines (a reason of several lines).
    last_error = ""
    for i, line in enumerate(lines):
        if line.startswith("iFTP: last error"):
            following = itertools.takewhile(lambda text: text.startswith("    "), lines[i + 1:])
            last_error = " ".join([line] + [text.strip() for text in following])
            break

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
    if mode == "refused" and CORE_HAS_CERTIFICATE_TEXT and catalogue in REFUSED_TEXTS and \
            REFUSED_TEXTS[catalogue] not in last_error:
        problems.append("not \"%s\": %s" % (REFUSED_TEXTS[catalogue], last_error))
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
            "--subdaily", *[a for s in host_retrieval.STATIONS for a in ("--stations", s)])
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
        wrong, wrong_port = start_server(scratch, "https", archive, "wrongname")
        slow, slow_port = start_server(scratch, "https", archive, "server", "--trickle", "4000")
        bearer, bearer_port = start_server(scratch, "https", archive, "server", "--token", TOKEN)
        servers = [https, ftps, rogue, wrong, slow, bearer]
        write_catalogue(scratch, "https", "https", https_port)
        write_catalogue(scratch, "ftps", "ftps", ftps_port)
        write_catalogue(scratch, "file", "", 0)
        # The system's wininet would serve a plain FTP address alone; with an
        # HTTPS mirror the whole service goes through our library.
        write_catalogue(scratch, "mirror", "https", https_port,
                        "ftp://127.0.0.2:%d" % unused_port("127.0.0.2"))
        write_catalogue(scratch, "rogue", "https", rogue_port)
        write_catalogue(scratch, "wrongname", "https", wrong_port)
        write_catalogue(scratch, "stop", "https", slow_port)
        for name in NETRC:
            bearer_catalogue = os.path.join(write_catalogue(scratch, name, "https", bearer_port),
                                            "manufact.dwn")
            with open(bearer_catalogue) as catalogue:
                text = catalogue.read()
            with open(bearer_catalogue, "w") as catalogue:
                catalogue.write(text.replace("/simz\n", "/simz\n  auth: bearer\n"))
        keep_alive, keep_alive_port = start_server(scratch, "keep-alive", archive, "server")
        servers.append(keep_alive)
        write_catalogue(scratch, "subdaily", "https", keep_alive_port)

        positions = host_retrieval.true_positions(os.path.join(scratch, "stations.txt"))
        started = time.monotonic()
        passed = sum(run_case(environment, out_dir, scratch, positions, case) for case in CASES)
        with open(os.path.join(scratch, "https-server.log")) as log:
            tokens = [line.strip() for line in log if line.startswith("BEARER ")]
        if not tokens or set(tokens) != {"BEARER " + TOKEN}:
            print("FAILED: the bearer server saw tokens %s" % sorted(set(tokens)))
            passed -= 1
        log = os.path.join(scratch, "keep-alive-server.log")
        for case, sent, not_asked, handshakes in SUBDAILY_CASES:
            checks = subdaily_checks(log, case, sent, not_asked, handshakes)
            passed += host_retrieval.run_case(environment, out_dir, scratch, positions, case,
                                              checks, host_retrieval.wine_path(
                                                  os.path.join(scratch, "catalogue-subdaily")))
        total = len(CASES) + len(SUBDAILY_CASES)
        print("%d passed, %d failed (%.1f s)" % (passed, total - passed, time.monotonic() - started))
        return 0 if passed == total else 1
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
