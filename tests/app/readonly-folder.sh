#!/usr/bin/env bash
# readonly-folder.sh VSDL VSDOWNLOAD SAMPLES: a program folder its user cannot write (as an
# installed program's). vsdl download keeps serialport.cfg and ~tempidl.bin in the user's data
# folder and finds ports/com<n> there, the program makes that folder, and nothing is written
# beside the programs. As root (CI) the check runs as the user nobody; otherwise the program
# folder is made read-only.
set -euo pipefail
vsdl=$1 vsdownload=$2 samples=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
# Whatever this test started from the program folder ends with it.
trap 'pkill -KILL -f "^$work/program/" 2>/dev/null || true; chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
chmod 755 "$work"
program="$work/program" home="$work/home"
mkdir -p "$program" "$home"
cp "$vsdl" "$vsdownload" "$program/"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown nobody "$home"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
else
  chmod 555 "$program"
fi
# Called without a function, so that a background run's $! is the program itself (setpriv and
# env exec it) and kill ends the program, not a subshell that would leave it running.
as_env=("${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$home" QT_QPA_PLATFORM=offscreen)
run() { "${as_env[@]}" "$@"; }
data="$home/.local/share/VSDownload"
run touch "$program/probe" 2>/dev/null && fail "the user can write the program folder"

# The program makes the data folder when it starts.
"${as_env[@]}" "$program/VSDownload" >/dev/null 2>&1 &
window=$!
for _ in $(seq 100); do [ -d "$data" ] && break; sleep 0.1; done
kill $window; wait $window || true
[ -d "$data" ] || fail "VSDownload did not make $data"

# COM 2 from serialport.cfg in the data folder, its link in the data folder's ports/.
run mkdir -p "$data/ports"
run sh -c "printf '2\r\n' > '$data/serialport.cfg'"
"${as_env[@]}" "$program/vsdl" simulate "$samples/DEMO.BIN" --link "$data/ports/com2" >/dev/null &
simulator=$!
for _ in $(seq 50); do [ -L "$data/ports/com2" ] && break; sleep 0.1; done
run "$program/vsdl" download >"$work/download.log" 2>&1 || { cat "$work/download.log"; fail "vsdl download failed"; }
wait $simulator || fail "the simulator ended badly"
cmp "$data/~tempidl.bin" "$samples/DEMO.BIN" || fail "~tempidl.bin is not the image"
[ "$(ls -A "$program" | sort | tr '\n' ' ')" = "VSDownload vsdl " ] ||
  fail "something was written beside the programs: $(ls -A "$program")"
echo "read-only program folder ok"
