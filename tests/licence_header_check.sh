#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source file states its licence in its first lines (after a #! line), as the comment
# "SPDX-License-Identifier: GPL-3.0-or-later" of its language: C++, shell, Python, CMake, and
# any other file that starts with #!. Fails listing the files without it.
#   licence_header_check.sh <source root>
set -euo pipefail
cd "${1:?source root}"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -d '' files < <(git ls-files -z)
else
    mapfile -d '' files < <(find . -mindepth 1 \( -name '.*' -o -name 'build*' -o -name dist \) -prune \
        -o -type f -printf '%P\0')
fi
missing=()
looked=0
# Shell builtins only: a process or two per file made the check take seconds.
for f in "${files[@]}"; do
    [ -f "$f" ] || continue
    first="" second=""
    { IFS= read -r first && IFS= read -r second; } <"$f" 2>/dev/null
    case $f in
        .*/*) continue ;;
        *.cpp | *.h | *.c | *.sh | *.py | *.cmake | *.cmake.in | CMakeLists.txt | */CMakeLists.txt) ;;
        *) [ "${first:0:2}" = '#!' ] || continue ;;
    esac
    looked=$((looked + 1))
    [[ "$first$second" == *'SPDX-License-Identifier: GPL-3.0-or-later'* ]] || missing+=("$f")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Source files without the line \"SPDX-License-Identifier: GPL-3.0-or-later\":"
    printf '  %s\n' "${missing[@]}"
    exit 1
fi
echo "Every source file states its licence ($looked files)."
