// SPDX-License-Identifier: GPL-3.0-or-later
#include "text_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "locked_temporary.h"
#include "paths.h"
#include "system.h"

namespace platform {
namespace {

using detail::Fd;
using detail::LockedTemporary;

// What the error text says for an existing file that is neither a regular file nor a folder
// (a FIFO, a device, a socket): no errno describes it.
constexpr int kNotRegularFile = -1;

[[noreturn]] void fail(const char* what, const std::string& path, int error) {
    const std::string reason =
        error == kNotRegularFile ? "Not a regular file" : systemMessage(error);
    throw SystemError(std::string(what) + " \"" + path + "\". " + reason, error);
}

constexpr const char* kCannotOpen = "Cannot open file";
constexpr const char* kCannotCreate = "Cannot create file";
constexpr const char* kCannotWrite = "Cannot write file";

// The file a write to `path` lands on: symbolic links followed to their last target, which
// need not exist yet (as an ordinary open would create it). Throws like the open would.
std::string finalTarget(const std::string& path) {
    std::string target = path;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
        if (hops == 40) fail(kCannotCreate, path, ELOOP);
        std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n < 0) fail(kCannotCreate, path, errno);
        // A link that grew between lstat and readlink: look again.
        if (static_cast<std::size_t>(n) == link.size()) continue;
        link.resize(static_cast<std::size_t>(n));
        target = link.front() == '/' ? link : std::string(paths::folder(target)) + link;
    }
}

// Writes all of `data` at `offset`. Returns 0 or the errno value.
int writeAt(int fd, std::string_view data, off_t offset) {
    while (!data.empty()) {
        const ssize_t n = ::pwrite(fd, data.data(), data.size(), offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
        offset += n;
    }
    return 0;
}

// Copies everything `from` holds onto the start of `to`, then cuts `to` to that length and
// flushes it to disk. Returns 0 or the errno value.
int copyContents(int from, int to) {
    char buffer[65536];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(from, buffer, sizeof buffer, offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) break;
        if (const int error = writeAt(to, {buffer, static_cast<std::size_t>(n)}, offset))
            return error;
        offset += n;
    }
    if (::ftruncate(to, offset) != 0 || ::fsync(to) != 0) return errno;
    return 0;
}

// How long a save waits for another save of the same file to finish with it. Saves hold a file
// for one write; only a program that keeps a lock on it (none of ours) makes a save wait this
// long.
constexpr auto kLockPatience = std::chrono::seconds(5);

// Takes a lock on an open file: exclusive (LOCK_EX) for a save, which every save of it takes,
// shared (LOCK_SH) for a read, which a rewrite in place keeps out. Returns 0, or EWOULDBLOCK
// when another holds it beyond the patience. Where the file system has no locks, there is
// nothing to wait for.
int waitForLock(int fd, int operation) {
    const auto giveUp = std::chrono::steady_clock::now() + kLockPatience;
    auto pause = std::chrono::microseconds(100);
    while (::flock(fd, operation | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) return 0;
        if (std::chrono::steady_clock::now() >= giveUp) return EWOULDBLOCK;
        std::this_thread::sleep_for(pause);
        pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(2));
    }
    return 0;
}

// Gives the new file the old one's owner, group and permission bits, as far as this user may.
// True when it has all three.
bool takeOwnerAndMode(int fd, const struct stat& old) {
    struct stat now {};
    if (::fstat(fd, &now) != 0) return false;
    // The owner first: a change of owner may clear permission bits.
    if (now.st_uid != old.st_uid || now.st_gid != old.st_gid)
        (void)::fchown(fd, old.st_uid, old.st_gid);
    (void)::fchmod(fd, old.st_mode & 0777);
    return ::fstat(fd, &now) == 0 && now.st_uid == old.st_uid && now.st_gid == old.st_gid &&
           (now.st_mode & 0777) == (old.st_mode & 0777);
}

// Where the copy of a file's old contents may go, in this order: beside the file, else (its
// folder takes no new file, or its disk is full) the user's runtime folder, else the temporary
// folder.
std::vector<std::string> copyFolders(const std::string& folder) {
    std::vector<std::string> folders{folder};
    for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* value = std::getenv(variable);
        if (value && *value == '/') folders.push_back(paths::withTrailingSeparator(value));
    }
    folders.emplace_back("/tmp/");
    return folders;
}

// Rewrites the existing file `target` in place, so that it keeps its owner, group, permission
// bits and links: where the user may write it but a renamed file could not be given its owner,
// group or mode, or its folder takes no new file. The old contents are first copied aside and
// flushed, and written back if the rewrite fails; a save killed mid-way leaves that copy, whose
// name the error of a failed write-back gives too.
void rewriteInPlace(const std::string& path, const std::string& target, std::string_view data) {
    Fd file;
    for (int tries = 0; !file; ++tries) {
        file = Fd{::open(target.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
        if (!file) fail(kCannotCreate, path, errno);
        if (const int error = waitForLock(file.get(), LOCK_EX)) fail(kCannotCreate, path, error);
        // Another save may have renamed a new file over this one meanwhile: rewrite that.
        struct stat held {};
        struct stat named {};
        if (::fstat(file.get(), &held) != 0) fail(kCannotCreate, path, errno);
        if (!S_ISREG(held.st_mode)) fail(kCannotCreate, path, kNotRegularFile);
        if (::stat(target.c_str(), &named) != 0) fail(kCannotCreate, path, errno);
        if ((named.st_dev != held.st_dev || named.st_ino != held.st_ino) && tries < 100)
            file.reset();
    }

    const std::string folder(paths::folder(target));
    const std::string_view name = paths::fileName(target);
    // The copy is the user's alone (0600), whoever may read the file, and goes where there is
    // room for it: on a full disk, elsewhere.
    LockedTemporary copy;
    int error = 0;
    for (const std::string& place : copyFolders(folder)) {
        int tried = copy.create(place, name, detail::kOldContents, 0600);
        if (tried == 0 && (tried = copyContents(file.get(), copy.fd())) != 0) copy.discard();
        if (tried == 0) break;
        if (error == 0) error = tried;
    }
    if (copy.path().empty()) fail(kCannotCreate, path, error);

    error = writeAt(file.get(), data, 0);
    if (error == 0 && ::ftruncate(file.get(), static_cast<off_t>(data.size())) != 0) error = errno;
    if (error == 0 && ::fsync(file.get()) != 0) error = errno;
    if (error == 0) return;  // the copy goes with `copy`

    if (copyContents(copy.fd(), file.get()) == 0) fail(kCannotWrite, path, error);
    const std::string kept = copy.path();
    copy.keep();
    throw SystemError(std::string(kCannotWrite) + " \"" + path + "\". " + systemMessage(error) +
                          ". Its old contents are kept in \"" + kept + "\".",
                      error);
}

}  // namespace

std::vector<std::string> splitLines(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::string readWholeFile(const std::string& path, std::size_t limit) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    Fd f{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (!f) fail(kCannotOpen, path, errno);
    struct stat st {};
    if (::fstat(f.get(), &st) != 0) fail(kCannotOpen, path, errno);
    if (S_ISDIR(st.st_mode)) fail(kCannotOpen, path, EISDIR);
    // Devices (/dev/zero never ends), FIFOs and sockets are not text files.
    if (!S_ISREG(st.st_mode)) fail(kCannotOpen, path, kNotRegularFile);
    if (static_cast<std::uint64_t>(st.st_size) > limit) fail(kCannotOpen, path, EFBIG);
    // A save rewriting the file in place holds it for that while. A lock held beyond the
    // patience is another program's, and the file is read regardless.
    (void)waitForLock(f.get(), LOCK_SH);
    std::string data;
    data.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(f.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(kCannotOpen, path, errno);
        }
        if (n == 0) break;
        // The size may have been wrong (a file still growing, or one the system sizes as 0).
        if (data.size() + static_cast<std::size_t>(n) > limit) fail(kCannotOpen, path, EFBIG);
        data.append(buffer, static_cast<std::size_t>(n));
    }
    return data;
}

void writeWholeFile(const std::string& path, std::string_view data) {
    const std::string target = finalTarget(path);
    const std::string folder(paths::folder(target));
    if (target.size() == folder.size()) fail(kCannotCreate, path, target.empty() ? ENOENT : EISDIR);

    // What the old file was: the new one takes its place, owner and permissions. A file the
    // user may not write stays refused, although the folder would let it be replaced.
    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0;
    if (replacing) {
        if (S_ISDIR(old.st_mode)) fail(kCannotCreate, path, EISDIR);
        if (!S_ISREG(old.st_mode)) fail(kCannotCreate, path, kNotRegularFile);
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
            fail(kCannotCreate, path, errno);
    }

    detail::removeStaleTemporaries(target);
    // The umask applies to a new file; a replacement is given the old one's bits below.
    LockedTemporary next;
    if (const int error = next.create(folder, paths::fileName(target), detail::kNewContents,
                                      replacing ? (old.st_mode & 0777) : 0666)) {
        if (replacing && (error == EACCES || error == EPERM))
            return rewriteInPlace(path, target, data);
        fail(kCannotCreate, path, error);
    }
    // Replacing another user's shared list must not make it the writer's, nor change its group
    // or mode: such a list is rewritten in place instead.
    if (replacing && !takeOwnerAndMode(next.fd(), old)) {
        next.discard();
        return rewriteInPlace(path, target, data);
    }
    // From here on, any failure removes the new file (with `next`) and leaves the old one.
    if (const int error = writeAt(next.fd(), data, 0)) fail(kCannotWrite, path, error);
    // A full disk may show only here (delayed allocation) or at close (network file systems).
    if (::fsync(next.fd()) != 0) fail(kCannotWrite, path, errno);
    if (const int error = next.closeForWriting()) fail(kCannotWrite, path, error);
    {
        // Waits for a rewrite in place of the old file to end; the rename itself is safe
        // without the lock, so a lock held too long only delays it.
        Fd oldFile{replacing ? ::open(target.c_str(),
                                      O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)
                             : -1};
        if (oldFile) (void)waitForLock(oldFile.get(), LOCK_EX);
        if (const int error = next.renameOver(target)) fail(kCannotWrite, path, error);
    }
    // Makes the rename itself durable; the data is already safe either way.
    Fd dir{::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir) (void)::fsync(dir.get());
}
}  // namespace platform
