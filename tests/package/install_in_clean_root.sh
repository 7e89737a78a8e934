#!/bin/bash
# Installs the Debian package on a Debian 12 system that has never built it: a fresh minimal
# root made by debootstrap from the Debian mirror apt uses here, entered with chroot. Checks
# that `apt-get install ./korvalen_…deb` brings everything the program needs, that `korvalen`
# is on the PATH with its menu entry and icon, that it starts (offscreen, then on an X server),
# and that removing the package leaves none of its files. Run as root; needs the network to
# the mirror and takes a few minutes. Not part of `make test`.
# Usage: tests/package/install_in_clean_root.sh build/korvalen_1.0_amd64.deb [ROOT]
set -euo pipefail
deb=$(realpath "$1")
root=${2:-$(mktemp -d /tmp/korvalen-clean-root.XXXXXX)}
mirror=${MIRROR:-$(sed -n 's/^URIs: *\([^ ]*\/debian\)$/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1)}
mirror=${mirror:-http://deb.debian.org/debian}
say() { echo "== $*"; }
fail() { echo "install_in_clean_root: $*" >&2; exit 1; }
[ "$(id -u)" = 0 ] || fail "run as root (debootstrap and chroot)"
[ -f "$deb" ] || fail "no package $deb: run 'make deb'"
chmod 755 "$root" # apt drops to its own user to download
command -v debootstrap >/dev/null || apt-get install -y -q debootstrap

cleanup() {
    umount "$root/dev/pts" "$root/proc" 2>/dev/null || true
    [ -n "${KEEP_ROOT:-}" ] || rm -rf "$root"
}
trap cleanup EXIT

say "debootstrap bookworm (minbase) from $mirror into $root"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
    { tail -20 "$root.debootstrap.log"; fail "debootstrap failed"; }
rm -f "$root.debootstrap.log"
cat >"$root/etc/apt/sources.list" <<SOURCES
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb ${mirror%/debian}/debian-security bookworm-security main
SOURCES
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount -t devpts devpts "$root/dev/pts" # apt's terminal log
cp "$deb" "$root/tmp/"
in_root() {
    chroot "$root" env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive bash -euo pipefail -c "$1"
}
name=$(basename "$deb")

say "apt-get install ./$name"
in_root "apt-get update -q >/dev/null && cd /tmp && apt-get install -y -q ./$name" >"$root/tmp/install.log" ||
    { tail -20 "$root/tmp/install.log"; fail "apt-get install failed"; }
grep -E '^[0-9]+ upgraded, [0-9]+ newly installed' "$root/tmp/install.log"
in_root "dpkg-query -W -f='\${Status} \${Version}\n' korvalen"

say "on the PATH, in the menu"
in_root '[ "$(command -v korvalen)" = /usr/bin/korvalen ]' || fail "korvalen is not on the PATH"
in_root 'grep -qx "Exec=korvalen" /usr/share/applications/korvalen.desktop &&
         grep -qx "Icon=korvalen" /usr/share/applications/korvalen.desktop &&
         test -f /usr/share/icons/hicolor/scalable/apps/korvalen.svg &&
         test -f /usr/share/metainfo/org.example.korvalen.metainfo.xml' ||
    fail "menu entry, icon or AppStream file missing"

# The program has no command line and runs until its window is closed: still running after a
# few seconds, killed by timeout (124), means it started.
say "starts offscreen"
status=0
in_root 'QT_QPA_PLATFORM=offscreen timeout 5 korvalen' 2>"$root/tmp/offscreen.log" || status=$?
[ "$status" = 124 ] || { cat "$root/tmp/offscreen.log"; fail "korvalen ended with $status offscreen"; }

say "starts on an X server (xvfb installed after the check above)"
in_root 'apt-get install -y -q --no-install-recommends xvfb xauth >/dev/null'
status=0
in_root 'xvfb-run -a timeout 5 korvalen' 2>"$root/tmp/xcb.log" || status=$?
[ "$status" = 124 ] || { cat "$root/tmp/xcb.log"; fail "korvalen ended with $status under Xvfb"; }
grep -i 'qt.qpa\|could not' "$root/tmp/xcb.log" && fail "Qt complained under Xvfb"

say "apt-get purge korvalen"
in_root 'dpkg -L korvalen | sort > /tmp/files'
in_root 'apt-get purge -y -q korvalen >/dev/null'
in_root '! dpkg-query -W korvalen 2>/dev/null | grep -q .' || fail "korvalen still known to dpkg"
in_root '! command -v korvalen' || fail "korvalen still on the PATH"
left=$(in_root 'while read -r f; do [ -f "$f" ] && echo "$f"; done < /tmp/files; true')
[ -z "$left" ] || fail "files left after removal: $left"
in_root '[ ! -e /usr/share/doc/korvalen ] && [ ! -e /usr/share/applications/korvalen.desktop ]' ||
    fail "folders left after removal"
say "installed, ran and removed cleanly: $name"
