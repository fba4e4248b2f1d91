// Fuzz target for the decoder: the input becomes a file (the decoder opens paths and detects
// the format from content), which is opened, decoded to its end, then sought into and decoded
// on. Every input must either fail with a readable DeviceError or decode, without a crash, a
// hang or a read outside a buffer; read() keeps its count. Seeds: fuzz/seeds/decoder_fuzz.sh.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "playback/decoder.h"
#include "playback/device.h"

namespace {

constexpr std::size_t kChunk = 4096;
// Output frames decoded from one position at most: 20 s at 48 kHz keeps each run short.
constexpr std::int64_t kMostFrames = 20 * 48000;

// Reads on from the decoder's position; checks that every read keeps its count.
void decodeOn(playback::Decoder& decoder) {
    std::vector<std::int16_t> out(kChunk * 2);
    for (std::int64_t frames = 0; frames < kMostFrames;) {
        const std::int64_t before = decoder.nextFrame();
        const std::size_t got = decoder.read(out.data(), kChunk);
        fuzz_support::check(got <= kChunk && decoder.nextFrame() == before + std::int64_t(got),
                            "read() keeps its count");
        if (got == 0) return;
        frames += std::int64_t(got);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = fuzz_support::scratchFolder() + "input";
    fuzz_support::putFile(path, std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        const std::unique_ptr<playback::Decoder> opened =
            playback::openDecoder(path, playback::OutputFormat{48000, 2});
        playback::Decoder& decoder = *opened;
        const playback::TrackLength length = decoder.length();
        fuzz_support::check(length.ms >= 0 && length.frames >= 0, "a length of 0 or more");
        decodeOn(decoder);
        for (const std::int64_t frame : {length.frames / 2, length.frames - 100, std::int64_t{0}}) {
            decoder.seek(frame < 0 ? 0 : frame);
            fuzz_support::check(decoder.nextFrame() == (frame < 0 ? 0 : frame), "seek lands");
            decodeOn(decoder);
        }
    } catch (const playback::DeviceError& error) {
        fuzz_support::check(error.what()[0] != '\0', "a device error has a text");
    }
    return 0;
}
