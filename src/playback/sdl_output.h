// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Audio through SDL2: where no sound server answers (ALSA alone), for SDL's disk driver in
// tests, and when no device can be opened at all, SDL's dummy driver, which keeps real time and
// plays nothing, so that playback still works on a machine without sound. SDL is told to leave
// the process's signals alone: its handlers would swallow SIGINT and SIGTERM.
//
// Threads: every member is called on the UI thread. SDL calls the callback on its own audio
// thread. The callback runs under mutex_, which guards source_ and the format it writes in,
// so that after attach(nullptr) the old source is never touched again. (SDL's own device lock
// would do as much, but ours is also visible to the thread sanitizer.)

#include <SDL2/SDL.h>

#include <mutex>
#include <string>

#include "playback/audio_output.h"

namespace playback {

class SdlOutput final : public AudioOutput {
public:
    SdlOutput() = default;
    ~SdlOutput() override;
    SdlOutput(const SdlOutput&) = delete;
    SdlOutput& operator=(const SdlOutput&) = delete;

    void attach(AudioSource* source) override;
    OutputFormat open() override;
    void setState(OutputState state) override;

    // The SDL driver in use ("alsa", "dummy", "disk", ...); empty before open().
    std::string driver() const override { return driver_; }

private:
    static void callback(void* self, Uint8* stream, int bytes);
    bool tryOpen();

    bool subsystem_ = false;
    SDL_AudioDeviceID device_ = 0;
    OutputFormat format_;
    std::string driver_;
    bool running_ = false;
    std::mutex mutex_;
    AudioSource* source_ = nullptr;  // guarded by mutex_
    int channels_ = 2;               // guarded by mutex_: the device's channel count
};

}  // namespace playback
