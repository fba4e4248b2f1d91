// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The playback machinery as MediaPlayer drives it. It lives in a module of its own (FFmpeg and
// the sound server's libraries with it) that MediaPlayer loads when the first file is opened,
// so that none of those libraries is mapped while the window starts or while nothing was
// ever played. No Qt here.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "playback/audio_output.h"

namespace playback {

// The device error; what() is the decoder's error text, or "Unknown error code".
class DeviceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Device modes (the media control interface's mode minus 524).
enum class PlayerMode : int {
    NotReady = 0,
    Stopped = 1,
    Playing = 2,
    Recording = 3,
    Seeking = 4,
    Paused = 5,
    Open = 6,
};

// Threads: every member on the UI thread; the reads (positionMs, lengthMs, mode) on any.
class Device {
public:
    virtual ~Device() = default;

    // Closes the open file, then opens `path` stopped at 0. Throws DeviceError.
    virtual void open(const std::string& path) = 0;
    // Stops, joins the decoder thread and forgets the file.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Plays from the current position, from 0 when at the end; returns the play's number,
    // which a later end of track reports.
    virtual std::uint64_t play() = 0;
    // Stops pulling; the position stays. `mode` is PlayerMode::Stopped or PlayerMode::Paused.
    virtual void halt(PlayerMode mode) = 0;
    // Moves to `ms` (0..lengthMs) and leaves the device stopped.
    virtual void seek(std::int64_t ms) = 0;
    // After an end of track and what the end's handlers did: lets the output play out and rest
    // unless a new play has begun, and drops a queued track that no command took up.
    virtual void settle() = 0;
    // While the playing track's last frames are still to be heard (after onDataEnded): the file
    // that follows, opened now and handed to the output behind them so that the join is
    // gapless. The next open() of `path`, or a seek to 0 when it is the open file, takes it up
    // as it plays. Throws DeviceError as open() does; does nothing at any other moment.
    virtual void queueNext(const std::string& path) = 0;
    // True between the hand-over of the playing track's last frame and the moment it is heard,
    // while no track is queued behind it.
    virtual bool endComing() const = 0;
    // The wave-out level has changed: an output that mixes it in takes it now.
    virtual void levelChanged() = 0;

    virtual std::int64_t positionMs() const = 0;
    virtual std::int64_t lengthMs() const = 0;
    virtual PlayerMode mode() const = 0;
    virtual AudioOutput& output() = 0;
};

// What the device reports, on the output's thread, by play number; both must only post.
struct DeviceEvents {
    // The play's last frame has been handed to an output that holds frames: its end will be
    // heard later, and queueNext() may give the track that follows.
    std::function<void(std::uint64_t)> onDataEnded;
    // The play has reached the end of its track, as heard.
    std::function<void(std::uint64_t)> onEnded;
};

// What the module gives: a device over `output` (null: the system's sound server), reporting
// through `events`, and reading the packed wave-out level from `level`.
using DeviceFactory = std::unique_ptr<Device> (*)(std::unique_ptr<AudioOutput> output,
                                                  DeviceEvents events, std::uint32_t (*level)());

// The wave-out level before anything has written one: full on both channels. An output that
// mixes the level in leaves the sound server's own level for the stream until the first write.
inline constexpr std::uint32_t kUntouchedLevel = 0xFFFFFFFFu;

// The module's exported symbols: its value is a DeviceFactory; a Preloader that maps FFmpeg's
// decoders (false when they cannot be loaded).
inline constexpr char kDeviceFactorySymbol[] = "vorela_device_factory";
using Preloader = bool (*)();
inline constexpr char kPreloadFfmpegSymbol[] = "vorela_preload_ffmpeg";

// The SDL output module's export, an OutputFactory.
using OutputFactory = std::unique_ptr<AudioOutput> (*)();
inline constexpr char kSdlOutputSymbol[] = "vorela_sdl_output";

}  // namespace playback
