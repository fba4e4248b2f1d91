# SPDX-License-Identifier: GPL-3.0-or-later
"""Registers for the events a screen reader follows and counts them, so that the player's
accessibility bridge has a listener to send to (bench/accessibility.sh --listener)."""
import signal
import sys

import pyatspi

EVENTS = [
    "focus:",
    "object:children-changed",
    "object:state-changed",
    "object:property-change",
    "object:active-descendant-changed",
    "object:selection-changed",
    "object:text-changed",
    "object:model-changed",
    "object:visible-data-changed",
    "object:row-inserted",
    "object:row-deleted",
    "window:",
]
count = 0


def on_event(_event):
    global count
    count += 1


def on_exit(*_):
    print("events received: %d" % count, flush=True)
    pyatspi.Registry.stop()
    sys.exit(0)


signal.signal(signal.SIGTERM, on_exit)
pyatspi.Registry.registerEventListener(on_event, *EVENTS)
pyatspi.Registry.start()
