#!/usr/bin/env bash
# The tray's menu on a StatusNotifier host: tray_menu_check.py plays the host's watcher on a
# private session bus and drives the real player on a virtual display.
#   tray_menu_check.sh <player> <repo-root>
set -uo pipefail
if [ -z "${VORELA_PRIVATE_BUS:-}" ]; then
    command -v dbus-run-session >/dev/null 2>&1 || { echo "skipped: dbus-run-session is missing"; exit 77; }
    VORELA_PRIVATE_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
player=$1
root=$2
here=$(cd "$(dirname "$0")" && pwd)
for tool in Xvfb jwm xdotool; do
    command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is missing"; exit 77; }
done
/usr/bin/python3 -c 'from gi.repository import Gio' 2>/dev/null || { echo "skipped: python3-gi is missing"; exit 77; }

work=$(mktemp -d)
export XDG_RUNTIME_DIR=$work/runtime HOME=$work/home
mkdir -p "$XDG_RUNTIME_DIR" "$HOME" && chmod 700 "$XDG_RUNTIME_DIR"
source "$root/scripts/xvfb.sh"
cleanup() {
    stop_virtual_display
    rm -rf "$work"
}
trap cleanup EXIT
start_virtual_display

/usr/bin/python3 "$here/tray_menu_check.py" "$player"
