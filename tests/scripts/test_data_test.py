#!/usr/bin/env python3
"""The real data of the tests ships with the sources, each file with where it
comes from, and nothing reads data from outside the source tree.

    test_data_test.py SOURCE_DIR
"""
import os
import re
import sys
import unittest

ROOT = os.path.abspath(sys.argv.pop(1) if len(sys.argv) > 1 else ".")
DATA = os.path.join(ROOT, "tests", "data")
# Folders of the tree that hold no sources: git's, builds, the sample run's.
NOT_SOURCES = re.compile(r"^(\.git|build[^/]*|sample)$")


def listed_files():
    """The files the README's table names: "`rinex/a.05o`, `.05n`" names
    rinex/a.05o and rinex/a.05n; "`rinex3/s.crx`, `s.rnx`" the second in the
    folder of the first."""
    names = []
    with open(os.path.join(DATA, "README.md"), encoding="utf-8") as readme:
        for line in readme:
            if not line.startswith("| `"):
                continue
            first = None
            for token in re.findall(r"`([^`]+)`", line.split("|")[1]):
                if first is None:
                    first = token
                    names.append(token)
                elif token.startswith("."):
                    names.append(first.rsplit(".", 1)[0] + token)
                else:
                    names.append(os.path.join(os.path.dirname(first), token))
    return names


def shipped_files():
    found = []
    for folder, _, files in os.walk(DATA):
        for name in files:
            path = os.path.relpath(os.path.join(folder, name), DATA)
            if path != "README.md":
                found.append(path)
    return found


class TestData(unittest.TestCase):
    maxDiff = None

    def test_every_shipped_file_has_its_source(self):
        self.assertEqual(sorted(set(shipped_files()) - set(listed_files())), [])

    def test_every_listed_file_is_shipped(self):
        missing = [f for f in listed_files() if not os.path.isfile(os.path.join(DATA, f))]
        self.assertEqual(missing, [])

    def test_line_ends_are_kept(self):
        # The high-rate file has CR LF line ends; a checkout must not change them.
        with open(os.path.join(DATA, "highrate", "glw1277m.18o"), "rb") as f:
            head = f.read(4096)
        self.assertEqual(head.count(b"\n"), head.count(b"\r\n"))
        self.assertGreater(head.count(b"\r\n"), 10)

    def test_nothing_reads_data_from_beside_the_tree(self):
        outside = ".." + "/shared"
        old_option = "STANVEX_" + "SHARED_DATA"
        found = []
        for folder, dirs, files in os.walk(ROOT):
            relative = os.path.relpath(folder, ROOT)
            if relative == ".":
                dirs[:] = [d for d in dirs if not NOT_SOURCES.match(d)]
            if relative == os.path.join("tests", "data"):
                dirs[:] = []
                continue
            for name in files:
                path = os.path.join(folder, name)
                with open(path, "rb") as f:
                    text = f.read()
                for needle in (outside, old_option):
                    if needle.encode() in text:
                        found.append(f"{os.path.relpath(path, ROOT)}: {needle}")
        self.assertEqual(found, [])


if __name__ == "__main__":
    unittest.main()
