#!/bin/bash
# Builds the Debian package from the build tree into a scratch folder and checks what a user of
# apt will get: its name and fields, its exact file list, run-time dependencies found from the
# program's libraries, the validity of the desktop entry and the AppStream file it carries, and
# lintian's verdict.
# Usage: check_deb.sh BUILD_DIR SCRATCH_DIR VERSION
set -euo pipefail
build=$1 scratch=$2 version=$3
fail() { echo "check_deb: $*" >&2; exit 1; }
for tool in cpack dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null || fail "$tool is missing: run 'make deps'"
done

rm -rf "$scratch"
mkdir -p "$scratch"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; fail "cpack failed"; }
deb=$scratch/korvalen_${version}_amd64.deb
[ -f "$deb" ] || fail "no $(basename "$deb") (made: $(cd "$scratch" && ls ./*.deb 2>/dev/null))"

field() { dpkg-deb -f "$deb" "$1"; }
expect_field() {
    [ "$(field "$1")" = "$2" ] || fail "$1 is '$(field "$1")', expected '$2'"
}
expect_field Package korvalen
expect_field Version "$version"
expect_field Architecture amd64
expect_field Section science
expect_field Priority optional
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer '$(field Maintainer)'"
# A synopsis and a long description of several lines.
[ "$(field Description | wc -l)" -ge 5 ] || fail "the description has no long part"

# Every library the program links must be a dependency with a minimal version from its
# symbols; nothing may be there that no library asks for.
depends=$(field Depends)
declare -A versioned=()
while read -r package constraint; do
    case $package in
    libc6 | libgcc-s1 | libstdc++6 | libqt6core6 | libqt6gui6 | libqt6widgets6 | libjpeg62-turbo | libexif12) ;;
    *) fail "unexpected dependency $package in: $depends" ;;
    esac
    [[ "$constraint" =~ ^\(\>=\ [^\)]+\)$ ]] && versioned[$package]=1
done < <(tr ',' '\n' <<<"$depends" | sed 's/^ *//')
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libjpeg62-turbo; do
    [ -n "${versioned[$library]:-}" ] || fail "Depends lacks a versioned $library: $depends"
done

expected_files="./usr/bin/korvalen
./usr/share/applications/korvalen.desktop
./usr/share/doc/korvalen/changelog.gz
./usr/share/doc/korvalen/copyright
./usr/share/icons/hicolor/256x256/apps/korvalen.png
./usr/share/icons/hicolor/32x32/apps/korvalen.png
./usr/share/icons/hicolor/scalable/apps/korvalen.svg
./usr/share/man/man1/korvalen.1.gz
./usr/share/metainfo/org.example.korvalen.metainfo.xml
./usr/share/pixmaps/korvalen.xpm"
files=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | LC_ALL=C sort)
[ "$files" = "$expected_files" ] || fail "file list differs:
$(diff <(echo "$expected_files") <(echo "$files"))"
dpkg-deb -c "$deb" | awk '$2 != "root/root" { exit 1 }' || fail "files not owned by root"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/korvalen.desktop" || fail "desktop entry invalid"
metainfo=$root/usr/share/metainfo/org.example.korvalen.metainfo.xml
appstreamcli validate --no-net --pedantic "$metainfo" || fail "AppStream file invalid"
grep -q "<release version=\"$version\" date=\"[0-9]\{4\}-[0-9][0-9]-[0-9][0-9]\"/>" "$metainfo" ||
    fail "the AppStream release is not $version"
zcat "$root/usr/share/doc/korvalen/changelog.gz" | head -1 | grep -q "^korvalen ($version) " ||
    fail "the changelog's last entry is not $version"
if readelf -S "$root/usr/bin/korvalen" | grep -q '\.symtab'; then fail "the program is not stripped"; fi

# Errors and warnings both fail; the informational tags kept are explained in the README.
lintian --fail-on error,warning --display-level '>=warning' "$deb" || fail "lintian rejects the package"
echo "check_deb: $(basename "$deb") is complete"
