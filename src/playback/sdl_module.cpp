// SPDX-License-Identifier: GPL-3.0-or-later
// The SDL output's module: SDL2 and the X11, Wayland and ALSA libraries it links are mapped only
// where no sound server answers, or where SDL_AUDIODRIVER asks for one of its drivers.
#include "playback/device.h"
#include "playback/sdl_output.h"

namespace playback {
namespace {

std::unique_ptr<AudioOutput> makeOutput() {
    return std::make_unique<SdlOutput>();
}

}  // namespace
}  // namespace playback

extern "C" {
__attribute__((visibility("default"))) playback::OutputFactory vorela_sdl_output =
    &playback::makeOutput;
}
