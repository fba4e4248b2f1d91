// Fuzz target for the decoder: the input becomes a file (the decoder opens paths and detects
// the format from content), which is opened, decoded to its end, then sought into and decoded
// on. Every input must either fail with a readable DeviceError or decode, without a crash, a
// hang or a read outside a buffer; read() keeps its count. Seeds: fuzz/decoder_seeds.sh DIR.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "playback/decoder.h"
#include "playback/device.h"

namespace {

constexpr std::size_t kChunk = 4096;
// Output frames decoded from one position at most: 20 s at 48 kHz keeps each run short.
constexpr std::int64_t kMostFrames = 20 * 48000;

const std::string& inputPath() {
    static const std::string path = [] {
        char name[] = "/tmp/vorela_decoder_fuzz_XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd < 0) std::abort();
        ::close(fd);
        return std::string(name);
    }();
    return path;
}

void writeInput(const std::uint8_t* data, std::size_t size) {
    const int fd = ::open(inputPath().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) std::abort();
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) std::abort();
        done += std::size_t(n);
    }
    ::close(fd);
}

// Reads on from the decoder's position; checks that every read keeps its count.
void decodeOn(playback::Decoder& decoder) {
    std::vector<std::int16_t> out(kChunk * 2);
    for (std::int64_t frames = 0; frames < kMostFrames;) {
        const std::int64_t before = decoder.nextFrame();
        const std::size_t got = decoder.read(out.data(), kChunk);
        if (got > kChunk || decoder.nextFrame() != before + std::int64_t(got)) std::abort();
        if (got == 0) return;
        frames += std::int64_t(got);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    writeInput(data, size);
    try {
        playback::Decoder decoder(inputPath(), playback::OutputFormat{48000, 2});
        const playback::TrackLength length = decoder.length();
        if (length.ms < 0 || length.frames < 0) std::abort();
        decodeOn(decoder);
        for (const std::int64_t frame : {length.frames / 2, length.frames - 100, std::int64_t{0}}) {
            decoder.seek(frame < 0 ? 0 : frame);
            if (decoder.nextFrame() != (frame < 0 ? 0 : frame)) std::abort();
            decodeOn(decoder);
        }
    } catch (const playback::DeviceError& error) {
        if (error.what()[0] == '\0') std::abort();
    }
    return 0;
}
