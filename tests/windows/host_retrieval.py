#!/usr/bin/python3
"""Full retrievals by a Windows host program under Wine, through Wine's own
wininet.dll, from loopback FTP servers.

    host_retrieval.py OUT_DIR SCRATCH_PARENT

OUT_DIR is the Windows build's output folder (host.exe, stanvex.exe and the
DLLs). The Windows stanvex.exe simulates a two-day archive; every data
service of its catalogue gets an FTP server of its own on the standard port
21 of its own loopback address (127.0.0.2, 127.0.0.3, ...), since the
library always connects to the standard port. host.exe then loads
stanvex.dll, finds the nearest station and retrieves its data for each
case below. Exits with 77 (skipped) when port 21 cannot be bound here.

The archive goes on to a third day, "today", with only the sub-daily files
of its services laid out as NOAA's (RINEX 2 hourly files, the rolling brdc
file) and BKG's (compact RINEX 3 hourly files under long names); the
SUBDAILY_CASES retrieve from them and check at the server which files were
sent and how many logins each retrieval made (one per day).
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
FTP_SERVER = os.path.join(HERE, "..", "fixtures", "ftp_server.py")
GPS_2023_01_01 = 1356566400  # GPS seconds of 2023-01-01 00:00:00
HOUR = 3600
MINUTE = 60
TODAY = 48 * HOUR  # 2023-01-03: only hourly files and the rolling navigation file
SKIPPED = 77

# station, window start and end (seconds after 2023-01-01 00:00 GPS), output
# interval, what the case covers
CASES = [
    ("sima", 22 * HOUR, 26 * HOUR, 60.0, ".Z days joined across midnight, cut, resampled"),
    ("simd", 1 * HOUR, 3 * HOUR, 0.0, "zip archive through UNZIPDLL.DLL"),
    ("sime", 5 * HOUR, 6 * HOUR, 0.0, "compact RINEX service"),
]

# The simulated stations and their services' folders.
STATIONS = ["sima", "simd", "sime", "simh", "simq"]
# Hour 04 of simh's today is refused by its server as missing.
MISSING_HOUR = "*simh003e*"
HOURLY_TEXT = "Hourly file /2023/003/simh/simh003e.23o.gz (2023-01-03 04:00 to 04:59) missing, skipped"
BKG_HOUR = "/IGS/nrt/003/%02d/SIMQ00DEU_R_2023003%02d00_01H_30S_MO.crx.gz"

# station, window start and end, output interval, what the case covers;
# then the files the service's server must have sent (each once), a name
# it must not have been asked for, its logins, and texts the host must
# have been sent
SUBDAILY_CASES = [
    (("simh", TODAY + 10 * HOUR + 20 * MINUTE, TODAY + 12 * HOUR + 5 * MINUTE, 0.0,
      "hourly RINEX 2 files and the rolling brdc file of a day without daily files"),
     ["/2023/003/simh/simh003k.23o.gz", "/2023/003/simh/simh003l.23o.gz",
      "/2023/003/simh/simh003m.23o.gz", "/2023/003/brdc0030.23n.gz"], "simh003j", 1, []),
    (("simq", TODAY + 10 * HOUR + 20 * MINUTE, TODAY + 12 * HOUR + 5 * MINUTE, 0.0,
      "hourly compact RINEX 3 files and the rolling navigation file"),
     [BKG_HOUR % (10, 10), BKG_HOUR % (11, 11), BKG_HOUR % (12, 12),
      "/IGS/BRDC/2023/003/BRDC00WRD_S_20230030000_01D_MN.rnx.gz"], "/nrt/003/09/", 1, []),
    (("simh", 47 * HOUR, TODAY + 1 * HOUR + 30 * MINUTE, 0.0,
      "across midnight: the daily file, then hourly files"),
     ["/2023/002/simh/simh0020.23o.gz", "/2023/003/simh/simh003a.23o.gz",
      "/2023/003/simh/simh003b.23o.gz"], "simh002x", 2, []),
    (("simh", TODAY + 3 * HOUR + 30 * MINUTE, TODAY + 5 * HOUR + 30 * MINUTE, 0.0,
      "a missing hour skipped"),
     ["/2023/003/simh/simh003d.23o.gz", "/2023/003/simh/simh003f.23o.gz"], "", 1, [HOURLY_TEXT]),
]


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def unix_path(path):
    if not path.upper().startswith("Z:"):
        raise ValueError("not a path on drive Z: " + path)
    return path[2:].replace("\\", "/")


def port_21_free(address):
    probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    try:
        probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        probe.bind((address, 21))
        return True
    except OSError as error:
        print("cannot bind %s:21 (%s)" % (address, error))
        return False
    finally:
        probe.close()


def wine(environment, out_dir, *arguments):
    # STANVEX_WINE names the loader the build's programs need (wine64 for
    # the 64-bit test build).
    loader = environment.get("STANVEX_WINE") or "wine"
    return subprocess.run([loader, os.path.join(out_dir, arguments[0])] + list(arguments[1:]),
                          cwd=out_dir, env=environment, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True, errors="replace", timeout=300)


def true_positions(path):
    positions = {}
    with open(path) as stations:
        for line in stations:
            fields = line.split()
            if fields and not line.startswith("#"):
                positions[fields[0]] = (float(fields[5]), float(fields[6]))
    return positions


def start_servers(scratch, catalogue_path, extra=None):
    """One server per service, on 127.0.0.2 upwards; rewrites the catalogue.
    extra: more arguments of a service's server, by its folder name."""
    with open(catalogue_path) as catalogue:
        text = catalogue.read()
    services = re.findall(r"ftpAd: file://[^\n]*/archive/([a-z]+)", text)
    servers = []
    served = [service for service in services
              if os.path.isdir(os.path.join(scratch, "archive", service))]
    for index, service in enumerate(served):
        address = "127.0.0.%d" % (index + 2)
        if not port_21_free(address):
            for server in servers:
                server.kill()
            return None
        log = os.path.join(scratch, "ftp-%s.log" % service)
        server = subprocess.Popen(
            ["/usr/bin/python3", FTP_SERVER, os.path.join(scratch, "archive", service),
             "--bind", address + ":21", "--lifetime", "600", "--log", log] +
            (extra or {}).get(service, []),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        if not server.stdout.readline().strip():
            raise RuntimeError("the FTP server for %s did not start" % service)
        servers.append(server)
        text = re.sub(r"ftpAd: file://[^\n]*/archive/%s\n" % service, "ftpAd: %s\n" % address,
                      text)
    with open(catalogue_path, "w") as catalogue:
        catalogue.write(text)
    return servers


def log_lines(path):
    if not os.path.isfile(path):
        return []
    with open(path) as log:
        return log.read().splitlines()


def server_checks(log_path, request, sent, not_asked, connections, connection_line, said):
    """The checks of a retrieval at its server: each file of sent requested
    once ("request PATH" in the log), not_asked in no request, the given
    count of connection_line events (logins, handshakes) during the
    retrieval, and each text of said among the host's lines. Call it before
    the retrieval; the function it returns checks the lines after it."""
    before = len(log_lines(log_path))

    def check(lines):
        events = log_lines(log_path)[before:]
        problems = []
        for path in sent:
            count = events.count(request + " " + path)
            if count != 1:
                problems.append("%s requested %d times" % (path, count))
        if not_asked and any(line.startswith(request) and not_asked in line for line in events):
            problems.append("%s requested" % not_asked)
        made = sum(1 for line in events if line.startswith(connection_line))
        if made != connections:
            problems.append("%d connections (%s), not %d" % (made, connection_line, connections))
        for text in said:
            if not any(text in line for line in lines):
                problems.append("not reported: " + text)
        return problems
    return check


def run_case(environment, out_dir, scratch, positions, case, checks=None, catalogue=None):
    """checks: a function of the host's lines giving further problems;
    catalogue: the catalogue folder (the scratch's catalogue/ by default)."""
    name, start, end, interval, what = case
    work = tempfile.mkdtemp(prefix="work-%s-" % name, dir=scratch)
    dest = tempfile.mkdtemp(prefix="dest-%s-" % name, dir=scratch)
    latitude, longitude = positions[name]
    result = wine(environment, out_dir, "host.exe",
                  catalogue or wine_path(os.path.join(scratch, "catalogue")),
                  wine_path(work), wine_path(dest), "%.6f" % (latitude + 0.001),
                  "%.6f" % (longitude + 0.001), str(GPS_2023_01_01 + start),
                  str(GPS_2023_01_01 + end), str(interval), name)
    lines = result.stdout.splitlines()
    problems = [line for line in lines if line.startswith("FAILED")]
    if result.returncode != 0 and not problems:
        problems.append("host.exe exited with %d" % result.returncode)

    delivered = next((line.split(": ", 1)[1] for line in lines if line.startswith("delivered: ")),
                     "")
    if delivered:
        obn = unix_path(delivered)
        for companion in (obn, obn[:-4] + ".nvb", obn[:-4] + ".sta"):
            if not os.path.isfile(companion):
                problems.append("not delivered: " + companion)
        if os.listdir(work):
            problems.append("left in the working directory: %s" % sorted(os.listdir(work)))
    average = next((line.split() for line in lines if line.startswith("average: ")), None)
    if average:
        # The average of the single-point solutions, within about 5 m.
        if abs(float(average[1]) - latitude) > 5e-5 or abs(float(average[2]) - longitude) > 7e-5:
            problems.append("average %s %s far from %.7f %.7f" % (average[1], average[2],
                                                                  latitude, longitude))
    span = next((line.split() for line in lines if line.startswith("span: ")), None)
    if span and interval == 0.0:
        if float(span[1]) != GPS_2023_01_01 + start:
            problems.append("span starts at %s" % span[1])
    if checks:
        problems += checks(lines)
    status = "ok" if not problems else "FAILED"
    print("%s: %s (%s) %s" % (status, name, what, "; ".join(problems)))
    if problems:
        print("\n".join("    " + line for line in lines))
    return not problems


def main():
    out_dir, scratch_parent = sys.argv[1], sys.argv[2]
    environment = dict(os.environ)
    environment.setdefault("WINEDEBUG", "-all")
    os.makedirs(scratch_parent, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="windows-host-", dir=scratch_parent)
    servers = []
    try:
        simulated = wine(environment, out_dir, "stanvex.exe", "simulate", "--out",
                         wine_path(scratch), "--start", "2023-01-01", "--days", "2",
                         "--subdaily", *[a for s in STATIONS for a in ("--stations", s)])
        if simulated.returncode != 0:
            print("FAILED: stanvex.exe simulate\n" + simulated.stdout)
            return 1
        servers = start_servers(scratch, os.path.join(scratch, "catalogue", "manufact.dwn"),
                                {"simnoaa": ["--missing", MISSING_HOUR]})
        if servers is None:
            print("skipped: the library connects to port 21, which cannot be bound here")
            return SKIPPED
        positions = true_positions(os.path.join(scratch, "stations.txt"))
        started = time.monotonic()
        passed = sum(run_case(environment, out_dir, scratch, positions, case) for case in CASES)
        for case, sent, not_asked, logins, said in SUBDAILY_CASES:
            log = os.path.join(scratch, "ftp-%s.log" % ("simnoaa" if case[0] == "simh" else "simbkg"))
            checks = server_checks(log, "RETR", sent, not_asked, logins, "USER ", said)
            passed += run_case(environment, out_dir, scratch, positions, case, checks)
        total = len(CASES) + len(SUBDAILY_CASES)
        print("%d passed, %d failed (%.1f s)" % (passed, total - passed, time.monotonic() - started))
        return 0 if passed == total else 1
    finally:
        for server in servers:
            server.kill()
            server.wait()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
