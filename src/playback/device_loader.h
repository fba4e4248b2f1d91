// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds and loads the device module once per process, on a worker before the first play needs
// it, or at the latest with the first open. Qt-free.

#include <string>

#include "playback/device.h"

namespace playback {

// The module's factory: the module next to the program (at its installed place relative to the
// executable), else the one in the build tree. Loaded on the first call (or taken from a worker
// that loads it: the call waits for that) and kept for the process's lifetime. Throws
// DeviceError with the loader's text when neither loads. Any thread.
DeviceFactory loadDeviceFactory();

// A further symbol of the module, loading it first; null when it cannot be loaded.
void* deviceModuleSymbol(const char* name);

// Starts loading, on a worker thread, what playing the file at `path` will need: the device
// module (libmpg123 and the sound server's libraries), and FFmpeg's decoders too unless the
// name says MPEG audio or WAV. Returns at once; does nothing for what is loaded or loading
// already, so a playlist may call it for every row it gets. The workers are joined when the
// process ends. UI thread.
void prepareToPlay(const std::string& path);

}  // namespace playback
