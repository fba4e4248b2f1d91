// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio_output.h"

namespace playback {

void applyGain(std::int16_t* samples, std::size_t frames, int channels, std::uint32_t packed) {
    const std::int32_t left = std::int32_t(packed & 0xFFFFu);
    const std::int32_t right = std::int32_t(packed >> 16);
    if (left == 0xFFFF && right == 0xFFFF) return;
    if (channels == 1) {
        const std::int32_t level = (left + right) / 2;
        for (std::size_t i = 0; i < frames; ++i)
            samples[i] = std::int16_t(std::int32_t(samples[i]) * level / 0xFFFF);
        return;
    }
    for (std::size_t i = 0; i < frames; ++i) {
        std::int16_t* frame = samples + i * std::size_t(channels);
        for (int c = 0; c < channels; ++c) {
            const std::int32_t level = (c % 2 == 0) ? left : right;
            frame[c] = std::int16_t(std::int32_t(frame[c]) * level / 0xFFFF);
        }
    }
}

}  // namespace playback
