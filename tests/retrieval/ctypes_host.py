#!/usr/bin/python3
"""A host program in another language: drives libstanvex.so through its
exports only (ctypes), with a status callback, for one full retrieval from a
simulated archive. Usage: ctypes_host.py OUT_DIR SCRATCH_PARENT"""

import ctypes
import os
import shutil
import subprocess
import sys
import tempfile


class StatusRecord(ctypes.Structure):
    _pack_ = 1
    _fields_ = [("text", ctypes.c_char * 512), ("code", ctypes.c_int32),
                ("value1", ctypes.c_int32), ("value2", ctypes.c_int32),
                ("value3", ctypes.c_int32), ("value4", ctypes.c_int32),
                ("reserved1", ctypes.c_int32), ("real", ctypes.c_double),
                ("reserved2", ctypes.c_uint8 * 16)]


class StationRecord(ctypes.Structure):
    _pack_ = 1
    _fields_ = [("distance", ctypes.c_double), ("sName", ctypes.c_char * 8),
                ("latDeg", ctypes.c_float), ("latMin", ctypes.c_float),
                ("latSec", ctypes.c_float), ("lonDeg", ctypes.c_float),
                ("lonMin", ctypes.c_float), ("lonSec", ctypes.c_float),
                ("ht", ctypes.c_float), ("latHem", ctypes.c_char), ("lonHem", ctypes.c_char),
                ("lat", ctypes.c_double), ("lon", ctypes.c_double),
                ("height", ctypes.c_float), ("serv", ctypes.c_char * 32)]


class ServiceRecord(ctypes.Structure):
    _pack_ = 1
    _fields_ = [("ServId", ctypes.c_char * 32), ("ftpAd", ctypes.c_char * 128),
                ("stationCount", ctypes.c_int32), ("firstStation", ctypes.c_int32),
                ("hasDFile", ctypes.c_int32), ("Ftype", ctypes.c_char * 5),
                ("oFile", ctypes.c_char * 256), ("nFile", ctypes.c_char * 256),
                ("dFile", ctypes.c_char * 256), ("color", ctypes.c_char * 32),
                ("servIcon", ctypes.c_char * 32), ("staIcon", ctypes.c_char * 32)]


class ServSta(ctypes.Structure):
    _pack_ = 1
    _fields_ = [("iServiceSize", ctypes.c_int32), ("iStationSize", ctypes.c_int32),
                ("pStations", ctypes.POINTER(StationRecord)),
                ("pServices", ctypes.POINTER(ServiceRecord)),
                ("iNumStations", ctypes.c_int32), ("iNumServices", ctypes.c_int32)]


class AvgPosition(ctypes.Structure):
    _pack_ = 1
    _fields_ = [("position1", ctypes.c_double), ("position2", ctypes.c_double),
                ("status", ctypes.c_int32)]


CALLBACK = ctypes.CFUNCTYPE(None, ctypes.POINTER(StatusRecord))
GPS_2023_01_01 = 1356566400  # GPS seconds of 2023-01-01 00:00:00


def check(condition, message):
    if not condition:
        print("FAILED: " + message)
        sys.exit(1)


def main():
    out_dir, scratch_parent = sys.argv[1], sys.argv[2]
    assert ctypes.sizeof(StatusRecord) == 560 and ctypes.sizeof(StationRecord) == 98
    assert ctypes.sizeof(ServiceRecord) == 1041 and ctypes.sizeof(AvgPosition) == 20
    os.makedirs(scratch_parent, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="ctypes-host-", dir=scratch_parent)
    try:
        subprocess.run([os.path.join(out_dir, "stanvex"), "simulate", "--out", scratch,
                        "--start", "2023-01-01", "--days", "1", "--stations", "sima"],
                       check=True, stdout=subprocess.DEVNULL)
        work = os.path.join(scratch, "work")
        dest = os.path.join(scratch, "dest")
        os.makedirs(work)
        os.makedirs(dest)

        lib = ctypes.CDLL(os.path.join(out_dir, "libstanvex.so"))
        lib.SetCallBack.restype = ctypes.c_void_p
        lib.SetCallBack.argtypes = [CALLBACK]
        lib.iGetLastError.argtypes = [ctypes.c_char_p]
        lib.iInitalizeNEW.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.POINTER(ServSta)]
        lib.vClearMem.argtypes = [ctypes.POINTER(ServSta)]
        lib.iFindClosestStation.argtypes = [
            ctypes.c_double, ctypes.c_double, ctypes.c_double,
            ctypes.POINTER(ctypes.POINTER(StationRecord)), ctypes.c_int32,
            ctypes.POINTER(ctypes.c_int32)]
        lib.iFTP.argtypes = [ctypes.c_double, ctypes.c_double, ctypes.POINTER(StationRecord),
                             ctypes.c_char_p, ctypes.c_double, ctypes.c_char_p,
                             ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int32, ctypes.c_int32,
                             ctypes.c_int32]
        lib.NewGetAvgOBNPos.argtypes = [ctypes.c_char_p, ctypes.POINTER(AvgPosition),
                                        ctypes.POINTER(ctypes.c_double),
                                        ctypes.POINTER(ctypes.c_double),
                                        ctypes.POINTER(ctypes.c_int32)]
        lib.NewGetAvgOBNPos.restype = None

        seen = []

        def on_status(record):
            raw = ctypes.string_at(record, 560)
            seen.append((record.contents.code, record.contents.text.decode("latin-1"), raw))

        callback = CALLBACK(on_status)
        lib.SetCallBack(callback)

        catalogue = ServSta(1041, 98)
        catalogue_dir = ctypes.create_string_buffer(os.path.join(scratch, "catalogue").encode(), 256)
        error = ctypes.create_string_buffer(512)
        result = lib.iInitalizeNEW(catalogue_dir, work.encode(), ctypes.byref(catalogue))
        lib.iGetLastError(error)
        check(result == 0, "iInitalizeNEW: " + error.value.decode())
        check(catalogue.iNumStations == 1, "one station expected")

        found = (ctypes.POINTER(StationRecord) * 3)()
        count = ctypes.c_int32(0)
        check(lib.iFindClosestStation(46.9, 7.5, 100000.0, found, 3, ctypes.byref(count)) == 0,
              "iFindClosestStation")
        check(count.value == 1 and found[0].contents.sName == b"sima", "nearest station")

        destination = ctypes.create_string_buffer(dest.encode(), 256)
        delivered = ctypes.create_string_buffer(256)
        result = lib.iFTP(float(GPS_2023_01_01), float(GPS_2023_01_01 + 7200),
                          catalogue.pStations, destination, 0.0, delivered, None, None, 1, 0, 1)
        lib.iGetLastError(error)
        check(result == 0, "iFTP: " + error.value.decode())
        codes = [code for code, _, _ in seen if code not in (121, 122, 131)]
        check(codes[-1] == 138, "request done comes last")
        check(139 in codes and 132 in codes, "output path and day done were reported")
        for code, text, raw in seen:
            tail = raw[len(text.encode("latin-1")):512]
            check(all(b == 0 for b in tail), "text bytes after the NUL are zero (code %d)" % code)
            check(raw[532:536] == b"\0" * 4 and raw[544:560] == b"\0" * 16, "reserved bytes zero")

        average = AvgPosition()
        start, end, valid = ctypes.c_double(), ctypes.c_double(), ctypes.c_int32()
        lib.NewGetAvgOBNPos(delivered.value, ctypes.byref(average), ctypes.byref(start),
                            ctypes.byref(end), ctypes.byref(valid))
        check(valid.value == 1, "a valid span")
        check(abs(average.position1 - (46 + 52 / 60 + 37.5012 / 3600)) < 5e-5, "latitude")
        check(start.value == GPS_2023_01_01, "span start")
        lib.vClearMem(ctypes.byref(catalogue))
        print("ctypes host: full request delivered %s" % delivered.value.decode())
        print("1 passed, 0 failed")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
