#pragma once
// Finds and loads the device module once per process. Qt-free; UI thread.

#include "playback/device.h"

namespace playback {

// The module's factory: the module next to the program (at its installed place relative to the
// executable), else the one in the build tree. Loaded on the first call and kept for the
// process's lifetime. Throws DeviceError with the loader's text when neither loads.
DeviceFactory loadDeviceFactory();

// A further symbol of the module, loading it first; null when it cannot be loaded.
void* deviceModuleSymbol(const char* name);

}  // namespace playback
