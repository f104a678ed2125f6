#!/usr/bin/env python3
"""Accuracy figures of a converted OBN file and of an ECEF position listing,
against known coordinates. Used by convert_bench.sh.

usage: convert_bench.py obn FILE X Y Z
       convert_bench.py pos FILE X Y Z      (rnx2rtkp -e output)
Prints: solved epochs, horizontal and vertical offset of the mean position,
per-epoch horizontal and vertical RMS, largest horizontal error."""
import math
import struct
import sys

A = 6378137.0
F = 1.0 / 298.257223563
E2 = F * (2.0 - F)


def to_ecef(lat, lon, h):
    la, lo = math.radians(lat), math.radians(lon)
    v = A / math.sqrt(1.0 - E2 * math.sin(la) ** 2)
    return ((v + h) * math.cos(la) * math.cos(lo), (v + h) * math.cos(la) * math.sin(lo),
            (v * (1.0 - E2) + h) * math.sin(la))


def to_geodetic(x, y, z):
    p = math.hypot(x, y)
    lat = math.atan2(z, p * (1.0 - E2))
    for _ in range(10):
        v = A / math.sqrt(1.0 - E2 * math.sin(lat) ** 2)
        h = p / math.cos(lat) - v
        lat = math.atan2(z, p * (1.0 - E2 * v / (v + h)))
    return lat, math.atan2(y, x)


def enu(ref, xyz):
    lat, lon = to_geodetic(*ref)
    d = [xyz[i] - ref[i] for i in range(3)]
    sl, cl, so, co = math.sin(lat), math.cos(lat), math.sin(lon), math.cos(lon)
    e = -so * d[0] + co * d[1]
    n = -sl * co * d[0] - sl * so * d[1] + cl * d[2]
    u = cl * co * d[0] + cl * so * d[1] + sl * d[2]
    return e, n, u


def obn_positions(path):
    data = open(path, "rb").read()
    offset = 202
    while offset + 68 <= len(data):
        (size, count, flags, week, sats, eflag, lat, lon, h, t, clk, pdop,
         rms) = struct.unpack_from("<hbBHBBddfddff", data, offset)
        offset += 68 + 44 * count
        if flags & 1:
            yield to_ecef(lat, lon, h)


def pos_positions(path):
    for line in open(path):
        if line.startswith("%") or not line.strip():
            continue
        f = line.split()
        yield float(f[2]), float(f[3]), float(f[4])


def main():
    kind, path = sys.argv[1], sys.argv[2]
    ref = tuple(float(v) for v in sys.argv[3:6])
    points = list(obn_positions(path) if kind == "obn" else pos_positions(path))
    if not points:
        print("solved 0")
        return
    mean = tuple(sum(p[i] for p in points) / len(points) for i in range(3))
    e, n, u = enu(ref, mean)
    errors = [enu(ref, p) for p in points]
    h_rms = math.sqrt(sum(a * a + b * b for a, b, _ in errors) / len(errors))
    v_rms = math.sqrt(sum(c * c for _, _, c in errors) / len(errors))
    h_max = max(math.hypot(a, b) for a, b, _ in errors)
    print("solved %d  mean offset horizontal %.3f m vertical %.3f m  "
          "per-epoch RMS horizontal %.3f m vertical %.3f m  worst horizontal %.2f m"
          % (len(points), math.hypot(e, n), u, h_rms, v_rms, h_max))


if __name__ == "__main__":
    main()
