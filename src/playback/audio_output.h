// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where decoded samples go: an output pulls interleaved 16-bit frames from its source on its own
// thread (the sound server's write requests, SDL's callback) or on the caller's (the manual
// clock of tests) and plays them. The wave-out level is applied by the source as frames leave
// it, or, for an output that mixes it in itself, by the output where the sound is mixed.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace playback {

// The samples an output takes: interleaved signed 16-bit frames at this rate.
struct OutputFormat {
    int sampleRate = 48000;
    int channels = 2;
};

// Implemented by the engine. pull() is called only by the output, from one thread at a time.
class AudioSource {
public:
    // Copies up to `frames` frames of the track into `out`, with the wave-out gain applied
    // unless the output mixes it in (AudioOutput::mixesLevel), and counts them as handed over;
    // returns how many. Fewer (even 0) when not playing, on an underrun, or at the end of the
    // track, which pull() itself detects and reports. With `wait`, blocks until the decoder has
    // supplied data or the track has ended or stopped instead of reporting an underrun; with
    // `frames` 0 and `wait` it only settles whether the track has ended.
    virtual std::size_t pull(std::int16_t* out, std::size_t frames, bool wait) = 0;
    // The output can no longer play (its sound server went away): a track that is playing
    // ends now, as when its data ends early. Called as pull() is, or from setState().
    virtual void outputLost() = 0;
    // For an output that holds frames (AudioOutput::holdsFrames), called as pull() is. Once
    // the playing track's last frame has been handed over and until its end is heard, where
    // that end lies, counted in frames handed over since attach(); else -1.
    virtual std::int64_t endMark() = 0;
    // For an output that holds frames, called as pull() is: every frame handed over since
    // attach() but the last `queued` has been heard (or dropped). The track ends here once its
    // last frame has been heard.
    virtual void heard(std::int64_t queued) = 0;

protected:
    ~AudioSource() = default;
};

// What the output does with the frames it holds (handed over, not yet heard) and whether it
// pulls more.
enum class OutputState {
    Playing,   // pulls and plays
    Paused,    // pulls nothing; holds what it has, heard first when playing again
    Stopped,   // pulls nothing; drops what it has, so that silence follows at once
    Draining,  // pulls nothing; plays what it has to its end, then rests (after a track's end)
};

class AudioOutput {
public:
    virtual ~AudioOutput() = default;

    // UI thread. Sets (or, with null, clears) the source to pull from. After attach(nullptr)
    // returns, the old source is never called again.
    virtual void attach(AudioSource* source) = 0;
    // UI thread, before each file. Makes the output ready and gives its format, which changes
    // only when the output had lost its device and found it again. Throws DeviceError when no
    // output at all can be had.
    virtual OutputFormat open() = 0;
    // UI thread. From Draining, Playing goes on after the frames still held, without a gap.
    virtual void setState(OutputState state) = 0;
    // UI thread. Frames handed over by pull() that have not been heard yet.
    virtual std::int64_t queuedFrames() { return 0; }
    // True when frames handed over are heard some time later (a sound server's buffer): the
    // source then ends a track when heard() reports its last frame, not when it is handed over.
    virtual bool holdsFrames() const { return false; }
    // Any thread but the output's, with no lock of the source held: the source has new data
    // after a pull came up short. An output that pulls on a timer of its own may ignore it.
    virtual void dataArrived() {}
    // True when the output applies the wave-out level itself where the sound is mixed, so that
    // a change reaches what it holds already; the source then hands frames over at full level.
    virtual bool mixesLevel() const { return false; }
    // UI thread; only for an output that mixes the level. The packed wave-out level, given
    // once when the source attaches and after every change.
    virtual void setLevel(std::uint32_t /*packed*/) {}
    // A mixer changed our stream's level, balance or mute from outside (the desktop's sound
    // settings): called on the output's own thread, so it must only post; mixerLevel() then
    // tells what holds now. Never for a level the program wrote.
    using MixerListener = std::function<void()>;
    // UI thread, before the first open(). Only an output whose level a mixer can reach calls it.
    virtual void setMixerListener(MixerListener /*listener*/) {}
    // UI thread. The stream's level as a packed wave-out level (each channel at most 0xFFFF)
    // and its mute, once the program or a mixer has set one; else nothing.
    struct MixerLevel {
        std::uint32_t packed = 0;
        bool muted = false;
    };
    virtual std::optional<MixerLevel> mixerLevel() { return std::nullopt; }
    // UI thread. True when the output lost its device (the sound server went away) and only
    // the next open() can connect it again.
    virtual bool lost() { return false; }
    // What plays the samples, for diagnostics ("pulseaudio", SDL's driver name, "manual").
    virtual std::string driver() const = 0;
};

// Applies the packed wave-out level (low 16 bits left, high 16 bits right, 0xFFFF unity) to
// interleaved frames. Mono takes the mean of both halves; beyond two channels, even channels
// follow the left level and odd ones the right.
void applyGain(std::int16_t* samples, std::size_t frames, int channels, std::uint32_t packed);

}  // namespace playback
