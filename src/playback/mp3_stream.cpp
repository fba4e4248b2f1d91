// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/mp3_stream.h"

#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "playback/decoder.h"
#include "playback/device.h"

namespace playback {
namespace {

constexpr std::size_t kBlockBytes = 1 << 16;
constexpr long kPreframes = 12;

}  // namespace

Mp3Stream::Mp3Stream(const std::string& path, std::int64_t start, int outputRate,
                     const std::atomic<bool>* stop)
    : file_(path), start_(start), stop_(stop) {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
    int error = MPG123_OK;
    handle_ = mpg123_new(nullptr, &error);
    if (!handle_) throw DeviceError(mpg123_plain_strerror(error));
    mpg123_param(handle_, MPG123_FLAGS, MPG123_QUIET | MPG123_SKIP_ID3V2, 0);
    mpg123_param(handle_, MPG123_RESYNC_LIMIT, long(kJunkLimit), 0);
    // After a seek, this many frames before the target are decoded unheard to fill the bit
    // reservoir: libmpg123's default of 4 left the first frames of a VBR file's quiet stretch
    // wrong, some as loud as the tone.
    mpg123_param(handle_, MPG123_PREFRAMES, kPreframes, 0);
    mpg123_format_none(handle_);
    const long* rates = nullptr;
    std::size_t count = 0;
    mpg123_rates(&rates, &count);
    for (std::size_t i = 0; i < count; ++i) {
        mpg123_format(handle_, rates[i], MPG123_STEREO,
                      rates[i] == outputRate ? MPG123_ENC_SIGNED_16 : MPG123_ENC_FLOAT_32);
    }
    if (mpg123_replace_reader_handle(handle_, &Mp3Stream::readCallback, &Mp3Stream::seekCallback,
                                     nullptr) != MPG123_OK ||
        mpg123_open_handle(handle_, this) != MPG123_OK) {
        const std::string text = errorText();
        mpg123_delete(handle_);
        throw DeviceError(text);
    }
}

Mp3Stream::~Mp3Stream() {
    mpg123_delete(handle_);
}

std::string Mp3Stream::errorText() const {
    const char* text = mpg123_strerror(handle_);
    return text && *text ? text : "Unknown error code";
}

ssize_t Mp3Stream::readCallback(void* self, void* buffer, std::size_t bytes) {
    return static_cast<Mp3Stream*>(self)->readBytes(static_cast<std::uint8_t*>(buffer), bytes);
}

off_t Mp3Stream::seekCallback(void* self, off_t offset, int whence) {
    auto& stream = *static_cast<Mp3Stream*>(self);
    const std::int64_t size = stream.file_.size() - stream.start_;
    std::int64_t to = offset;
    if (whence == SEEK_CUR) to += stream.position_;
    if (whence == SEEK_END) to += size;
    if (size < 0 || to < 0) return -1;
    if (to != stream.position_) stream.zeroRun_ = 0;
    stream.position_ = to;
    return off_t(to);
}

ssize_t Mp3Stream::readBytes(std::uint8_t* out, std::size_t bytes) {
    if (stop_ && stop_->load(std::memory_order_relaxed)) return -1;
    // A run of zero bytes longer than the junk bound ends the file: no MPEG audio holds one,
    // and libmpg123, which gives up after the bound while decoding, reads on through
    // gigabytes of a preallocated tail when a seek looks for a frame beyond the music.
    if (zeroRun_ > kJunkLimit) return 0;
    std::size_t done = 0;
    while (done < bytes) {
        if (bytesRead_ >= readLimit_) {
            if (done == 0) return -1;
            break;
        }
        const std::int64_t inBlock = position_ - blockAt_;
        if (blockAt_ < 0 || inBlock < 0 || inBlock >= std::int64_t(block_.size())) {
            // Large reads go straight to the caller's buffer; small ones through the block.
            if (bytes - done >= kBlockBytes) {
                const std::size_t got = file_.read(start_ + position_, out + done, bytes - done);
                position_ += std::int64_t(got);
                bytesRead_ += std::int64_t(got);
                done += got;
                break;
            }
            block_.resize(kBlockBytes);
            block_.resize(file_.read(start_ + position_, block_.data(), kBlockBytes));
            blockAt_ = position_;
            bytesRead_ += std::int64_t(block_.size());
            if (block_.empty()) break;
            continue;
        }
        const std::size_t n = std::min(bytes - done, block_.size() - std::size_t(inBlock));
        std::memcpy(out + done, block_.data() + inBlock, n);
        done += n;
        position_ += std::int64_t(n);
    }
    // The zero bytes that end what was served, added to those before when it was all zeros.
    std::size_t zeros = 0;
    while (zeros < done && out[done - 1 - zeros] == 0) ++zeros;
    zeroRun_ = zeros == done ? zeroRun_ + std::int64_t(zeros) : std::int64_t(zeros);
    return ssize_t(done);
}

}  // namespace playback
