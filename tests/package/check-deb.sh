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

id=example.valdorsensing.vsdownload
icon_sizes="16 22 24 32 48 64 128 256"
expected="usr/bin/VSDownload
usr/bin/vsdl
usr/bin/vsdownload
usr/libexec/vsdownload/vsdl-plot
usr/share/applications/$id.desktop
usr/share/metainfo/$id.metainfo.xml
usr/share/mime/packages/vsdownload.xml
usr/share/doc/vsdownload/user-guide.md
usr/share/doc/vsdownload/changelog.Debian.gz
usr/share/doc/vsdownload/copyright
usr/share/icons/hicolor/scalable/apps/vsdownload.svg
$(for s in $icon_sizes; do echo "usr/share/icons/hicolor/${s}x$s/apps/vsdownload.png"; done)
usr/share/man/man1/VSDownload.1.gz
usr/share/man/man1/vsdownload.1.gz
usr/share/man/man1/vsdl.1.gz
usr/share/bash-completion/completions/vsdl"
actual=$(cd "$pkg" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
[ "$actual" = "$(LC_ALL=C sort <<<"$expected")" ] || {
  diff <(LC_ALL=C sort <<<"$expected") <(echo "$actual") >&2 || true
  fail "the package's files are not the expected ones"
}
for program in bin/VSDownload bin/vsdl libexec/vsdownload/vsdl-plot; do
  file -L "$pkg/usr/$program" | grep -q ', stripped' || fail "$program is not stripped"
  [ "$(stat -c %a "$pkg/usr/$program")" = 755 ] || fail "$program is not mode 755"
done
entry="$pkg/usr/share/applications/$id.desktop"
grep -qx 'Exec=VSDownload %f' "$entry" || fail "the desktop entry does not start VSDownload from the PATH"
# No error, no warning and no hint of the desktop's own checkers.
hints=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $hints"
[ -z "$hints" ] || fail "desktop-file-validate: $hints"
appstreamcli validate --no-net "$pkg/usr/share/metainfo/$id.metainfo.xml" >"$root/appstream.log" 2>&1 ||
  { cat "$root/appstream.log" >&2; fail "appstreamcli does not pass the metainfo"; }
grep -E '^[EW]:' "$root/appstream.log" && fail "appstreamcli warns about the metainfo"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" \
  "$pkg/usr/share/metainfo/$id.metainfo.xml" || fail "the metainfo does not launch the entry"
for s in $icon_sizes; do
  png="$pkg/usr/share/icons/hicolor/${s}x$s/apps/vsdownload.png"
  file "$png" | grep -q "PNG image data, $s x $s" || fail "the ${s}x$s icon is $(file -b "$png")"
done
[ "$(readlink "$pkg/usr/bin/vsdownload")" = VSDownload ] || fail "vsdownload does not start VSDownload"
# The file manager knows a BIN image by its first bytes, whatever its name, and offers the program.
mkdir "$root/mime"
cp -r "$pkg/usr/share/mime/packages" "$root/mime/"
update-mime-database "$root/mime" >/dev/null 2>&1
cp "$samples/DEMO.BIN" "$root/Run1.dat"
printf 'not an image' >"$root/other.bin"
type_of() { XDG_DATA_DIRS="$root:/usr/share" gio info -a standard::content-type "$1" |
  sed -n 's/.*standard::content-type: //p'; }
[ "$(type_of "$root/Run1.dat")" = application/x-vsdownload-image ] ||
  fail "a BIN image is seen as $(type_of "$root/Run1.dat")"
[ "$(type_of "$root/other.bin")" != application/x-vsdownload-image ] ||
  fail "any .bin file is taken for a BIN image"
grep -qx 'MimeType=application/x-vsdownload-image;' "$entry" || fail "the entry opens no BIN image"
grep -q '<svg' "$pkg/usr/share/icons/hicolor/scalable/apps/vsdownload.svg" || fail "no SVG icon"
# vsdl's completion parses, and completes a command from its first letters.
completion="$pkg/usr/share/bash-completion/completions/vsdl"
bash -n "$completion" || fail "the bash completion does not parse"
completed=$(bash -c 'source "$1"; COMP_WORDS=(vsdl con); COMP_CWORD=1; _vsdl; echo "${COMPREPLY[*]}"' \
  _ "$completion")
[ "$completed" = convert ] || fail "the bash completion makes 'vsdl con' into '$completed'"
zcat "$pkg/usr/share/man/man1/vsdl.1.gz" | grep -q '^\.TH VSDL 1' || fail "vsdl(1) is no man page"
# Reproducible: every file dated at the last change of the sources, not at the build.
[ -n "${SOURCE_DATE_EPOCH:-}" ] || fail "SOURCE_DATE_EPOCH is not set for the package"
newer=$(dpkg-deb --fsys-tarfile "$deb" | tar -tv --full-time | awk -v t="$(date -u -d "@$SOURCE_DATE_EPOCH" '+%F %T')" '$4" "$5 > t')
[ -z "$newer" ] || fail "files dated after SOURCE_DATE_EPOCH: $newer"

control=$(dpkg-deb -f "$deb")
# The program's version and the package's Debian revision.
version=$(grep -oP 'project\(VSDownload VERSION \K[0-9.]+' "$(dirname "$0")/../../CMakeLists.txt")-1
grep -qx "Package: vsdownload" <<<"$control" || fail "wrong package name"
grep -qx "Version: $version" <<<"$control" || fail "the version is not $version"
# Found by dpkg-shlibdeps from the binaries, not written by hand.
for lib in libqt6core6 libqt6widgets6 libqt6serialport6 libqt6charts6 libqt6svg6 libxlsxwriter4 \
           libc6; do
  grep -E "^Depends:.*\b$lib\b" <<<"$control" >/dev/null || fail "Depends lacks $lib"
done
[ "$(basename "$deb")" = "vsdownload_${version}_$(dpkg --print-architecture).deb" ] ||
  fail "the file name is not vsdownload_<version>-<revision>_<arch>.deb"

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
[ "$(ls "$pkg/usr/bin" | tr '\n' ' ')" = "VSDownload vsdl vsdownload " ] ||
  fail "files appeared in usr/bin"
echo "package check ok: $(basename "$deb")"
