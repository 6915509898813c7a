#!/usr/bin/env bash
# install-layout.sh SOURCE_DIR BUILD_DIR: `scripts/install` into a scratch prefix and a scratch
# home gives a program folder of stripped programs, a desktop entry that starts them and vsdl's
# bash completion.
set -euo pipefail
source_dir=$1
build_dir=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix="$scratch/Lab Tools/VSDownload"
fail() { echo "FAIL: $*" >&2; exit 1; }

HOME="$scratch/home" XDG_DATA_HOME= "$source_dir/scripts/install" "$build_dir" "$prefix" >/dev/null

for f in VSDownload vsdl vsdl-plot README.md share/vsdownload.svg share/vsdownload.desktop; do
  [ -e "$prefix/$f" ] || fail "$f is missing from the program folder"
done
[ -x "$prefix/VSDownload" ] || fail "VSDownload is not executable"
for f in VSDownload vsdl; do
  file -L "$prefix/$f" | grep -q ', stripped' || fail "$f is not stripped"
done
"$prefix/vsdl" --version | grep -q '2\.1\.0' || fail "the installed vsdl does not run"

entry="$scratch/home/.local/share/applications/vsdownload.desktop"
icon="$scratch/home/.local/share/icons/hicolor/scalable/apps/vsdownload.svg"
completion="$scratch/home/.local/share/bash-completion/completions/vsdl"
[ -f "$entry" ] || fail "no desktop entry for the user"
grep -q '^complete -F _vsdl vsdl$' "$completion" || fail "no bash completion of vsdl for the user"
[ -f "$icon" ] || fail "no icon for the user"
grep -qx "Exec=\"$prefix/VSDownload\" %f" "$entry" || fail "Exec does not name the installed program: $(grep Exec "$entry")"
grep -qx "Icon=vsdownload" "$entry" || fail "Icon does not name the installed icon"
grep -q '<svg' "$icon" || fail "the icon is not an SVG"
# Nothing of the build folder's settings travels with the installation.
for f in serialport.cfg lastbin.cfg '~tempidl.bin'; do
  [ ! -e "$prefix/$f" ] || fail "$f was installed"
done

# make uninstall takes away what was installed and keeps what the programs wrote.
printf '2\r\n' >"$prefix/serialport.cfg"
HOME="$scratch/home" XDG_DATA_HOME= "$source_dir/scripts/uninstall" "$prefix" >/dev/null
[ "$(ls -A "$prefix")" = serialport.cfg ] || fail "uninstall left $(ls -A "$prefix" | tr '\n' ' ')"
[ ! -e "$entry" ] && [ ! -e "$icon" ] && [ ! -e "$completion" ] ||
  fail "uninstall left the menu entry, icon or completion"
rm "$prefix/serialport.cfg"
HOME="$scratch/home" XDG_DATA_HOME= "$source_dir/scripts/install" "$build_dir" "$prefix" >/dev/null
HOME="$scratch/home" XDG_DATA_HOME= "$source_dir/scripts/uninstall" "$prefix" >/dev/null
[ ! -e "$prefix" ] || fail "uninstall left an empty program folder"
echo "install layout ok"
