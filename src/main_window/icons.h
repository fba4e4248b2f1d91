// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's pictures, drawn in code: the application icon, the button glyphs and the 16x16
// menu icons.
//
// Glyphs take their colours from the application's palette each time they are painted, so they
// follow a light or dark desktop theme, and a change of it, without being made again. Their ink
// is the palette's button text; coloured accents are lightened or darkened until they stand
// out at least 3:1 against the palette's button and window colours. UI thread only.

#include <QColor>
#include <QIcon>

namespace main_window::icons {

enum class Glyph {
    Play,
    Pause,
    Stop,
    Previous,
    Next,
    Back,
    Forward,  // buttons
    OpenFile,
    OpenFolder,
    OpenList,
    SaveList,
    Search,
    Exit,  // File menu
    InOrder,
    RepeatOne,
    RepeatList,
    Random,
    Eject,
    CloseTray,  // Control menu
    Mute,
    Louder,
    Softer,
    Left,
    Right,
    Stereo,
    Help,  // Audio, Help
};
inline constexpr int kGlyphCount = static_cast<int>(Glyph::Help) + 1;

QIcon glyph(Glyph g);
QIcon applicationIcon();

// The contrast ratio of two opaque colours as the web content accessibility guidelines define
// it: 1 for equal colours up to 21 for black against white.
double contrastRatio(const QColor& a, const QColor& b);

}  // namespace main_window::icons
