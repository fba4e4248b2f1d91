#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The lyrics window's fades reach an X server step by step: runs vorela_fade_steps on a private
# Xvfb. Exits 77 (skipped) when Xvfb is not installed.
#   tests/lyrics/fade_steps.sh PATH/TO/vorela_fade_steps
set -euo pipefail
tool=${1:?usage: fade_steps.sh PATH/TO/vorela_fade_steps}
command -v Xvfb >/dev/null || { echo "Xvfb is not installed"; exit 77; }
source "$(dirname "$0")/../../scripts/xvfb.sh"
start_xvfb 800x600x24
trap stop_virtual_display EXIT
QT_QPA_PLATFORM=xcb "$tool"
