// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the MPEG audio decoder (libmpg123): the input becomes a file, which is opened,
// decoded from its start to its end, then sought into and decoded on. Every input must either
// fail with a readable DeviceError or decode without a crash, a hang or a read outside a
// buffer; and where the length comes from the scan of the frames, the decoding must end at it
// exactly. Seeds: fuzz/seeds/decoder_seeds.sh.
#include <chrono>
#include <thread>

#include "decoder_fuzz.h"
#include "playback/device.h"
#include "playback/mp3_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = decoder_fuzz::inputFile("mp3_input", data, size);
    try {
        playback::Mp3Decoder decoder(path, 0, decoder_fuzz::kOutput);
        const std::int64_t whole = decoder_fuzz::exercise(decoder);
        const std::atomic<bool> never{false};
        const std::optional<playback::TrackLength> scanned = decoder.scanLength(path, never);
        fuzz_support::check(scanned.has_value(), "a file that opened can be scanned");
        fuzz_support::check(whole < 0 || whole == scanned->frames,
                            "the decoding ends where the scan of its frames says");
    } catch (const playback::DeviceError& error) {
        fuzz_support::check(error.what()[0] != '\0', "a device error has a text");
    }
    return 0;
}
