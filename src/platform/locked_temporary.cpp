// SPDX-License-Identifier: GPL-3.0-or-later
#include "locked_temporary.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "paths.h"

namespace platform::detail {
namespace {

constexpr std::size_t kSuffixLength = 8;
constexpr char kSuffixDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";

// What create() returns when the file system cannot make a nameless file (or this process
// cannot give one a name): the named way is taken instead.
constexpr int kNamelessUnavailable = -1;

std::atomic<bool> namelessFiles{true};

const char* orDot(const std::string& folder) {
    return folder.empty() ? "." : folder.c_str();
}

// The start of every hidden name for `targetName`, short enough that the whole name stays
// within the system's limit on one name.
std::string namePrefix(std::string_view targetName) {
    return "." + std::string(targetName.substr(0, 200)) + ".";
}

std::string randomSuffix() {
    unsigned char bytes[kSuffixLength];
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != ssize_t(sizeof bytes)) {
        // No entropy yet (early boot): the time, the process and a counter still differ.
        static std::atomic<unsigned> counter{0};
        unsigned long long mix = static_cast<unsigned long long>(
                                     std::chrono::steady_clock::now().time_since_epoch().count()) *
                                     2654435761u +
                                 static_cast<unsigned long long>(::getpid()) * 40503u +
                                 counter++ * 977u;
        for (unsigned char& b : bytes) {
            b = static_cast<unsigned char>(mix);
            mix = mix / 251 + mix * 31;
        }
    }
    std::string suffix;
    for (unsigned char b : bytes) suffix += kSuffixDigits[b % 36];
    return suffix;
}

bool isSuffix(std::string_view s) {
    return s.size() == kSuffixLength && std::all_of(s.begin(), s.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z');
           });
}

}  // namespace

void useNamelessFiles(bool use) {
    namelessFiles = use;
}

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = other.release();
    }
    return *this;
}

int Fd::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void Fd::reset() {
    if (fd_ >= 0) ::close(release());
}

int Fd::close() {
    if (fd_ < 0) return 0;
    return ::close(release()) == 0 ? 0 : errno;
}

LockedTemporary::~LockedTemporary() {
    discard();
}

int LockedTemporary::create(const std::string& folder, std::string_view targetName,
                            std::string_view kind, mode_t mode) {
    discard();
    const std::string prefix = namePrefix(targetName);
    const int error =
        namelessFiles ? createNameless(folder, prefix, kind, mode) : kNamelessUnavailable;
    if (error != kNamelessUnavailable) return error;
    return createNamed(folder, prefix, kind, mode);
}

// A file without a name (O_TMPFILE), locked, then linked under a free name: no other process
// can reach it before it is locked.
int LockedTemporary::createNameless(const std::string& folder, const std::string& prefix,
                                    std::string_view kind, mode_t mode) {
    Fd file{::open(orDot(folder), O_TMPFILE | O_RDWR | O_CLOEXEC, mode)};
    if (!file) {
        // Not offered by this file system (or kernel): EOPNOTSUPP, or EISDIR and EINVAL where
        // the flag is unknown.
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return kNamelessUnavailable;
        return errno;
    }
    (void)::flock(file.get(), LOCK_EX);  // cannot be held by anyone else yet
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", file.get());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder + prefix + randomSuffix() + std::string(kind);
        if (::linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
            (errno == ENOENT &&
             ::linkat(file.get(), "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0)) {
            return hold(std::move(file), std::move(name));
        }
        if (errno == EEXIST) continue;
        // No /proc and no right to link by descriptor.
        if (errno == ENOENT || errno == EPERM) return kNamelessUnavailable;
        return errno;
    }
    return EEXIST;
}

// A file made under its name, then locked. Until the lock is had, another save's clean-up may
// take the file for a killed save's and remove it; the clean-up only removes what it holds
// locked, so a file still linked once its lock is had is ours for good, and one that was
// removed is made again under a new name.
int LockedTemporary::createNamed(const std::string& folder, const std::string& prefix,
                                 std::string_view kind, mode_t mode) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder + prefix + randomSuffix() + std::string(kind);
        Fd file{::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode)};
        if (!file) {
            if (errno == EEXIST) continue;
            return errno;
        }
        // Waits at most for a clean-up that holds it now, which removes it and lets go.
        while (::flock(file.get(), LOCK_EX) != 0 && errno == EINTR) {
        }
        struct stat st {};
        if (::fstat(file.get(), &st) != 0) return errno;
        if (st.st_nlink == 0) continue;
        return hold(std::move(file), std::move(name));
    }
    return EEXIST;
}

// Keeps a locked file made under `name`, with a second descriptor that holds the lock until
// the file is renamed or removed.
int LockedTemporary::hold(Fd file, std::string name) {
    lock_ = Fd{::fcntl(file.get(), F_DUPFD_CLOEXEC, 0)};
    if (!lock_) {
        const int error = errno;
        ::unlink(name.c_str());
        return error;
    }
    writing_ = std::move(file);
    path_ = std::move(name);
    return 0;
}

int LockedTemporary::renameOver(const std::string& target) {
    if (::rename(path_.c_str(), target.c_str()) != 0) return errno;
    path_.clear();
    writing_.reset();
    lock_.reset();
    return 0;
}

void LockedTemporary::keep() {
    path_.clear();
    writing_.reset();
    lock_.reset();
}

void LockedTemporary::discard() {
    // Removed while still locked, so no clean-up can meanwhile take the name for another file.
    if (!path_.empty()) ::unlink(path_.c_str());
    keep();
}

void removeStaleTemporaries(const std::string& target) {
    const std::string folder(paths::folder(target));
    const std::string prefix = namePrefix(paths::fileName(target));
    DIR* listing = ::opendir(orDot(folder));
    if (!listing) return;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(prefix) || !name.ends_with(kNewContents) ||
            !isSuffix(
                name.substr(prefix.size(), name.size() - prefix.size() - kNewContents.size())))
            continue;
        const std::string path = folder + std::string(name);
        Fd file{::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
        struct stat held {};
        if (!file || ::fstat(file.get(), &held) != 0 || !S_ISREG(held.st_mode) ||
            held.st_uid != ::geteuid() || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        // Locked now, but the name may since have gone to a new file of a live save: remove
        // only what is still the file held.
        struct stat named {};
        if (::fstat(file.get(), &held) == 0 && held.st_nlink > 0 &&
            ::lstat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
            named.st_ino == held.st_ino)
            ::unlink(path.c_str());
    }
    ::closedir(listing);
}

}  // namespace platform::detail
