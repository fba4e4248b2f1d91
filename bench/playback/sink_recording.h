// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recordings of the private sound server's null sink for the quiet-play benchmark: a tone file
// to play, the recording of the sink's monitor while an action runs, and what is heard in it.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "proc_cost.h"

namespace bench {

inline constexpr int kRate = 44100;

inline void waitMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A stereo 16-bit WAV: `toneMs` of 440 Hz at half scale, then `silenceMs` of silence.
inline void writeToneThenSilence(const std::string& path, int toneMs, int silenceMs) {
    const std::uint32_t frames = std::uint32_t(std::int64_t(toneMs + silenceMs) * kRate / 1000);
    std::vector<std::int16_t> samples(frames * 2, 0);
    for (std::uint32_t i = 0; i < std::uint32_t(std::int64_t(toneMs) * kRate / 1000); ++i)
        samples[2 * i] = samples[2 * i + 1] =
            std::int16_t(16000 * std::sin(2 * M_PI * 440.0 * i / kRate));
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + frames * 4);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(2);
    u32(kRate);
    u32(kRate * 4);
    u16(4);
    u16(16);
    out.write("data", 4);
    u32(frames * 4);
    out.write(reinterpret_cast<const char*>(samples.data()), std::streamsize(samples.size() * 2));
}

// Records the null sink's monitor (raw 44.1 kHz stereo) while `action` runs.
inline std::vector<std::int16_t> record(const std::string& path,
                                        const std::function<void()>& action) {
    const pid_t recorder = bench::spawn({"parec", "-d", "vsink.monitor", "--rate=44100",
                                         "--channels=2", "--format=s16le", "--latency-msec=20"},
                                        -1, path);
    waitMs(400);
    action();
    waitMs(400);
    bench::stopChild(recorder);
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

struct Sound {
    double lengthMs = 0;      // first to last audible frame
    double longestGapMs = 0;  // longest run of silent frames between them
    int gapsOver5Ms = 0;      // runs of silent frames longer than 5 ms between them
};

inline Sound analyse(const std::vector<std::int16_t>& samples) {
    const std::size_t frames = samples.size() / 2;
    std::size_t first = frames;
    std::size_t last = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        if (std::abs(samples[2 * i]) > 1000) {
            first = std::min(first, i);
            last = i;
        }
    }
    if (first >= frames) return {};
    std::size_t run = 0;
    std::size_t longest = 0;
    int gaps = 0;
    for (std::size_t i = first; i <= last; ++i) {
        run = std::abs(samples[2 * i]) < 50 ? run + 1 : 0;
        if (run == std::size_t(kRate / 200) + 1) ++gaps;
        longest = std::max(longest, run);
    }
    // A sine passes through zero once in a frame or two: only longer runs are silence.
    if (longest <= 2) longest = 0;
    return {double(last - first) * 1000.0 / kRate, double(longest) * 1000.0 / kRate, gaps};
}

inline double nowUs() {
    return double(std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count());
}

// The first audible frame of a recording (the tone's start), or -1.
inline long firstAudible(const std::vector<std::int16_t>& samples) {
    for (std::size_t i = 0; i < samples.size() / 2; ++i)
        if (std::abs(samples[2 * i]) > 1000 || std::abs(samples[2 * i + 1]) > 1000) return long(i);
    return -1;
}

// Where the level of one channel crosses `threshold` (downwards with `falling`) and stays
// across, searched from frame `from` in 1 ms blocks by their peak: the first frame of the
// first such block, or -1.
inline long levelChange(const std::vector<std::int16_t>& samples, int channel, long from,
                        int threshold, bool falling) {
    constexpr long kBlock = kRate / 1000;
    const long frames = long(samples.size() / 2);
    auto peak = [&](long at) {
        int most = 0;
        for (long i = at; i < std::min(frames, at + kBlock); ++i)
            most = std::max(most, std::abs(int(samples[std::size_t(2 * i + channel)])));
        return most;
    };
    for (long at = std::max(0L, from); at + 5 * kBlock < frames; at += kBlock) {
        bool across = true;
        for (long k = 0; k < 5 && across; ++k)
            across =
                falling ? peak(at + k * kBlock) < threshold : peak(at + k * kBlock) > threshold;
        if (across) return at;
    }
    return -1;
}

inline std::string streamProperties() {
    const std::string path = "/tmp/vorela-bench-sink-inputs.txt";
    bench::waitExit(bench::spawn({"pactl", "list", "sink-inputs"}, -1, path));
    std::ifstream in(path);
    std::string line;
    std::string found;
    while (std::getline(in, line)) {
        if (line.find("media.name") != std::string::npos ||
            line.find("application.name") != std::string::npos ||
            line.find("media.role") != std::string::npos)
            found += "   " + line.substr(line.find_first_not_of(" \t")) + "\n";
    }
    std::remove(path.c_str());
    return found;
}

// Runs pactl with `args` and returns what it printed, line by line.
inline std::vector<std::string> pactl(const std::vector<std::string>& args) {
    const std::string path = "/tmp/vorela-bench-pactl-" + std::to_string(getpid()) + ".txt";
    std::vector<std::string> argv{"pactl"};
    argv.insert(argv.end(), args.begin(), args.end());
    waitExit(spawn(argv, -1, path));
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::remove(path.c_str());
    return lines;
}

// The first stream that plays (is not corked) on the server: its index and what the server
// holds for it (its buffer latency, ms); "" and -1 when none plays.
struct ServerStream {
    std::string index;
    double queuedMs = -1;
};

inline ServerStream playingStream() {
    ServerStream stream;
    bool corked = false;
    for (const std::string& line : pactl({"list", "sink-inputs"})) {
        if (line.rfind("Sink Input #", 0) == 0) {
            if (!stream.index.empty() && !corked) return stream;
            stream = {line.substr(12), -1};
            corked = false;
        }
        if (line.find("Corked:") != std::string::npos) corked = line.find("yes") != line.npos;
        const auto at = line.find("Buffer Latency:");
        if (at != std::string::npos) stream.queuedMs = std::atof(line.c_str() + at + 15) / 1000.0;
    }
    return corked ? ServerStream{} : stream;
}

}  // namespace bench
