#!/usr/bin/env bash
# check-deb.sh PACKAGE.deb SAMPLES: the package extracted into a scratch root has exactly its
# files in the Debian layout, dependencies found from its binaries, stripped programs, and its
# vsdl converts the samples into the golden reports, plots, and keeps its files out of
# /usr/bin.
set -euo pipefail
deb=$1 samples=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root/pkg"
pkg="$root/pkg"

expected="usr/bin/VSDownload
usr/bin/vsdl
usr/libexec/vsdownload/vsdl-plot
usr/share/applications/vsdownload.desktop
usr/share/doc/vsdownload/README.md
usr/share/doc/vsdownload/changelog.gz
usr/share/doc/vsdownload/copyright
usr/share/icons/hicolor/scalable/apps/vsdownload.svg
usr/share/man/man1/VSDownload.1.gz
usr/share/man/man1/vsdl.1.gz"
actual=$(cd "$pkg" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
[ "$actual" = "$(LC_ALL=C sort <<<"$expected")" ] || {
  diff <(LC_ALL=C sort <<<"$expected") <(echo "$actual") >&2 || true
  fail "the package's files are not the expected ones"
}
for program in bin/VSDownload bin/vsdl libexec/vsdownload/vsdl-plot; do
  file -L "$pkg/usr/$program" | grep -q ', stripped' || fail "$program is not stripped"
  [ "$(stat -c %a "$pkg/usr/$program")" = 755 ] || fail "$program is not mode 755"
done
grep -qx 'Exec=VSDownload' "$pkg/usr/share/applications/vsdownload.desktop" ||
  fail "the desktop entry does not start VSDownload from the PATH"
grep -q '<svg' "$pkg/usr/share/icons/hicolor/scalable/apps/vsdownload.svg" || fail "no SVG icon"
zcat "$pkg/usr/share/man/man1/vsdl.1.gz" | grep -q '^\.TH VSDL 1' || fail "vsdl(1) is no man page"

control=$(dpkg-deb -f "$deb")
version=$(grep -oP 'project\(VSDownload VERSION \K[0-9.]+' "$(dirname "$0")/../../CMakeLists.txt")
grep -qx "Package: vsdownload" <<<"$control" || fail "wrong package name"
grep -qx "Version: $version" <<<"$control" || fail "the version is not $version"
# Found by dpkg-shlibdeps from the binaries, not written by hand.
for lib in libqt6core6 libqt6widgets6 libqt6serialport6 libqt6charts6 libqt6svg6 libc6; do
  grep -E "^Depends:.*\b$lib\b" <<<"$control" >/dev/null || fail "Depends lacks $lib"
done
[ "$(basename "$deb")" = "vsdownload_${version}_$(dpkg --print-architecture).deb" ] ||
  fail "the file name is not vsdownload_<version>_<arch>.deb"

# The extracted vsdl converts each sample exactly as the golden reports have it.
mkdir "$root/work"
for bin in "$samples"/*.BIN; do
  name=$(basename "$bin" .BIN)
  cp "$bin" "$root/work/"
  "$pkg/usr/bin/vsdl" convert -q "$root/work/$name.BIN" || fail "vsdl convert $name.BIN failed"
  cmp "$root/work/$name.PRN" "$samples/$name.PRN" || fail "$name.PRN differs from the golden one"
  cmp "$root/work/$name.CSV" "$samples/$name.CSV" || fail "$name.CSV differs from the golden one"
done

# The extracted vsdl finds its drawing part in ../libexec/vsdownload.
"$pkg/usr/bin/vsdl" plot -q "$root/work/DEMO.BIN" -o "$root/work/demo.png" ||
  fail "vsdl plot failed"
[ "$(head -c 4 "$root/work/demo.png" | tail -c 3)" = PNG ] || fail "vsdl plot wrote no PNG"

# Installed, even a download by root keeps its files in the user's data folder: the one here
# fails at its missing device, after taking its lock there.
status=0
HOME="$root/home" "$pkg/usr/bin/vsdl" download --device "$root/no-device" >/dev/null 2>&1 ||
  status=$?
[ "$status" = 1 ] || fail "vsdl download on a missing device ended with $status, not 1"
[ -d "$root/home/.local/share/VSDownload" ] || fail "no data folder for the user"
[ "$(ls "$pkg/usr/bin" | tr '\n' ' ')" = "VSDownload vsdl " ] || fail "files appeared in usr/bin"
echo "package check ok: $(basename "$deb")"
