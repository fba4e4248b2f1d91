// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The playback device: the main window's media player. One file at a time, every time in
// milliseconds, commands from the UI thread only.
//
// Threads: all public members are called on the UI thread. A decoder thread fills a ring buffer
// and the output's own thread (the sound server's requests, or the manual clock in tests)
// drains it; their results reach this object only through atomics and queued events, tagged
// with the command number that asked for them so that stale results are dropped. notified is
// always emitted from the UI thread's event loop, never inside the call that asked for it.

#include <QObject>

#include <cstdint>
#include <memory>
#include <string>

#include "playback/audio_output.h"
#include "playback/device.h"

namespace playback {

class MediaPlayer : public QObject {
    Q_OBJECT
public:
    // `output` is where the samples go; null means the system's sound server (PulseAudio or
    // PipeWire), else SDL2, falling back to a silent output that keeps real time when no device
    // can be opened. The device itself is loaded with the first open().
    explicit MediaPlayer(std::unique_ptr<AudioOutput> output = nullptr, QObject* parent = nullptr);
    ~MediaPlayer() override;  // closes an open file and joins the threads

    // The full path (bytes in the system code page) that the next Open uses.
    const std::string& fileName() const { return fileName_; }
    void setFileName(std::string path) { fileName_ = std::move(path); }

    // Closes an open file first, then opens FileName (format detected from content).
    // Throws DeviceError. Afterwards the position is 0 and the mode stopped.
    void open();
    // Plays from the current position to the end (from 0 when at the end). Device errors are
    // not raised; like every command that needs a file, it raises "No MCI device open" when
    // none is open.
    void play();
    void stop();    // needs a file; the position stays
    void pause();   // needs a file; pauses when playing, resumes when paused
    void resume();  // needs a file; plays when it cannot resume

    std::int64_t position() const;  // 0 with no file
    // Needs a file; seeks and leaves the device stopped. A target outside 0..Length is refused
    // without an error and changes nothing.
    void setPosition(std::int64_t ms);
    std::int64_t length() const;  // needs a file
    PlayerMode mode() const;      // NotReady with no file

    // One-shot: applies to the next command only. Play and Resume notify unless it was set
    // false just before; Open, Stop, Pause and setPosition only when it was set true.
    void setNotify(bool value) {
        notify_ = value;
        notifySet_ = true;
    }

    // While the end of the playing track is coming (endComing): the file that follows, opened
    // now and played behind the track without a gap. The next open() of `path`, or
    // setPosition(0) when it is FileName, takes it up; any other command drops it. Throws
    // DeviceError when the file cannot be opened.
    void queueNext(const std::string& path);

    // Passes a new wave-out level on to an output that mixes it in; setWaveOutVolume calls it.
    void levelChanged();

    // The output the samples go to (for tests: cast to the output they passed in). Loads the
    // device when no file was opened yet.
    AudioOutput& output();

Q_SIGNALS:
    // Once for every command that asked for it, whatever ended it: completed, superseded by a
    // later command, aborted by a stop, pause, seek or close, or cut short by a read error.
    // A command that raises has not run and notifies nothing.
    void notified();
    // The last frames of a play whose end will be notified are with the sound server and
    // will be heard shortly, and nothing is queued behind them: the moment to queue the track
    // that follows (queueNext). Also after a resume in those last moments. Not
    // emitted where an output plays what it is handed at once; the end follows directly.
    void endComing();
    // A mixer set our stream's level or mute from outside: the wave-out level is `packed` now
    // (each channel at most 0xFFFF), adopted without being written back, and `muted` tells
    // whether the mixer muted the stream. Emitted from the event loop.
    void mixerChanged(std::uint32_t packed, bool muted);

private:
    // Consumes the one-shot Notify flag: its value when it was set, else `byDefault`.
    bool takeNotify(bool byDefault);
    void requireOpen() const;
    // Ends the pending notification of an earlier Play or Resume (superseded or aborted).
    void endPendingPlay();
    void postNotify();
    void startPlay(bool notify);
    bool reconnect();
    void trackEnded(std::uint64_t playId);  // queued from the output's thread
    void dataEnded(std::uint64_t playId);   // queued from the output's thread
    void followMixer();                     // queued from the output's thread
    // The device, loaded on first use; throws DeviceError when its module cannot be loaded.
    Device& device();

    std::string fileName_;
    std::string openedPath_;  // the file the device has open
    bool notify_ = false;
    bool notifySet_ = false;
    // The Play or Resume whose end is still to be notified, by its engine number; 0 for none.
    std::uint64_t pendingPlay_ = 0;
    std::unique_ptr<AudioOutput> output_;  // until the device takes it
    std::unique_ptr<Device> device_;
};

// Wave-out volume of device 0: low 16 bits left, high 16 bits right, 0 silence, 0xFFFF full.
// Every output applies it as a per-channel gain; it lasts across files and players. UI thread
// (the read on any): a sound server's stream takes a new level at once, where it is mixed. What
// a mixer sets on that stream becomes the level too (mixerChanged), and is read back here.
void setWaveOutVolume(std::uint32_t packed);
std::uint32_t waveOutVolume();

}  // namespace playback
