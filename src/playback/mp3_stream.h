// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One libmpg123 handle over a file, read through a buffered reader of ours, set up alike for
// the decoder and for its length scan, so that both see the same frames: no gapless trimming
// (the decoder cuts the encoder delay and padding itself, by one rule it and the scan share), no
// resampling, ID3v2 tags skipped unread (a 300 KB cover costs a seek), and the search for a
// frame given up after kJunkLimit bytes of junk. Mono comes out doubled to stereo; the output's
// own rate as 16-bit samples, any other as floats for the resampler.
//
// Threads: one thread at a time uses a stream; `stop` may be set from any.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "playback/file_bytes.h"

struct mpg123_handle_struct;

namespace playback {

class Mp3Stream {
public:
    // Reads `path` from byte `start` on (what is before it stays unseen), as an output at
    // `outputRate` wants it. `stop`, when set, makes every later read fail. Throws DeviceError
    // when libmpg123 cannot be set up or the file not opened.
    Mp3Stream(const std::string& path, std::int64_t start, int outputRate,
              const std::atomic<bool>* stop);
    ~Mp3Stream();
    Mp3Stream(const Mp3Stream&) = delete;
    Mp3Stream& operator=(const Mp3Stream&) = delete;

    mpg123_handle_struct* handle() const { return handle_; }
    const FileBytes& file() const { return file_; }
    // libmpg123's text for the handle's last error.
    std::string errorText() const;
    // Reads after this many bytes (in all, from the start) fail: what opening may read.
    void limitReads(std::int64_t bytes) { readLimit_ = bytes; }
    std::int64_t bytesRead() const { return bytesRead_; }

private:
    static ssize_t readCallback(void* self, void* buffer, std::size_t bytes);
    static off_t seekCallback(void* self, off_t offset, int whence);
    ssize_t readBytes(std::uint8_t* out, std::size_t bytes);

    FileBytes file_;
    std::int64_t start_;
    const std::atomic<bool>* stop_;
    mpg123_handle_struct* handle_ = nullptr;
    std::int64_t position_ = 0;  // from start_
    std::int64_t bytesRead_ = 0;
    std::int64_t readLimit_ = std::numeric_limits<std::int64_t>::max();
    std::int64_t zeroRun_ = 0;  // zero bytes in a row up to position_
    // libmpg123 searches for a frame a byte at a time: the reads come out of a block read ahead.
    std::vector<std::uint8_t> block_;
    std::int64_t blockAt_ = -1;  // position of block_[0]
};

}  // namespace playback
