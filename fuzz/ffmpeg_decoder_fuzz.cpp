// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for FFmpeg's decoder (WMA and the other containers no decoder of ours takes): the
// input becomes a file (FFmpeg opens paths and detects the format from content), which is
// opened, decoded to its end, then sought into and decoded on. Every input must either fail
// with a readable DeviceError or decode, without a crash, a hang or a read outside a buffer.
// Seeds: fuzz/seeds/decoder_seeds.sh.
#include "decoder_fuzz.h"
#include "playback/device.h"
#include "playback/ffmpeg_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = decoder_fuzz::inputFile("ffmpeg_input", data, size);
    try {
        playback::FfmpegDecoder decoder(path, decoder_fuzz::kOutput);
        decoder_fuzz::exercise(decoder);
    } catch (const playback::DeviceError& error) {
        fuzz_support::check(error.what()[0] != '\0', "a device error has a text");
    }
    return 0;
}
