// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A regular file read by offset. Opened without blocking, so that a name swapped for a FIFO
// since the caller looked at it cannot hang the opening thread; anything but a regular file
// reads as nothing.
//
// Threads: pread only, so one object may be read from several threads; it is not copied.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

namespace playback {

class FileBytes {
public:
    explicit FileBytes(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
        if (fd_ < 0) error_ = errno;
        struct stat info {};
        if (fd_ >= 0 && ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) size_ = info.st_size;
    }
    ~FileBytes() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    // -1 when the file could not be opened or is not a regular file.
    std::int64_t size() const { return size_; }
    // Why the file could not be opened (errno); 0 when it could.
    int error() const { return error_; }
    // Up to `n` bytes from `offset`; how many were read (fewer at the end of the file or on an
    // error).
    std::size_t read(std::int64_t offset, std::uint8_t* out, std::size_t n) const {
        std::size_t done = 0;
        while (size_ >= 0 && offset >= 0 && done < n) {
            const ssize_t got = ::pread(fd_, out + done, n - done, off_t(offset) + off_t(done));
            if (got <= 0) break;
            done += std::size_t(got);
        }
        return done;
    }

private:
    int fd_;
    int error_ = 0;
    std::int64_t size_ = -1;
};

// Little- and big-endian integers from bytes.
inline std::uint32_t le16(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8;
}
inline std::uint32_t le32(const std::uint8_t* p) {
    return le16(p) | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
inline std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

}  // namespace playback
