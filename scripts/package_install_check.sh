#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The package as a user of a fresh Debian 12 meets it: in a copy of a minimal debootstrap
# chroot, `apt install ./vorela_*.deb` must pull what the player needs, the player must start
# from its desktop entry (on a virtual display of the host, whose picture is kept), and
# `apt purge vorela` must leave no file or folder of it. Needs root, debootstrap and the Debian
# mirror, so it is not part of the test suite.
#   scripts/package_install_check.sh <package.deb> [screenshot.png]
# VORELA_CHROOT_BASE keeps the debootstrap result between runs (/var/tmp/vorela-bookworm).
set -uo pipefail
deb=$(realpath "${1:?package file}")
screenshot=${2:-/tmp/vorela_from_desktop_entry.png}
base=${VORELA_CHROOT_BASE:-/var/tmp/vorela-bookworm}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/xvfb.sh"
source "$here/../tests/support/check.sh"
[ "$(id -u)" -eq 0 ] || { echo "run as root (chroot, mount)"; exit 1; }

if [ ! -x "$base/usr/bin/apt-get" ]; then
    debootstrap --variant=minbase bookworm "$base" http://deb.debian.org/debian ||
        { echo "FAILED: debootstrap (is the Debian mirror reachable?)"; exit 1; }
fi
root=$(mktemp -d /var/tmp/vorela-chroot.XXXXXX)
cleanup() {
    umount "$root/tmp/.X11-unix" "$root/proc" 2>/dev/null
    stop_virtual_display
    rm -rf --one-file-system "$root"
}
trap cleanup EXIT
cp -a "$base/." "$root/"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    DEBIAN_FRONTEND=noninteractive "$@"; }
# What a user's system holds apart from packages' own records and caches.
snapshot() {
    in_root find / -xdev \( -path /proc -o -path /tmp -o -path /var/lib/apt -o -path /var/cache \
        -o -path /var/log -o -path /var/lib/dpkg -o -path /root \) -prune -o -print | LC_ALL=C sort
}

in_root apt-get update -qq >/dev/null
# gio launches a desktop entry as the desktop's menu does.
in_root apt-get install -y -qq --no-install-recommends libglib2.0-bin >/dev/null
cp "$deb" "$root/tmp/"
package=/tmp/$(basename "$deb")
check "apt installs the package with what it needs" in_root apt-get install -y -qq "$package"
libraries=$(in_root sh -c 'ldd /usr/bin/vorela /usr/lib/*/vorela/*.so' 2>&1)
check "the program and its modules find every library they link" \
    eval '[ -n "$libraries" ] && ! grep -qE "not found|No such file" <<<"$libraries"'
installed=$(in_root dpkg -L vorela)
check "apt purges the package" in_root apt-get purge -y -qq vorela
left=""
while IFS= read -r path; do
    [ "$path" = /. ] || [ ! -e "$root$path" ] && continue
    # Shared folders stay while other packages own them.
    [ -d "$root$path" ] && in_root dpkg -S "$path" >/dev/null 2>&1 && continue
    left+="$path"$'\n'
done <<<"$installed"
check "no file or folder of the package is left" test -z "$left"
[ -n "$left" ] && printf 'left:\n%s' "$left"

# Again with the dependencies in place, so that what they bring does not count: installing,
# running from the desktop entry and purging must leave the system as it was.
before=$(snapshot)
in_root apt-get install -y -qq "$package" >/dev/null
start_virtual_display
mkdir -p "$root/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
entry=$(in_root sh -c 'ls /usr/share/applications/*vorela*.desktop')
in_root env DISPLAY="$DISPLAY" LANG=C.UTF-8 gio launch "$entry"
window=$(timeout 30 xdotool search --sync --class vorela | head -n 1)
check "the player's window comes up from its desktop entry" test -n "$window"
if [ -n "$window" ]; then
    sleep 2
    import -window root "$screenshot" && echo "screenshot: $screenshot"
    pid=$(xdotool getwindowpid "$window")
    [ -n "$pid" ] && kill "$pid"
    sleep 1
fi
in_root apt-get purge -y -qq vorela >/dev/null
new=$(comm -3 <(echo "$before") <(snapshot))
check "install, run and purge leave the system as it was" test -z "$new"
[ -n "$new" ] && printf 'changed:\n%s\n' "$new"
check "no name of the player is left anywhere" \
    test -z "$(in_root find / -xdev -path /proc -prune -o -iname '*vorela*' ! -path '/tmp/*' -print)"
summary
