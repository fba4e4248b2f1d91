# SPDX-License-Identifier: GPL-3.0-or-later
"""The real player on a private session bus, as playerctl, a desktop's media keys and its
sound menu reach it through MPRIS; the window (read through AT-SPI) must agree each time.
   mpris_check.py <built desktop entry>"""
import configparser
import os
import sys
import time

import pyatspi as R
from gi.repository import Gio, GLib

from player_session import (MAIN_CAPTION, activate, check, enabled, find, finish, key,
                            main_window_id, make_list, open_playlist_file, player_app, pump,
                            rows, select_row, sh, status_panels, wait_for)

BUS_NAME = "org.mpris.MediaPlayer2.vorela"
PATH = "/org/mpris/MediaPlayer2"
entry = configparser.ConfigParser(interpolation=None)
entry.read(sys.argv[1], encoding="utf-8")
entry_id = os.path.basename(sys.argv[1])[: -len(".desktop")]

bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
changes, seeks = [], []


def on_signal(_conn, _sender, _path, _iface, signal, params):
    if signal == "PropertiesChanged":
        changes.append(params.unpack()[1])
    elif signal == "Seeked":
        seeks.append(params.unpack()[0])


bus.signal_subscribe(BUS_NAME, "org.freedesktop.DBus.Properties", "PropertiesChanged", PATH,
                     None, Gio.DBusSignalFlags.NONE, on_signal)
bus.signal_subscribe(BUS_NAME, "org.mpris.MediaPlayer2.Player", "Seeked", PATH, None,
                     Gio.DBusSignalFlags.NONE, on_signal)


def call(interface, method):
    bus.call_sync(BUS_NAME, PATH, interface, method, None, None, Gio.DBusCallFlags.NONE, 5000,
                  None)


def prop(interface, name):
    reply = bus.call_sync(BUS_NAME, PATH, "org.freedesktop.DBus.Properties", "Get",
                          GLib.Variant("(ss)", (interface, name)), None,
                          Gio.DBusCallFlags.NONE, 5000, None)
    return reply.unpack()[0]


def status():
    return sh("playerctl -p vorela status")


def title():
    return sh("playerctl -p vorela metadata xesam:title")


def changed(name, value=None):
    """Whether a PropertiesChanged since the last call reported `name` (with `value`)."""
    return any(name in c and (value is None or c[name] == value) for c in changes)


app = player_app()
window = main_window_id()
button = {n: find(app, R.ROLE_PUSH_BUTTON, n) for n in ("播放", "暂停播放", "停止播放")}

# --- The player on the bus, before anything is open -----------------------------------------
check("playerctl lists the player", "vorela" in sh("playerctl -l").split())
check("nothing plays at start", status() == "Stopped", status())
check("identity is the program's name",
      prop("org.mpris.MediaPlayer2", "Identity") == "VorelaMP3播放器")
check("DesktopEntry names the installed desktop entry",
      prop("org.mpris.MediaPlayer2", "DesktopEntry") == entry_id)
wm_class = sh("xprop -id %s WM_CLASS" % window)
check("the window's class is the desktop entry's StartupWMClass",
      wm_class.endswith('"%s"' % entry["Desktop Entry"]["StartupWMClass"]), wm_class)

names = ["a.wav", "b.wav", "c.wav"]
open_playlist_file(make_list(names))
check("the list is loaded", wait_for(lambda: rows(app) == names), rows(app))
sh("playerctl -p vorela play")
time.sleep(0.5)
check("play with no row selected does nothing, as the play button", status() == "Stopped")
check("and CanPlay says so", prop("org.mpris.MediaPlayer2.Player", "CanPlay") is False)

# --- playerctl: the transport ----------------------------------------------------------------
select_row(app, 0)
pump(0.3)
changes.clear()
sh("playerctl -p vorela play")
check("play plays the selected row", wait_for(lambda: status() == "Playing"), status())
check("the window shows it playing",
      wait_for(lambda: status_panels(app)[0] == "当前正在播放：a.wav"), status_panels(app))
check("the play button is disabled and pause enabled, as after a click",
      not enabled(button["播放"]) and enabled(button["暂停播放"]))
metadata = prop("org.mpris.MediaPlayer2.Player", "Metadata")
music = os.path.join(os.environ["VORELA_WORK"], "music")
check("metadata: title from the caption, url and length",
      metadata.get("xesam:title") == "a.wav"
      and metadata.get("xesam:url") == "file://" + os.path.join(music, "a.wav")
      and metadata.get("mpris:length") == 30_000_000, metadata)
check("PropertiesChanged reported the status and the track",
      wait_for(lambda: changed("PlaybackStatus", "Playing") and changed("Metadata")), changes)

seeks.clear()
sh("playerctl -p vorela position 12")
position = lambda: float(sh("playerctl -p vorela position") or 0)
check("position seeks as the progress bar does", wait_for(lambda: 12 <= position() < 14),
      position())
check("Seeked reported the jump", wait_for(lambda: any(12e6 <= s < 14e6 for s in seeks)), seeks)
pump(0.5)
check("once", len(seeks) == 1, seeks)

changes.clear()
sh("playerctl -p vorela volume 0.5")
volume_bar = find(app, R.ROLE_SLIDER, "音量")
check("volume moves the volume bar",
      wait_for(lambda: volume_bar.queryValue().currentValue == 128),
      volume_bar.queryValue().currentValue)
check("PropertiesChanged reported the volume", wait_for(lambda: changed("Volume")), changes)

sh("playerctl -p vorela next")
check("next plays the next row", wait_for(lambda: title() == "b.wav"), title())
sh("playerctl -p vorela previous")
check("previous plays the row above", wait_for(lambda: title() == "a.wav"), title())
sh("playerctl -p vorela pause")
check("pause pauses", wait_for(lambda: status() == "Paused"), status())
pump(0.5)
check("no Seeked for the track changes and the pause", len(seeks) == 1, seeks)

# --- LoopStatus and Shuffle are the 控制 menu's play modes ------------------------------------
mode_items = [x for x in R.findAllDescendants(app, lambda x: x.getRole() in (
    R.ROLE_CHECK_MENU_ITEM, R.ROLE_RADIO_MENU_ITEM, R.ROLE_MENU_ITEM))
    if x.name[:4] in ("顺序播放", "单曲循环", "列表循环", "随机播放")]
checked_mode = lambda: [x.name[:4] for x in mode_items if x.getState().contains(R.STATE_CHECKED)]
for command, mode, loop, shuffle in (("loop Track", "单曲循环", "Track", "Off"),
                                     ("shuffle On", "随机播放", "Playlist", "On"),
                                     ("shuffle Off", "顺序播放", "None", "Off"),
                                     ("loop Playlist", "列表循环", "Playlist", "Off")):
    changes.clear()
    sh("playerctl -p vorela " + command)
    check("playerctl %s checks %s" % (command, mode), wait_for(lambda: checked_mode() == [mode]),
          checked_mode())
    check("and reads back as loop %s, shuffle %s" % (loop, shuffle),
          sh("playerctl -p vorela loop") == loop and sh("playerctl -p vorela shuffle") == shuffle)
check("PropertiesChanged reported the last change",
      wait_for(lambda: changed("LoopStatus", "Playlist")), changes)
check("the play button is enabled again", wait_for(lambda: enabled(button["播放"])))

# --- The desktop's media keys (bound to MPRIS by the window manager) -------------------------
activate(window)
key("XF86AudioPlay")
check("the play/pause key resumes", wait_for(lambda: status() == "Playing"), status())
key("XF86AudioPlay")
check("the play/pause key pauses", wait_for(lambda: status() == "Paused"), status())
key("XF86AudioPlay")
key("XF86AudioNext")
check("the next key plays the next row", wait_for(lambda: title() == "b.wav"), title())
key("XF86AudioStop")
check("the stop key stops", wait_for(lambda: status() == "Stopped"), status())
check("the window says so", wait_for(lambda: status_panels(app)[0] == "停止播放"),
      status_panels(app))

# --- Raise from the tray, then Quit ----------------------------------------------------------
activate(window)
key("alt+F4")
hidden = wait_for(lambda: not sh('xdotool search --onlyvisible --name "^%s$"' % MAIN_CAPTION))
check("closing the window puts it in the tray", hidden)
call("org.mpris.MediaPlayer2", "Raise")
check("Raise brings the window back from the tray",
      wait_for(lambda: sh('xdotool search --onlyvisible --name "^%s$"' % MAIN_CAPTION)))
check("and activates it", wait_for(lambda: sh("xdotool getactivewindow getwindowname")
                                    == MAIN_CAPTION), sh("xdotool getactivewindow getwindowname"))
sh('xdotool windowminimize --sync "$(xdotool getactivewindow)"')
check("minimised, the window is gone from the screen",
      wait_for(lambda: not sh('xdotool search --onlyvisible --name "^%s$"' % MAIN_CAPTION)))
call("org.mpris.MediaPlayer2", "Raise")
check("Raise brings it back minimised too, active",
      wait_for(lambda: sh("xdotool getactivewindow getwindowname") == MAIN_CAPTION))
call("org.mpris.MediaPlayer2", "Quit")
pid = int(os.environ["VORELA_PID"])


def ended(pid):
    # Gone, or a zombie waiting for the session to reap it; it may go between two reads.
    try:
        with open("/proc/%d/stat" % pid) as stat:
            return stat.read().split()[2] == "Z"
    except FileNotFoundError:
        return True


check("Quit ends the program", wait_for(lambda: ended(pid), 10))
finish()
