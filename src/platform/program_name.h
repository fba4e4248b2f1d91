// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's name as the desktop shows it: taskbars, the sound mixer's stream list and the
// media-player interface. Plain bytes (UTF-8) so that the device module, which links no Qt, can
// use it too.

namespace platform {

inline constexpr char kProgramName[] = "VorelaMP3播放器";

}  // namespace platform
