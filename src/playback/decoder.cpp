// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/decoder.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "playback/device.h"
#include "playback/file_bytes.h"
#include "playback/module_loader.h"
#include "playback/mp3_decoder.h"
#include "playback/track_length.h"
#include "playback/wav_decoder.h"

namespace playback {
namespace {

// Zero bytes at the start of a file are skipped, up to this many: damaged rips carry megabytes
// of them before the first frame.
constexpr std::int64_t kLeadingZerosLimit = 64 << 20;
constexpr const char* kInvalidData = "Invalid data found when processing input";

// The containers that FFmpeg's decoders play, known by their first bytes.
bool ffmpegContainer(const std::uint8_t* head, std::size_t size) {
    const auto is = [&](std::size_t at, const char* magic, std::size_t n) {
        return size >= at + n && std::memcmp(head + at, magic, n) == 0;
    };
    return is(0, "\x30\x26\xB2\x75\x8E\x66\xCF\x11", 8)  // ASF: WMA
           || is(0, "OggS", 4) || is(0, "fLaC", 4) || is(0, "RIFX", 4) || is(0, "RF64", 4) ||
           is(0, "riff\x2E\x91\xCF\x11", 8)  // Wave64
           || (is(0, "FORM", 4) && (is(8, "AIFF", 4) || is(8, "AIFC", 4))) || is(4, "ftyp", 4) ||
           is(0, "ADIF", 4)
           // ADTS: a sync word with the layer bits MPEG audio never has.
           || (size >= 2 && head[0] == 0xFF && (head[1] & 0xF6) == 0xF0);
}

std::mutex ffmpegMutex;
FfmpegDecoderFactory ffmpegFactory = nullptr;  // guarded by ffmpegMutex

FfmpegDecoderFactory ffmpegDecoders() {
    std::lock_guard lock(ffmpegMutex);
    if (ffmpegFactory) return ffmpegFactory;
    std::string error;
    // Beside the device module (or the program) that holds this code, else in the build tree.
    void* module =
        openModule({folderOf(reinterpret_cast<const void*>(&openDecoder)) + "/vorela_ffmpeg.so",
                    VORELA_FFMPEG_BUILD_PATH},
                   error);
    if (!module) throw DeviceError(error);
    void* symbol = dlsym(module, kFfmpegDecoderSymbol);
    if (!symbol) throw DeviceError("Unknown error code");
    ffmpegFactory = *static_cast<FfmpegDecoderFactory*>(symbol);
    return ffmpegFactory;
}

}  // namespace

bool loadFfmpegDecoders() {
    try {
        return ffmpegDecoders() != nullptr;
    } catch (const DeviceError&) {
        return false;
    }
}

std::unique_ptr<Decoder> openDecoder(const std::string& path, OutputFormat format,
                                     std::function<void()> lengthFound) {
    // Only regular files: a folder fails at once, and a pipe or a device would block or never
    // end.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) throw DeviceError(std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        throw DeviceError(std::strerror(S_ISDIR(info.st_mode) ? EISDIR : EINVAL));
    const FileBytes file(path);
    if (file.size() < 0) throw DeviceError(std::strerror(file.error() ? file.error() : EINVAL));

    const std::int64_t start = leadingZeroBytes(path, kLeadingZerosLimit);
    const WavProbe wav = probeWav(file, start);
    switch (wav.kind) {
        case WavProbe::Kind::Pcm:
            return std::make_unique<WavDecoder>(path, wav.layout, format);
        case WavProbe::Kind::Damaged:
            throw DeviceError(kInvalidData);
        case WavProbe::Kind::OtherCodec:
            return ffmpegDecoders()(path, format, std::move(lengthFound));
        case WavProbe::Kind::NotWav:
            break;
    }
    // What follows the zero bytes, and what follows ID3v2 tags, which some programs put before
    // FLAC and AAC too.
    std::array<std::uint8_t, 12> head{};
    for (const std::int64_t at : {start, afterId3v2Tags(file, start)}) {
        const std::size_t n = file.read(at, head.data(), head.size());
        if (n == 0) throw DeviceError(std::strerror(EINVAL));  // nothing at all
        if (ffmpegContainer(head.data(), n))
            return ffmpegDecoders()(path, format, std::move(lengthFound));
    }
    // MPEG audio has no magic: whatever else libmpg123 finds frames in.
    return std::make_unique<Mp3Decoder>(path, start, format, std::move(lengthFound));
}

}  // namespace playback
