# SPDX-License-Identifier: GPL-3.0-or-later
"""What the checks of the real player share: the player as AT-SPI and the window manager see
it, the commands a user gives it, and short tones to play. Runs inside session.sh."""
import math
import os
import struct
import subprocess
import time
import wave

import pyatspi as R
from gi.repository import GLib

MAIN_CAPTION = "VorelaMP3播放器-Tamsir绿色软件"
failures = []


def check(what, ok, detail=""):
    print(("ok: " if ok else "FAILED: ") + what + ("" if ok else "  (%s)" % detail))
    if not ok:
        failures.append(what)


def finish():
    print("%d failed" % len(failures))
    raise SystemExit(1 if failures else 0)


def sh(command):
    r = subprocess.run(command, shell=True, capture_output=True, text=True, timeout=60)
    return r.stdout.strip()


def pump(seconds=0.0):
    """Lets AT-SPI events arrive for `seconds`."""
    end = time.time() + seconds
    context = GLib.MainContext.default()
    while True:
        while context.iteration(False):
            pass
        if time.time() >= end:
            return
        time.sleep(0.02)


def wait_for(condition, timeout=5.0):
    """Polls `condition` until it returns something true; returns its last value."""
    end = time.time() + timeout
    while time.time() < end:
        value = condition()
        if value:
            return value
        pump(0.05)
    return condition()


def write_tone(path, seconds, hz, rate=11025):
    frames = bytearray()
    for i in range(int(seconds * rate)):
        v = int(6000 * math.sin(2 * math.pi * hz * i / rate))
        frames += struct.pack("<hh", v, v)
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(bytes(frames))


def make_list(names, seconds=30):
    """Tones named `names` in the scratch folder and an M3U file listing them; its path."""
    folder = os.path.join(os.environ["VORELA_WORK"], "music")
    os.makedirs(folder, exist_ok=True)
    for i, name in enumerate(names):
        write_tone(os.path.join(folder, name), seconds, 330 * (i + 1))
    path = os.path.join(folder, "list.m3u")
    with open(path, "w") as f:
        f.write("".join(os.path.join(folder, n) + "\n" for n in names))
    return path


def player_app(timeout=20):
    """The player's accessible application, once its main window is there."""
    end = time.time() + timeout
    while time.time() < end:
        desktop = R.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            a = desktop.getChildAtIndex(i)
            # The application reads as the program's name, as the tray item and MPRIS name it.
            if a is not None and a.name == "VorelaMP3播放器" and a.childCount > 0:
                return a
        time.sleep(0.1)
    raise RuntimeError("the player did not show up on the accessibility bus")


def find_all(root, role, name=None):
    return R.findAllDescendants(
        root, lambda x: x.getRole() == role and (name is None or x.name == name))


def find(root, role, name=None):
    found = find_all(root, role, name)
    if not found:
        raise LookupError("no %s named %r" % (R.Role(role), name))
    return found[0]


def showing(accessible):
    return accessible.getState().contains(R.STATE_SHOWING)


def enabled(accessible):
    return accessible.getState().contains(R.STATE_ENABLED)


def act(accessible, action):
    a = accessible.queryAction()
    for i in range(a.nActions):
        if a.getName(i) == action:
            return a.doAction(i)
    raise KeyError(action)


def click(accessible):
    e = accessible.queryComponent().getExtents(R.DESKTOP_COORDS)
    R.Registry.generateMouseEvent(e.x + e.width // 2, e.y + e.height // 2, R.MOUSE_B1C)


def main_window_id():
    return wait_for(lambda: sh('xdotool search --onlyvisible --name "^%s$" | head -n 1' % MAIN_CAPTION), 20)


def activate(window_id):
    """Makes the window the active one and gives it a moment to take the keyboard."""
    sh("xdotool windowactivate --sync %s || xdotool windowfocus --sync %s" % (window_id, window_id))
    wait_for(lambda: sh("xdotool getactivewindow") == window_id, 3)
    pump(0.3)


def key(*keys):
    """Presses and releases each key on the focused window (as two commands: see the start-up
    test on held keys)."""
    for k in keys:
        sh("xdotool keydown %s; xdotool keyup %s" % (k, k))


def open_playlist_file(path):
    """File, 打开播放列表 (Ctrl+P), the path typed into the dialog."""
    main = main_window_id()
    activate(main)
    key("ctrl+p")
    # Typing starts once the dialog has the keyboard: on a loaded machine it takes a while.
    wait_for(lambda: sh("xdotool getactivewindow") not in ("", main), 20)
    time.sleep(0.5)
    sh("xdotool type --delay 10 '%s'" % path)
    key("Return")


def playlist(app):
    return find(app, R.ROLE_TABLE, "播放列表")


def rows(app):
    t = playlist(app).queryTable()
    return [t.getAccessibleAt(r, 0).name for r in range(t.nRows)]


def select_row(app, index):
    click(playlist(app).queryTable().getAccessibleAt(index, 0))


def status_panels(app):
    bar = find(app, R.ROLE_STATUS_BAR, "状态栏")
    return [bar.getChildAtIndex(i).name for i in range(bar.childCount)]
