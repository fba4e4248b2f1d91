#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the zh_CN.GBK and zh_CN.UTF-8 locales into DIR (the tests find them there through
# LOCPATH), so that they run on a machine that has never had a Chinese locale, without touching
# the system's locales.
# Exits 77 (skipped) when this machine cannot build it: no localedef, or no zh_CN sources (the
# Debian package locales).
#   tests/gbk_locale/make_gbk_locale.sh DIR
set -euo pipefail
dir=${1:?usage: make_gbk_locale.sh DIR}
[ -f "$dir/zh_CN.GBK/LC_CTYPE" ] && [ -f "$dir/zh_CN.UTF-8/LC_CTYPE" ] &&
    { echo "zh_CN.GBK and zh_CN.UTF-8 are in $dir"; exit 0; }
command -v localedef >/dev/null || { echo "localedef is missing"; exit 77; }
[ -e /usr/share/i18n/locales/zh_CN ] || { echo "no zh_CN locale source (package locales)"; exit 77; }
mkdir -p "$dir"
# localedef warns about (and exits 1 on) details of the source that do not matter here; the
# locale is usable when its files are written.
for charset in GBK UTF-8; do
    localedef -c -i zh_CN -f $charset "$dir/zh_CN.$charset" || true
    [ -f "$dir/zh_CN.$charset/LC_CTYPE" ] || { echo "localedef wrote no zh_CN.$charset"; exit 77; }
    echo "built zh_CN.$charset in $dir"
done
