// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finding and mapping the player's own modules (the device, FFmpeg's decoders, the SDL output).
// Each is loaded at most once per process and kept for its lifetime: the libraries it maps hold
// process-wide state. Qt-free; any thread.

#include <string>
#include <vector>

namespace playback {

// The folder of the program or module that holds `code` (an address in it); empty when unknown.
std::string folderOf(const void* code);

// The first of `paths` that loads (RTLD_NOW, local symbols), else null with the loader's text in
// `error`.
void* openModule(const std::vector<std::string>& paths, std::string& error);

}  // namespace playback
