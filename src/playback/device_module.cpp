// The device module's entry: the engine over the given output, or over the system's sound
// server. Built as a shared module that MediaPlayer loads with the first open, so that FFmpeg
// and the audio libraries stay out of the process until then.
#include <cstdlib>

#include "platform/program_name.h"
#include "playback/engine.h"
#include "playback/pulse_output.h"
#include "playback/sdl_output.h"
#include "playback/tags.h"

namespace playback {
namespace {

// What mixers show for the program's stream.

// The sound server when one answers; else SDL (ALSA, or its silent dummy). An explicit
// SDL_AUDIODRIVER (tests pick SDL's disk driver that way) goes straight to SDL.
std::unique_ptr<AudioOutput> systemOutput() {
    if (std::getenv("SDL_AUDIODRIVER") == nullptr) {
        if (auto pulse = PulseOutput::connect(platform::kProgramName)) return pulse;
    }
    return std::make_unique<SdlOutput>();
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
__attribute__((visibility("default"))) playback::TagReader vorela_tag_reader =
    &playback::readTrackTags;
}
