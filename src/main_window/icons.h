#pragma once
// The program's pictures, drawn in code: the application icon, the button glyphs and the 16x16
// menu icons.

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

QIcon glyph(Glyph g);
QIcon applicationIcon();

}  // namespace main_window::icons
