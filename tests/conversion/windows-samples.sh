#!/usr/bin/env bash
# vsdl.exe convert under Wine on the samples: the golden reports byte for byte, also for a BIN
# file whose name lies outside the Windows code page and one reached by a backslash path.
set -euo pipefail
vsdl=$1 samples=$2 run=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir sub
status=0
for bin in "$samples"/*.BIN; do
    name=$(basename "$bin" .BIN)
    cp "$bin" "$name.BIN"
    "$run" "$vsdl" convert -q "$name.BIN" || { echo "FAIL: vsdl.exe convert $name.BIN"; status=1; }
    cmp "$name.PRN" "$samples/$name.PRN" && cmp "$name.CSV" "$samples/$name.CSV" || status=1
done
cp "$samples/DEMO.BIN" "sub/Δοκιμή 1.bin"
"$run" "$vsdl" convert -q 'sub\Δοκιμή 1.bin' || { echo "FAIL: a name outside the code page"; status=1; }
# Only ASCII letters are upper-cased in report names, so the Greek stays as it was.
cmp "sub/Δοκιμή 1.PRN" "$samples/DEMO.PRN" && cmp "sub/Δοκιμή 1.CSV" "$samples/DEMO.CSV" || status=1
exit $status
