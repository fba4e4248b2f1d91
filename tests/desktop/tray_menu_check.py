# SPDX-License-Identifier: GPL-3.0-or-later
"""The tray icon as a StatusNotifier host sees it (the desktop docks, panel extensions and bars
that show only what the item exports): this script is the host's watcher, started before the
player so that the player finds a host. The item must carry the program's name and export the
pop-up menu over DBusMenu; choosing 恢复程序 and 退出 there must do what they do in the menu.
Runs inside session.sh with VORELA_CLIENT_STARTS_PLAYER=1."""
import os
import re
import subprocess
import sys
import time

from gi.repository import Gio, GLib

MAIN_CAPTION = "VorelaMP3播放器-Tamsir绿色软件"
WATCHER = "org.kde.StatusNotifierWatcher"
WATCHER_XML = """<node><interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
</interface></node>"""

failures = []
registered = []  # (service, path) of each RegisterStatusNotifierItem, in order


def check(what, ok, detail=""):
    print(("ok: " if ok else "FAILED: ") + what + ("" if ok else "  (%s)" % detail))
    if not ok:
        failures.append(what)


def wait_for(condition, timeout=15.0):
    end = time.time() + timeout
    context = GLib.MainContext.default()
    while True:
        while context.iteration(False):
            pass
        value = condition()
        if value or time.time() >= end:
            return value
        time.sleep(0.02)


def on_call(_conn, sender, _path, _iface, method, params, invocation):
    if method == "RegisterStatusNotifierItem":
        (item,) = params.unpack()
        # The protocol allows a bus name or an object path of the caller.
        registered.append((sender, item) if item.startswith("/") else (item, "/StatusNotifierItem"))
    invocation.return_value(None)


def on_get(_conn, _sender, _path, _iface, name):
    return {
        "RegisteredStatusNotifierItems": GLib.Variant("as", [s for s, _ in registered]),
        "IsStatusNotifierHostRegistered": GLib.Variant("b", True),
        "ProtocolVersion": GLib.Variant("i", 0),
    }[name]


bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
bus.register_object("/StatusNotifierWatcher",
                    Gio.DBusNodeInfo.new_for_xml(WATCHER_XML).interfaces[0], on_call, on_get, None)
bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
              "RequestName", GLib.Variant("(su)", (WATCHER, 4)), None, Gio.DBusCallFlags.NONE,
              5000, None)


def call(service, path, interface, method, args=None, timeout=5000):
    return bus.call_sync(service, path, interface, method, args, None, Gio.DBusCallFlags.NONE,
                         timeout, None).unpack()


def prop(service, path, interface, name):
    return call(service, path, "org.freedesktop.DBus.Properties", "Get",
                GLib.Variant("(ss)", (interface, name)))[0]


def has_owner(name):
    return call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                "NameHasOwner", GLib.Variant("(s)", (name,)))[0]


def main_window_shown():
    r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % MAIN_CAPTION],
                       capture_output=True, text=True)
    return r.stdout.split()


def close_main_window():
    """Alt+F4 on the main window, as the window manager sends its close."""
    window = wait_for(main_window_shown)
    if not window:
        return
    subprocess.run(["xdotool", "windowactivate", "--sync", window[0]], capture_output=True)
    subprocess.run(["xdotool", "key", "alt+F4"], capture_output=True)


def menu_items(service, menu_path):
    """{label without its access letter: id} of the menu's top level."""
    _revision, (_id, _props, children) = call(service, menu_path, "com.canonical.dbusmenu",
                                              "GetLayout", GLib.Variant("(iias)", (0, -1, [])))
    items = {}
    for child_id, props, _grandchildren in children:
        label = props.get("label", "")
        items[re.sub(r"\(_.\)$", "", label).replace("_", "")] = child_id
    return items


def click(service, menu_path, item_id):
    call(service, menu_path, "com.canonical.dbusmenu", "Event",
         GLib.Variant("(isvu)", (item_id, "clicked", GLib.Variant("i", 0), 0)))


player = subprocess.Popen([os.environ["VORELA_PLAYER"]])
try:
    check("the main window shows", bool(wait_for(main_window_shown)))
    close_main_window()
    check("closing it registers a tray item with the host", bool(wait_for(lambda: registered)))
    if registered:
        service, path = registered[-1]
        item = "org.kde.StatusNotifierItem"
        check("the item's title is the program's name",
              prop(service, path, item, "Title") == "VorelaMP3播放器",
              prop(service, path, item, "Title"))
        check("its tip is the design's", prop(service, path, item, "ToolTip")[2] == "MP3播放器")
        menu = prop(service, path, item, "Menu")
        check("it exports its menu over DBusMenu", menu not in ("", "/", "/NO_DBUSMENU"), menu)
        items = menu_items(service, menu)
        check("the menu holds 恢复程序 and 退出", sorted(items) == sorted(["恢复程序", "退出"]),
              list(items))
        check("the window is in the tray", not main_window_shown())

        click(service, menu, items.get("恢复程序", -1))
        check("恢复程序 there shows the window again", bool(wait_for(main_window_shown)))
        check("and removes the item", wait_for(lambda: not has_owner(service)))

        del registered[:]
        close_main_window()
        check("closing again puts the item back", bool(wait_for(lambda: registered)))
        service, path = registered[-1] if registered else (service, path)
        click(service, menu, menu_items(service, menu).get("退出", -1))
        try:
            code = player.wait(timeout=15)
        except subprocess.TimeoutExpired:
            code = None
        check("退出 there ends the player with status 0", code == 0, code)
finally:
    if player.poll() is None:
        player.kill()
        player.wait()

print("%d failed" % len(failures))
sys.exit(1 if failures else 0)
