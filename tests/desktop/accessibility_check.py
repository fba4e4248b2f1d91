# SPDX-License-Identifier: GPL-3.0-or-later
"""The real player as a screen reader reads and drives it over AT-SPI: every control named in
Chinese, the status bar's panels readable and announcing the now-playing text, the lyrics check
box's Toggle, Return on a playlist row, Escape in the search dialog."""
import time

import pyatspi as R

from player_session import (activate, act, check, click, enabled, find, find_all, finish, key,
                            main_window_id, make_list, open_playlist_file, player_app, playlist,
                            pump, rows, select_row, showing, status_panels, wait_for)

app = player_app()
window = main_window_id()

# --- Names ----------------------------------------------------------------------------------
CONTROLS = (R.ROLE_PUSH_BUTTON, R.ROLE_SLIDER, R.ROLE_TABLE, R.ROLE_CHECK_BOX, R.ROLE_LIST,
            R.ROLE_TREE, R.ROLE_TREE_TABLE, R.ROLE_STATUS_BAR)


def unnamed(root):
    return [x.getRoleName() for x in
            R.findAllDescendants(root, lambda x: x.getRole() in CONTROLS and not x.name.strip())]


check("no control of the main window is unnamed", not unnamed(app), unnamed(app))
expected = {R.ROLE_PUSH_BUTTON: ["播放", "暂停播放", "停止播放", "跳转到上一曲", "快退2秒", "快进2秒",
                                 "跳转到下一曲"],
            R.ROLE_SLIDER: ["播放进度", "音量"], R.ROLE_TABLE: ["播放列表"],
            R.ROLE_CHECK_BOX: ["显示歌词"], R.ROLE_STATUS_BAR: ["状态栏"]}
for role, names in expected.items():
    found = [x.name for x in find_all(app, role)]
    check("%s named %s" % (R.Role(role), "、".join(names)), all(n in found for n in names), found)
# (The status bar's panels stay, empty or not: they announce what they come to show.)
blank = [x for x in find_all(app, R.ROLE_LABEL) if showing(x) and not x.name.strip()
         and x.parent.getRole() != R.ROLE_STATUS_BAR]
check("no label of blanks is there to be read", not blank, [x.name for x in blank])
check("the status bar's three panels read as shown", status_panels(app) == ["", "00:00", "00:00"],
      status_panels(app))

# --- Return on a row, heard in the status bar ------------------------------------------------
names = ["a.wav", "b.wav"]
open_playlist_file(make_list(names))
check("the list is loaded", wait_for(lambda: rows(app) == names), rows(app))
activate(window)
select_row(app, 1)
cell = playlist(app).queryTable().getAccessibleAt(1, 0)
check("a click selects the row and focuses the list",
      wait_for(lambda: cell.getState().contains(R.STATE_SELECTED)
               and playlist(app).getState().contains(R.STATE_FOCUSED)))

# Listened to only around this step: with a listener registered while the file dialog ran, the
# player's list took no focus from the click (seen with Qt 6.4 and this client, which does not
# serve its events while it waits for xdotool).
announced = []


def on_name(event):
    try:
        if event.source.parent.getRole() == R.ROLE_STATUS_BAR:
            announced.append(event.source.name)
    except Exception:  # an object that is gone again (a menu item, a tooltip)
        pass


R.Registry.registerEventListener(on_name, "object:property-change:accessible-name")
key("Return")
now_playing = "当前正在播放：b.wav"
check("Return on a row plays it, as a double click does",
      wait_for(lambda: status_panels(app)[0] == now_playing), status_panels(app))
check("the pause button is enabled by it",
      wait_for(lambda: enabled(find(app, R.ROLE_PUSH_BUTTON, "暂停播放"))))
check("the status bar announced the now-playing text",
      wait_for(lambda: now_playing in announced), announced)
check("and the elapsed time as it changes",
      wait_for(lambda: any(a.startswith("00:0") and a != "00:00" for a in announced), 5),
      announced)
R.Registry.deregisterEventListener(on_name, "object:property-change:accessible-name")

# --- 显示歌词: Toggle acts as a click --------------------------------------------------------
box = find(app, R.ROLE_CHECK_BOX, "显示歌词")
act(box, "Toggle")
lyrics = lambda: [app.getChildAtIndex(i) for i in range(app.childCount)
                  if app.getChildAtIndex(i).name == "歌词秀"]
check("Toggle shows the lyrics window as a click does",
      wait_for(lambda: lyrics() and showing(lyrics()[0]), 5))
main_frame = [app.getChildAtIndex(i) for i in range(app.childCount)
              if app.getChildAtIndex(i).getRole() == R.ROLE_FRAME][0]
check("the main window keeps the focus", main_frame.getState().contains(R.STATE_ACTIVE)
      and not lyrics()[0].getState().contains(R.STATE_ACTIVE))
check("it reads as a window", lyrics() and lyrics()[0].getRole() in (R.ROLE_FRAME, R.ROLE_WINDOW),
      lyrics() and lyrics()[0].getRoleName())
check("the check box is checked", box.getState().contains(R.STATE_CHECKED))
lines = lambda: find_all(app, R.ROLE_LIST, "歌词")
check("the lyrics list is named 歌词 and shows the missing-file rows",
      wait_for(lambda: lines() and lines()[0].childCount == 2), lines() and lines()[0].childCount)
act(box, "Toggle")
check("Toggle again closes the lyrics window",
      wait_for(lambda: not lyrics() or not showing(lyrics()[0]), 5))

# --- The search dialog: names, Escape --------------------------------------------------------
activate(window)
key("ctrl+m")
dialog = lambda: [d for d in R.findAllDescendants(app, lambda x: x.name == "搜索本地音乐")]
check("Ctrl+M opens the search dialog", wait_for(lambda: dialog() and showing(dialog()[0]), 5))
for name in ("搜索目录", "搜索到的文件", "搜索状态"):
    found = R.findAllDescendants(app, lambda x: x.name == name)
    check("the search dialog's %s is named" % name, bool(found))
check("no control of the search dialog is unnamed", not unnamed(dialog()[0]), unnamed(dialog()[0]))
headers = [x.name for x in R.findAllDescendants(dialog()[0], lambda x: x.getRole() in (
    R.ROLE_TABLE_COLUMN_HEADER, R.ROLE_COLUMN_HEADER, R.ROLE_TABLE_ROW_HEADER))]
check("no header reads a bare column number", not [h for h in headers if h.isdigit()], headers)
key("Escape")
check("Escape closes the search dialog", wait_for(lambda: not dialog() or not showing(dialog()[0])))
check("the main window stays", showing(playlist(app)))
finish()
