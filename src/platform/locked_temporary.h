// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Hidden files that a save makes beside the file it replaces: the new contents before they are
// renamed into place, or a copy of the old contents kept while a file is rewritten in place.
//
// Every such file is locked (flock, exclusive) by its writer before any other process can open
// it by its name, and stays locked until its writer has renamed, removed or given it up. That is
// how the clean-up tells the file of a killed save (no lock) from one that a save in another
// process is still writing, so two writers never remove each other's work.
//
// Used by one thread at a time; any number of processes may write beside the same file.

#include <sys/types.h>

#include <string>
#include <string_view>

namespace platform::detail {

// An owned file descriptor, closed when it goes.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release();
    void reset();
    // Closes now and returns what close reported (0, or the errno value).
    int close();

private:
    int fd_ = -1;
};

// The two kinds of hidden file and how their names end.
inline constexpr std::string_view kNewContents = ".tmp";
inline constexpr std::string_view kOldContents = ".bak";

// A new, empty, locked file named `.NAME.XXXXXXXX.KIND` in `folder` (which ends in a separator,
// or is empty for the current directory), where NAME is `targetName` (shortened) and X a random
// letter or digit.
class LockedTemporary {
public:
    LockedTemporary() = default;
    LockedTemporary(const LockedTemporary&) = delete;
    LockedTemporary& operator=(const LockedTemporary&) = delete;
    // Removes the file unless it was renamed away or kept.
    ~LockedTemporary();

    // Makes the file with the permission bits `mode` (the umask applies). Returns 0, or the
    // errno value of the failure when no file could be made.
    int create(const std::string& folder, std::string_view targetName, std::string_view kind,
               mode_t mode);

    int fd() const { return writing_.get(); }
    const std::string& path() const { return path_; }

    // Closes the descriptor written through and returns what close reported (a network file
    // system may report a failed write only here); the lock stays held.
    int closeForWriting() { return writing_.close(); }
    // Renames the file over `target`, then releases it. Returns 0 or the errno value; on
    // failure the file is still held.
    int renameOver(const std::string& target);
    // Leaves the file where it is, for the user, and releases it.
    void keep();
    // Removes the file and releases it.
    void discard();

private:
    int createNameless(const std::string& folder, const std::string& prefix, std::string_view kind,
                       mode_t mode);
    int createNamed(const std::string& folder, const std::string& prefix, std::string_view kind,
                    mode_t mode);
    int hold(Fd file, std::string name);

    Fd writing_;  // written through; closed before the rename
    Fd lock_;     // a second descriptor of the same open file, holding the lock to the end
    std::string path_;
};

// Whether files are first made without a name where the file system allows (the default).
// Tests and benchmarks turn it off to try the way taken where it does not.
void useNamelessFiles(bool use);

// Removes what killed saves left beside `target`: the user's own `.NAME.XXXXXXXX.tmp` files
// that no writer holds locked. Copies of old contents are never removed: after a killed
// rewrite they may be the only whole copy of the file.
void removeStaleTemporaries(const std::string& target);

}  // namespace platform::detail
