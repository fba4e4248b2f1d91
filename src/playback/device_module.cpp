// SPDX-License-Identifier: GPL-3.0-or-later
// The device module's entry: the engine over the given output, or over the system's sound
// server. Built as a shared module that MediaPlayer loads on a worker once the playlist has a
// row (or with the first open), so that libmpg123 and the sound server's libraries stay out of
// the process until then. FFmpeg's decoders and the SDL output are modules of their own, loaded
// only when a file or a machine needs them.
#include <dlfcn.h>

#include <cstdlib>

#include "platform/program_name.h"
#include "playback/decoder.h"
#include "playback/engine.h"
#include "playback/module_loader.h"
#include "playback/pulse_output.h"

namespace playback {
namespace {

// SDL's output, from its module beside this one (else in the build tree); null when it cannot
// be loaded.
std::unique_ptr<AudioOutput> sdlOutput() {
    std::string error;
    void* module =
        openModule({folderOf(reinterpret_cast<const void*>(&sdlOutput)) + "/vorela_sdl.so",
                    VORELA_SDL_BUILD_PATH},
                   error);
    void* symbol = module ? dlsym(module, kSdlOutputSymbol) : nullptr;
    if (!symbol) throw DeviceError(error.empty() ? "Unknown error code" : error);
    return (*static_cast<OutputFactory*>(symbol))();
}

// The sound server when one answers; else SDL (ALSA, or its silent dummy). An explicit
// SDL_AUDIODRIVER (tests pick SDL's disk driver that way) goes straight to SDL.
std::unique_ptr<AudioOutput> systemOutput() {
    if (std::getenv("SDL_AUDIODRIVER") == nullptr) {
        if (auto pulse = PulseOutput::connect(platform::kProgramName)) return pulse;
    }
    return sdlOutput();
}

std::unique_ptr<Device> makeDevice(std::unique_ptr<AudioOutput> output, DeviceEvents events,
                                   std::uint32_t (*level)()) {
    if (!output) output = systemOutput();
    return std::make_unique<Engine>(std::move(output), std::move(events), level);
}

}  // namespace
}  // namespace playback

extern "C" {
__attribute__((visibility("default"))) playback::DeviceFactory vorela_device_factory =
    &playback::makeDevice;
__attribute__((visibility("default"))) playback::Preloader vorela_preload_ffmpeg =
    &playback::loadFfmpegDecoders;
}
