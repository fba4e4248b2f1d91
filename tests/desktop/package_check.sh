#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package with scripts/package.sh (a release without the tests, lintian's
# errors failing it) in a folder of this build, and checks with dpkg-deb what a user installs:
# its name, its dependencies, the files a desktop and Debian expect, nothing else.
#   package_check.sh <source-dir> <build-dir> <version> <application-id>
set -uo pipefail
source_dir=$1
out=$2/package
version=$3
id=$4
for tool in dpkg-deb dpkg-shlibdeps dpkg-gencontrol lintian; do
    command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is missing"; exit 77; }
done
source "$(dirname "$0")/../support/check.sh"

rm -rf "$out/dist"
VORELA_PACKAGE_BUILD=$out/build VORELA_DIST=$out/dist "$source_dir/scripts/package.sh" ||
    { echo "FAILED: scripts/package.sh"; exit 1; }
deb=$out/dist/vorela_${version}_$(dpkg --print-architecture).deb
check "one package, named by the version and the architecture" \
    test "$(ls "$out/dist")" = "$(basename "$deb")"
field() { dpkg-deb -f "$deb" "$1"; }
check "the control file names the package and its version" \
    test "$(field Package) $(field Version)" = "vorela $version"
# From what the program links (Qt) and what its modules link (libpulse, libmpg123, FFmpeg).
depends=$(field Depends)
for package in libqt6widgets6 libpulse0 libmpg123-0 'libavformat[0-9]+'; do
    check "it depends on $package" grep -qE "(^|, )$package[ ,(]" <<<"$depends, "
done

listing=$(dpkg-deb -c "$deb")
paths=$(awk '{print $6}' <<<"$listing" | sed 's|^\./|/|')
has() { grep -qx "$1" <<<"$paths"; }
for path in /usr/bin/vorela "/usr/lib/[^/]*/vorela/vorela_device\.so" \
    "/usr/lib/[^/]*/vorela/vorela_ffmpeg\.so" "/usr/lib/[^/]*/vorela/vorela_sdl\.so" \
    "/usr/share/applications/$id\.desktop" "/usr/share/metainfo/$id\.metainfo\.xml" \
    "/usr/share/icons/hicolor/scalable/apps/$id\.svg" /usr/share/vorela/help/index\.html \
    /usr/share/man/man1/vorela\.1\.gz /usr/share/doc/vorela/copyright \
    /usr/share/doc/vorela/changelog\.gz; do
    check "it holds $path" has "$path"
done
check "every file lies under /usr, none from the tests or benchmarks" \
    test -z "$(grep -vE '^/(usr(/.*)?)?$' <<<"$paths"; grep -Ei 'test|bench|fuzz' <<<"$paths")"
check "every file belongs to root" test -z "$(awk '$2 != "root/root"' <<<"$listing")"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
# Where the program was built to look for its module, beside itself.
module=$(grep -om1 'VORELA_DEVICE_RELATIVE_PATH=[^ ]*vorela_device\.so' \
    "$out/build/compile_commands.json" | sed 's/.*=[\\"]*//')
check "the program finds its module where the package puts it ($module)" \
    test -n "$module" -a -f "$unpacked/usr/bin/$module"
check "the copyright file is machine-readable" grep -qx \
    'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    "$unpacked/usr/share/doc/vorela/copyright"
summary
