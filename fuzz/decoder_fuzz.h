// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the decoder fuzz targets (one per decoder): the input as a file, behind which the
// input's last byte may ask for a sparse tail of zeros as long as a download client's
// preallocation leaves (600 MB or 2 GB); and a decoder read from the start to its end, then
// sought into and read on, every read keeping its count. Memory stays bounded whatever the
// tail (libFuzzer's -rss_limit_mb catches a decoder that swells on it).
//
// Single-threaded: libFuzzer calls a target from one thread.

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "playback/decoder.h"

namespace decoder_fuzz {

inline constexpr playback::OutputFormat kOutput{48000, 2};
// Output frames decoded from one position at most: 5 s at 48 kHz keeps each run short, even
// for a WAV at 1 MHz, whose every second is 20 of the output's to resample.
inline constexpr std::int64_t kMostFrames = 5 * 48000;

// Writes the input to the target's scratch file `name`, with a zero tail when its last byte is
// 0xF6 (600 MB) or 0xF7 (2 GB); returns the path.
inline std::string inputFile(const char* name, const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz_support::scratchFolder() + name;
    fuzz_support::putFile(path, std::string_view(reinterpret_cast<const char*>(data), size));
    const std::uint8_t last = size > 0 ? data[size - 1] : 0;
    if (last == 0xF6 || last == 0xF7) {
        const off_t tail = last == 0xF6 ? off_t(600) << 20 : off_t(2) << 30;
        if (::truncate(path.c_str(), off_t(size) + tail) != 0) std::abort();
    }
    return path;
}

// Reads on from the decoder's position, at most kMostFrames; checks that every read keeps its
// count. Returns the frames read, or -1 when the reading stopped at the bound rather than at
// the end of the data.
inline std::int64_t decodeOn(playback::Decoder& decoder) {
    constexpr std::size_t kChunk = 4096;
    std::vector<std::int16_t> out(kChunk * 2);
    std::int64_t frames = 0;
    while (frames < kMostFrames) {
        const std::int64_t before = decoder.nextFrame();
        const std::size_t got = decoder.read(out.data(), kChunk);
        fuzz_support::check(got <= kChunk && decoder.nextFrame() == before + std::int64_t(got),
                            "read() keeps its count");
        if (got == 0) return frames;
        frames += std::int64_t(got);
    }
    return -1;
}

// Reads the whole track from the start, then from seeks into it; returns what the first read
// gave (as decodeOn).
inline std::int64_t exercise(playback::Decoder& decoder) {
    const playback::TrackLength length = decoder.length();
    fuzz_support::check(length.ms >= 0 && length.frames >= 0, "a length of 0 or more");
    fuzz_support::check(length.ms == length.frames * 1000 / kOutput.sampleRate,
                        "the length in ms is its frames in whole ms");
    const std::int64_t whole = decodeOn(decoder);
    for (const std::int64_t frame : {length.frames / 2, length.frames - 100, std::int64_t{0}}) {
        decoder.seek(frame < 0 ? 0 : frame);
        fuzz_support::check(decoder.nextFrame() == (frame < 0 ? 0 : frame), "seek lands");
        decodeOn(decoder);
    }
    return whole;
}

}  // namespace decoder_fuzz
