#pragma once
// The system's audio server through SDL2. When no device can be opened, SDL's dummy driver
// stands in: it keeps real time and plays nothing, so playback still works on a machine
// without sound.
//
// Threads: every member is called on the UI thread. SDL calls the callback on its own audio
// thread with the device lock held; source_ is changed only under that lock.

#include <SDL2/SDL.h>

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
    void setRunning(bool running) override;

    // The SDL driver in use ("pulseaudio", "dummy", ...); empty before open().
    const std::string& driver() const { return driver_; }

private:
    static void callback(void* self, Uint8* stream, int bytes);
    bool tryOpen();

    bool subsystem_ = false;
    SDL_AudioDeviceID device_ = 0;
    OutputFormat format_;
    std::string driver_;
    bool running_ = false;
    AudioSource* source_ = nullptr;  // guarded by the device lock once the device is open
};

}  // namespace playback
