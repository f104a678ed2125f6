#!/usr/bin/env bash
# scripts/check-last-error.sh on planted trees: a folder that returns Results
# and writes the last error fails the check, naming the file; a folder within
# its allowance passes.
set -uo pipefail
check="$1/scripts/check-last-error.sh"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/src/obsfiles" "$tree/src/transfer" "$tree/src/api" "$tree/src/base"
echo 'Result Close() { return Result::Success(); }' > "$tree/src/obsfiles/clean.cpp"
echo 'void Fail() { SetLastErrorText("Error %s", "x"); }' > "$tree/src/transfer/transfer.cpp"
echo 'int Report() { CopyText(LastErrorText, 512, ""); return -1; }' > "$tree/src/api/exports.cpp"
echo 'void SetLastErrorText(const char* format, ...);' > "$tree/src/base/last_error.h"

output=$(LAST_ERROR_ALLOWANCES="transfer=1" bash "$check" "$tree") || { echo "FAIL: a tree within its allowances was refused: $output"; exit 1; }

echo 'void Cut() { AppendLastErrorText(" more"); }' > "$tree/src/obsfiles/splice.cpp"
output=$(LAST_ERROR_ALLOWANCES="transfer=1" bash "$check" "$tree")
if [ $? -ne 1 ]; then echo "FAIL: a write in src/obsfiles passed: $output"; exit 1; fi
case "$output" in
  *"src/obsfiles/splice.cpp writes the last error 1 times"*) ;;
  *) echo "FAIL: the file is not named: $output"; exit 1 ;;
esac
echo "PASS"
