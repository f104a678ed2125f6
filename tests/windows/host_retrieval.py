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
SKIPPED = 77

# station, window start and end (seconds after 2023-01-01 00:00 GPS), output
# interval, what the case covers
CASES = [
    ("sima", 22 * HOUR, 26 * HOUR, 60.0, ".Z days joined across midnight, cut, resampled"),
    ("simd", 1 * HOUR, 3 * HOUR, 0.0, "zip archive through UNZIPDLL.DLL"),
    ("sime", 5 * HOUR, 6 * HOUR, 0.0, "compact RINEX service"),
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


def start_servers(scratch, catalogue_path):
    """One server per service, on 127.0.0.2 upwards; rewrites the catalogue."""
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
             "--bind", address + ":21", "--lifetime", "600", "--log", log],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        if not server.stdout.readline().strip():
            raise RuntimeError("the FTP server for %s did not start" % service)
        servers.append(server)
        text = re.sub(r"ftpAd: file://[^\n]*/archive/%s\n" % service, "ftpAd: %s\n" % address,
                      text)
    with open(catalogue_path, "w") as catalogue:
        catalogue.write(text)
    return servers


def run_case(environment, out_dir, scratch, positions, case):
    name, start, end, interval, what = case
    work = os.path.join(scratch, "work-" + name)
    dest = os.path.join(scratch, "dest-" + name)
    os.makedirs(work)
    os.makedirs(dest)
    latitude, longitude = positions[name]
    result = wine(environment, out_dir, "host.exe", wine_path(os.path.join(scratch, "catalogue")),
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
                         "--stations", "sima", "--stations", "simd", "--stations", "sime")
        if simulated.returncode != 0:
            print("FAILED: stanvex.exe simulate\n" + simulated.stdout)
            return 1
        servers = start_servers(scratch, os.path.join(scratch, "catalogue", "manufact.dwn"))
        if servers is None:
            print("skipped: the library connects to port 21, which cannot be bound here")
            return SKIPPED
        positions = true_positions(os.path.join(scratch, "stations.txt"))
        started = time.monotonic()
        passed = sum(run_case(environment, out_dir, scratch, positions, case) for case in CASES)
        print("%d passed, %d failed (%.1f s)" % (passed, len(CASES) - passed,
                                                 time.monotonic() - started))
        return 0 if passed == len(CASES) else 1
    finally:
        for server in servers:
            server.kill()
            server.wait()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
