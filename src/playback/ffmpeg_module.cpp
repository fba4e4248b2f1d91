// SPDX-License-Identifier: GPL-3.0-or-later
// The FFmpeg module's entry: an FFmpeg decoder for a file that no decoder of ours takes. Built
// as a shared module that the device loads when such a file is first opened (or prepared for),
// so that FFmpeg and its some hundred dependencies stay out of the process until then.
#include "playback/ffmpeg_decoder.h"

namespace playback {
namespace {

std::unique_ptr<Decoder> makeDecoder(const std::string& path, OutputFormat format,
                                     std::function<void()> lengthFound) {
    return std::make_unique<FfmpegDecoder>(path, format, std::move(lengthFound));
}

}  // namespace
}  // namespace playback

extern "C" {
__attribute__((visibility("default"))) playback::FfmpegDecoderFactory vorela_ffmpeg_decoder =
    &playback::makeDecoder;
}
