#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Bytes and screen text meet in one place, src/platform/code_page.cpp. Qt's "local 8-bit"
# conversions take every name as UTF-8 whatever the locale, so any other use of them shows a
# GBK name as "????". Fails listing each use found elsewhere in the program's sources.
#   one_text_conversion_check.sh <source root>
set -euo pipefail
root=${1:?source root}
allowed="src/platform/code_page.cpp"
cd "$root"
hits=$(grep -rnE '\b(fromLocal8Bit|toLocal8Bit|decodeName|encodeName)\b' src bench fuzz \
    --include='*.cpp' --include='*.h' | grep -v "^$allowed:" || true)
if [ -n "$hits" ]; then
    echo "Direct local-8-bit conversions outside $allowed:"
    echo "$hits"
    echo "Use platform::toDisplay/fromDisplay for path and file text, or platform::qtPathBytes/"
    echo "qtPathText for paths that Qt's own file classes give or take."
    exit 1
fi
echo "No direct local-8-bit conversions outside $allowed."
