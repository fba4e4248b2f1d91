#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a temporary prefix as the README's install section does, checks what a
# desktop reads there (the desktop entry, the AppStream metadata, the icon, the help page) with
# the desktop's own validators, then uninstalls it as the README says.
#   install_check.sh <build-dir> <application-id>
set -uo pipefail
build=$1
id=$2
for tool in desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is missing"; exit 77; }
done

prefix=$(mktemp -d)
manifest=$build/install_manifest.txt
# The manifest of a real install in this build stays as it was.
saved=$(mktemp)
[ -f "$manifest" ] && cp -p "$manifest" "$saved"
restore() {
    if [ -s "$saved" ]; then cp -p "$saved" "$manifest"; else rm -f "$manifest"; fi
    rm -rf "$prefix" "$saved"
}
trap restore EXIT

source "$(dirname "$0")/../support/check.sh"

cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAILED: cmake --install"; exit 1; }
desktop=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml
entry() { sed -n "s/^$1=//p" "$desktop"; }

check "the program is installed" test -x "$prefix/bin/vorela"
check "the desktop entry validates" desktop-file-validate "$desktop"
check "the AppStream metadata validates" appstreamcli validate --no-net "$metainfo"
check "the installed tree validates (entry, metadata and icon agree)" \
    appstreamcli validate-tree --no-net "$prefix"
check "the entry claims no MIME types: the program opens nothing it is given" \
    test -z "$(entry MimeType)"
check "the entry starts the program without arguments" test "$(entry Exec)" = vorela
check "the entry gives the program's name" test "$(entry Name)" = "VorelaMP3播放器"
check "the entry has keywords" test -n "$(entry Keywords)"
check "the entry's icon is installed" \
    test -f "$prefix/share/icons/hicolor/scalable/apps/$(entry Icon).svg"
check "the entry matches the window's class" test "$(entry StartupWMClass)" = vorela
check "the metadata launches this entry" \
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo"
check "the help page lies where the installed program looks for it" \
    test -f "$prefix/bin/../share/vorela/help/index.html"
check "the manual page is installed" test -f "$prefix/share/man/man1/vorela.1"

cmake -P "$build/uninstall.cmake" >/dev/null
check "uninstalling leaves no file behind" test -z "$(find "$prefix" ! -type d)"
check "uninstalling leaves no folder of the player's (lib/vorela, share/vorela)" \
    test -z "$(find "$prefix" -name vorela)"

summary
