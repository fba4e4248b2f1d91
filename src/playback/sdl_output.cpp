// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/sdl_output.h"

#include <cstring>

#include "playback/device.h"

namespace playback {

SdlOutput::~SdlOutput() {
    if (device_ != 0) SDL_CloseAudioDevice(device_);  // waits for a running callback
    if (subsystem_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SdlOutput::attach(AudioSource* source) {
    std::lock_guard lock(mutex_);
    source_ = source;
}

bool SdlOutput::tryOpen() {
    // The program ends on SIGINT, SIGTERM and SIGHUP by its own handlers; SDL's would turn them
    // into an SDL quit event that nobody reads.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    subsystem_ = true;
    SDL_AudioSpec want{};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 2048;
    want.callback = &SdlOutput::callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (device_ == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystem_ = false;
        return false;
    }
    format_ = OutputFormat{have.freq, have.channels};
    std::lock_guard lock(mutex_);
    channels_ = have.channels;
    const char* driver = SDL_GetCurrentAudioDriver();
    driver_ = driver ? driver : "";
    return true;
}

OutputFormat SdlOutput::open() {
    if (device_ != 0) return format_;
    if (!tryOpen()) {
        // No sound server or card: SDL's dummy driver keeps time silently. The hint overrides
        // SDL_AUDIODRIVER from the environment only for this one initialisation.
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
        const bool opened = tryOpen();
        SDL_ResetHint(SDL_HINT_AUDIODRIVER);
        if (!opened) {
            const char* error = SDL_GetError();
            throw DeviceError(error && *error ? error : "Unknown error code");
        }
    }
    if (running_) SDL_PauseAudioDevice(device_, 0);
    return format_;
}

void SdlOutput::setState(OutputState state) {
    // SDL's buffer is one callback's worth: pausing the device is as good as dropping it.
    running_ = state == OutputState::Playing;
    if (device_ != 0) SDL_PauseAudioDevice(device_, running_ ? 0 : 1);
}

void SdlOutput::callback(void* self, Uint8* stream, int bytes) {
    auto* output = static_cast<SdlOutput*>(self);
    std::lock_guard lock(output->mutex_);
    const int channels = output->channels_;
    const std::size_t frames = std::size_t(bytes) / (sizeof(std::int16_t) * std::size_t(channels));
    auto* samples = reinterpret_cast<std::int16_t*>(stream);
    std::size_t got = 0;
    if (output->source_) got = output->source_->pull(samples, frames, false);
    // Silence for an underrun, a pause or the end of the track.
    std::memset(samples + got * std::size_t(channels), 0,
                (frames - got) * std::size_t(channels) * sizeof(std::int16_t));
}

}  // namespace playback
