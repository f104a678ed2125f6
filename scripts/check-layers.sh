#!/usr/bin/env bash
# Checks every #include "..." of src/ and libs/ against the layer table of
# docs/layout.md: a file of a folder may include its own folder's headers and
# those of the folders its row names under "may use"; an include never climbs
# with "../", and a folder-qualified include names a folder of the table.
# Prints each breach as FILE:LINE: #include "..." and why; exit 1 when there
# is one, 0 otherwise (2 when the table cannot be read).
#
#   scripts/check-layers.sh [SOURCE_DIR]     (default: this script's tree)
set -euo pipefail
root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
table="$root/docs/layout.md"
[ -f "$table" ] || { echo "check-layers: no layer table: $table" >&2; exit 2; }

python3 - "$root" "$table" <<'EOF'
import os, re, sys

root, table = sys.argv[1], sys.argv[2]

# Rows of the form | `src/NAME/` | what it holds | a, b, c |  (or — for none).
row = re.compile(r"^\|\s*`(src/[a-z_]+|libs/\*)/`\s*\|.*\|\s*([^|]*?)\s*\|\s*$")
allowed = {}
with open(table, encoding="utf-8") as f:
    for line in f:
        m = row.match(line)
        if m:
            uses = m.group(2)
            allowed[m.group(1)] = set() if uses in ("—", "-", "") else {
                u.strip() for u in uses.split(",")}
folders = {key.split("/")[1] for key in allowed if key.startswith("src/")}
if not folders:
    print(f"check-layers: no folder rows in {table}", file=sys.stderr)
    sys.exit(2)
for key, uses in allowed.items():
    for use in uses - folders:
        print(f"check-layers: {table}: {key} may use '{use}', which is no folder of the table",
              file=sys.stderr)
        sys.exit(2)

include = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
breaches = 0

def check(path, key, own):
    global breaches
    relative = os.path.relpath(path, root)
    with open(path, encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            m = include.match(line)
            if not m:
                continue
            target = m.group(1)
            why = None
            if "../" in target or target.startswith(".."):
                why = "climbs out of its folder with ../"
            elif "/" in target:
                folder = target.split("/")[0]
                if folder not in folders:
                    why = f"'{folder}' is no folder of the layer table"
                elif folder != own and folder not in allowed[key]:
                    who = own if own else key
                    why = f"{who} may not use {folder} (docs/layout.md)"
            if why:
                print(f'{relative}:{number}: #include "{target}": {why}')
                breaches += 1

for area in sorted(folders):
    key = f"src/{area}"
    for directory, _, files in os.walk(os.path.join(root, "src", area)):
        for name in sorted(files):
            if name.endswith((".h", ".cpp", ".inc")):
                check(os.path.join(directory, name), key, area)
# Folders of src/ that the table does not list.
for area in sorted(os.listdir(os.path.join(root, "src"))):
    if os.path.isdir(os.path.join(root, "src", area)) and f"src/{area}" not in allowed:
        print(f"src/{area}/: no row in the layer table (docs/layout.md)")
        breaches += 1
if "libs/*" in allowed:
    for directory, _, files in os.walk(os.path.join(root, "libs")):
        for name in sorted(files):
            if name.endswith((".h", ".cpp")):
                check(os.path.join(directory, name), "libs/*", None)

sys.exit(1 if breaches else 0)
EOF
