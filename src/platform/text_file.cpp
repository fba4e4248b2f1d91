#include "text_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string_view>

#include "paths.h"
#include "system.h"

namespace platform {
namespace {

// Closes the descriptor on every path out of the caller.
struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

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

constexpr std::size_t kSuffixLength = 8;
constexpr std::string_view kTemporaryEnd = ".tmp";

// The start of every temporary name for `target`: hidden, and short enough that the whole name
// stays within the system's limit on one name.
std::string temporaryPrefix(const std::string& target) {
    return "." + std::string(paths::split(target).name.substr(0, 200)) + ".";
}

// Removes the temporary files that earlier writes to `target` left when they were killed: ours,
// by their name and owner, and stale, since no writer holds them locked (a writer locks its
// file from the moment it makes it until it is renamed or removed).
void removeStaleTemporaries(const std::string& target) {
    const std::string folder(paths::folder(target));
    const std::string prefix = temporaryPrefix(target);
    DIR* listing = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!listing) return;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (name.size() != prefix.size() + kSuffixLength + kTemporaryEnd.size() ||
            !name.starts_with(prefix) || !name.ends_with(kTemporaryEnd))
            continue;
        const std::string_view suffix = name.substr(prefix.size(), kSuffixLength);
        if (!std::all_of(suffix.begin(), suffix.end(), [](char c) {
                return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z');
            }))
            continue;
        const std::string path = folder + std::string(name);
        Fd f{::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
        struct stat st {};
        if (f.fd < 0 || ::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        if (::flock(f.fd, LOCK_EX | LOCK_NB) == 0) ::unlink(path.c_str());
    }
    ::closedir(listing);
}

// A name for the new file beside `target`, hidden, unique enough that O_EXCL rarely retries.
std::string temporaryName(const std::string& target, int attempt) {
    static std::atomic<unsigned> counter{0};
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    const unsigned long long mix = static_cast<unsigned long long>(now) * 2654435761u +
                                   static_cast<unsigned long long>(::getpid()) * 40503u +
                                   counter++ * 977u + static_cast<unsigned>(attempt);
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string suffix;
    for (unsigned long long v = mix; suffix.size() < kSuffixLength; v /= 36) {
        suffix += kDigits[v % 36];
    }
    return std::string(paths::folder(target)) + temporaryPrefix(target) + suffix +
           std::string(kTemporaryEnd);
}

// Gives up a write: closes and removes the new file, then reports `error`.
[[noreturn]] void abandon(Fd& f, const std::string& temporary, const std::string& path, int error) {
    if (f.fd >= 0) ::close(f.fd);
    f.fd = -1;
    ::unlink(temporary.c_str());
    fail(kCannotWrite, path, error);
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
    if (f.fd < 0) fail(kCannotOpen, path, errno);
    struct stat st {};
    if (::fstat(f.fd, &st) != 0) fail(kCannotOpen, path, errno);
    if (S_ISDIR(st.st_mode)) fail(kCannotOpen, path, EISDIR);
    // Devices (/dev/zero never ends), FIFOs and sockets are not text files.
    if (!S_ISREG(st.st_mode)) fail(kCannotOpen, path, kNotRegularFile);
    if (static_cast<std::uint64_t>(st.st_size) > limit) fail(kCannotOpen, path, EFBIG);
    std::string data;
    data.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(f.fd, buffer, sizeof buffer);
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

    // What the old file was: the new one takes its place and its permissions. A file the user
    // may not write stays refused, although the folder would let it be replaced.
    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0;
    if (replacing) {
        if (S_ISDIR(old.st_mode)) fail(kCannotCreate, path, EISDIR);
        if (!S_ISREG(old.st_mode)) fail(kCannotCreate, path, kNotRegularFile);
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
            fail(kCannotCreate, path, errno);
    }
    const mode_t mode = replacing ? (old.st_mode & 0777) : 0666;  // umask applies to a new file

    removeStaleTemporaries(target);
    std::string temporary;
    Fd f{-1};
    for (int attempt = 0; f.fd < 0; ++attempt) {
        temporary = temporaryName(target, attempt);
        f.fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (f.fd < 0 && (errno != EEXIST || attempt == 100)) fail(kCannotCreate, path, errno);
    }
    // Held until the file is renamed or removed: a later write tells a stale one by its lock.
    (void)::flock(f.fd, LOCK_EX | LOCK_NB);
    // From here on, any failure removes the new file and leaves the old one as it was.
    if (replacing) {
        // The new file takes the old one's owner and mode, or the write is refused: replacing
        // another user's shared list must not make it ours. Where the system keeps neither
        // (FAT gives every file the same owner and mode) the new file has them already; a
        // group the user is not in is kept where allowed.
        struct stat now {};
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
            if (::fchown(f.fd, old.st_uid, old.st_gid) != 0) {
                const int error = errno;
                if (::fstat(f.fd, &now) != 0 || now.st_uid != old.st_uid)
                    abandon(f, temporary, path, error);
            }
        }
        if (::fchmod(f.fd, mode) != 0) {
            const int error = errno;
            if (::fstat(f.fd, &now) != 0 || (now.st_mode & 0777) != mode)
                abandon(f, temporary, path, error);
        }
    }
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(f.fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            abandon(f, temporary, path, errno);
        }
        done += static_cast<std::size_t>(n);
    }
    // A full disk may show only here (delayed allocation) or at close (network file systems).
    if (::fsync(f.fd) != 0) abandon(f, temporary, path, errno);
    const int closed = ::close(f.fd);
    f.fd = -1;
    if (closed != 0) abandon(f, temporary, path, errno);
    if (::rename(temporary.c_str(), target.c_str()) != 0) abandon(f, temporary, path, errno);
    // Makes the rename itself durable; the data is already safe either way.
    Fd dir{::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd >= 0) (void)::fsync(dir.fd);
}

}  // namespace platform
