// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What assistive tools (screen readers, AT-SPI clients) see of the main window beyond Qt's own
// accessible interfaces:
// - the status bar as a status bar with one read-only text per panel, named by its text;
// - check boxes whose "Toggle" action is a click, so the handler bound to the click runs as it
//   does for the mouse or the space bar (Qt's own Toggle only flips the mark);
// - the lyrics window as a window (a plain top-level widget reads as a "filler").
//
// UI thread only.

namespace main_window {

// Installs the accessible interfaces above for every widget of the process; once is enough.
void installAccessibility();

}  // namespace main_window
