#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the seed corpus of code_page_text_fuzz into DIR: each name of the test corpus of names
# from older systems (tests/platform/legacy_names.txt) in the code page it was written in, and
# a path and a message made of a few of them. fuzz/run calls it with the target's corpus folder.
#   fuzz/seeds/code_page_text_fuzz.sh DIR
set -euo pipefail
dir=${1:?usage: code_page_text_fuzz.sh DIR}
mkdir -p "$dir"
corpus=$(dirname "$0")/../../tests/platform/legacy_names.txt
codepage=
n=0
while IFS= read -r line; do
    case $line in
        '' | '#'*) continue ;;
        '['*']') codepage=${line:1:-1}; continue ;;
    esac
    n=$((n + 1))
    # One name in ten is enough to start from.
    [ $((n % 10)) -eq 0 ] || continue
    printf '%s' "$line" | iconv -f UTF-8 -t "$codepage" > "$dir/name_$n" || rm -f "$dir/name_$n"
done < "$corpus"
cat "$dir"/name_1* | tr -d '/' | head -c 200 | sed 's/ /\//g' > "$dir/path"
{ printf 'Cannot open file "/'; cat "$dir/name_10"; printf '". \xe6\xb2\xa1\xe6\x9c\x89'; } > "$dir/message"
# A name ending in a lone lead byte, which glibc's CP949 takes before it reports it.
printf '\xb0\xa1/\xb4\xf3\xd3\x70\xe3\x8f\x6d\xc5\xc2\xac\xb9\xda\xcd\xa2\xe8' > "$dir/lone_lead"
