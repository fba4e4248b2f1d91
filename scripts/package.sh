#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds a release of the player without the tests and packs it as one Debian package,
# dist/vorela_<version>_<arch>.deb. Its dependencies are those of the libraries that the program
# and its playback module link (dpkg-shlibdeps). Where lintian is installed it checks the
# package, and an error of its fails the script.
#   scripts/package.sh
# Environment: VORELA_PACKAGE_BUILD the build folder (build-package), VORELA_DIST the output
# folder (dist), VORELA_MAINTAINER "Name <address>" for the control file and the changelog.
set -euo pipefail
umask 022
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${VORELA_PACKAGE_BUILD:-$source_dir/build-package}
dist=${VORELA_DIST:-$source_dir/dist}
maintainer=${VORELA_MAINTAINER:-Vorela developers <vorela@example.org>}
packaging=$source_dir/packaging

for tool in cmake ninja dpkg-buildflags dpkg-shlibdeps dpkg-gencontrol dpkg-deb; do
    command -v "$tool" >/dev/null || {
        echo "$tool is missing (scripts/packages.sh lists what to install)" >&2
        exit 1
    }
done

# Debian's compiler and linker flags (hardening included), without -g: the package ships
# stripped files. CMake reads CFLAGS, CXXFLAGS and LDFLAGS but not CPPFLAGS.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g
eval "$(dpkg-buildflags --export=sh)"
export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS"
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# The prefix is given when configuring: the program finds its module and its help page
# relative to where it is installed.
cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX=/usr -DVORELA_BUILD_TESTS=OFF -DVORELA_BUILD_BENCH=OFF \
    -DVORELA_BUILD_FUZZ=OFF "${launcher[@]}" >/dev/null
cmake --build "$build"

# A source tree of the package's own for the dpkg tools: debian/control, debian/changelog, and
# the package's files in debian/vorela.
work=$build/debian-package
stage=$work/debian/vorela
rm -rf "$work"
mkdir -p "$work/debian"
with_maintainer() {
    local text
    text=$(<"$1")
    printf '%s\n' "${text//@MAINTAINER@/$maintainer}"
}
with_maintainer "$packaging/control" >"$work/debian/control"
with_maintainer "$packaging/changelog" >"$work/debian/changelog"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
changelog_version=$(dpkg-parsechangelog -l "$work/debian/changelog" -S Version)
if [ "$changelog_version" != "$version" ]; then
    echo "packaging/changelog's first entry is $changelog_version, the project is $version:" \
        "add an entry for $version" >&2
    exit 1
fi
# Dates inside the package (dpkg-deb's file times) are the release's, so that the same
# sources give the same package.
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$work/debian/changelog" -S Timestamp)
export SOURCE_DATE_EPOCH

DESTDIR=$stage cmake --install "$build" --strip >/dev/null
doc=$stage/usr/share/doc/vorela
mkdir -p "$doc"
with_maintainer "$packaging/copyright" >"$doc/copyright"
gzip -9n <"$work/debian/changelog" >"$doc/changelog.gz"
find "$stage/usr/share/man" -type f -name '*.[0-9]' -exec gzip -9n {} +

# Every ELF file the package carries, the dlopen'ed module included: stripped as Debian's
# packages are, and the source of the dependencies. dpkg-shlibdeps finds the package's root by
# its DEBIAN folder.
mapfile -t elf_files < <(cd "$work" && find debian/vorela -type f -exec sh -c \
    'head -c4 "$1" | grep -q "^.ELF" && echo "$1"' _ {} \;)
mkdir -p "$stage/DEBIAN"
(
    cd "$work"
    strip --remove-section=.comment --remove-section=.note "${elf_files[@]}"
    dpkg-shlibdeps -Tdebian/substvars "${elf_files[@]}"
    dpkg-gencontrol -pvorela -Pdebian/vorela -Tdebian/substvars -fdebian/files
)
(cd "$stage" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) \
    >"$stage/DEBIAN/md5sums"
chmod 0644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"

arch=$(sed -n 's/^Architecture: //p' "$stage/DEBIAN/control")
mkdir -p "$dist"
package=$dist/vorela_${version}_${arch}.deb
rm -f "$dist"/vorela_*_"$arch".deb
dpkg-deb --root-owner-group -Zxz --build "$stage" "$package" >/dev/null
echo "$package"

if command -v lintian >/dev/null; then
    lintian --fail-on error --display-info "$package"
else
    echo "lintian is missing: the package was not checked" >&2
fi
