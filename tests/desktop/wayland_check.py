# SPDX-License-Identifier: GPL-3.0-or-later
"""The real player on a Wayland compositor (weston), read through AT-SPI: MPRIS Raise gives the
main window the focus back from another window, which a compositor does only for a window that
it maps anew (activation needs a token of the user's input, which a bus call does not carry)."""
import pyatspi as R
from gi.repository import Gio

from player_session import act, check, find, finish, player_app, wait_for

app = player_app()
windows = lambda role: [app.getChildAtIndex(i) for i in range(app.childCount)
                        if app.getChildAtIndex(i).getRole() == role]
active = lambda x: x.getState().contains(R.STATE_ACTIVE)
main = lambda: windows(R.ROLE_FRAME)[0]

check("the main window has the focus at start", wait_for(lambda: active(main()), 10))
# The lyrics window, as a compositor maps it, takes the focus (weston gives every new window
# the focus, whatever it asks for).
act(find(app, R.ROLE_CHECK_BOX, "显示歌词"), "Toggle")
check("another window took the focus", wait_for(lambda: not active(main()), 10))
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
bus.call_sync("org.mpris.MediaPlayer2.vorela", "/org/mpris/MediaPlayer2",
              "org.mpris.MediaPlayer2", "Raise", None, None, Gio.DBusCallFlags.NONE, 5000, None)
check("Raise gives the main window the focus back", wait_for(lambda: active(main()), 10))
finish()
