// SPDX-License-Identifier: GPL-3.0-or-later
#include "system.h"

#include <QCoreApplication>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace platform {

std::string systemMessage(int error) {
    char buffer[256];
    // GNU strerror_r returns the message, which may or may not live in `buffer`.
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return text;
}

void trimWorkingSet() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
    QCoreApplication::processEvents();
}

std::string currentDirectory() {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) throw SystemError(systemMessage(errno), errno);
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

void setCurrentDirectory(std::string_view path) {
    const std::string p(path);
    if (::chdir(p.c_str()) != 0) throw SystemError(systemMessage(errno), errno);
}

bool deleteFile(std::string_view path) {
    const std::string p(path);
    if (::unlink(p.c_str()) == 0) return true;
    if (errno == ENOENT) return false;
    throw SystemError(systemMessage(errno), errno);
}

std::string InstanceLock::lockPath(std::string_view name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string dir = (runtime && *runtime) ? runtime : "/tmp";
    // Outside a runtime directory, the user id keeps the marker per user.
    const std::string suffix = (runtime && *runtime) ? "" : "-" + std::to_string(::getuid());
    return dir + "/" + std::string(name) + suffix + ".lock";
}

InstanceLock::InstanceLock(std::string_view name) {
    const std::string path = lockPath(name);
    // In a folder that every user may write to (/tmp), someone else may have put a link, a FIFO
    // or a file of their own under our name: none of them is our marker.
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                 0600);
    if (fd_ < 0) return;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        close();
        return;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        result_ = Result::Created;
    } else {
        result_ = errno == EWOULDBLOCK ? Result::AlreadyExists : Result::Failed;
    }
}

InstanceLock::~InstanceLock() {
    close();
}

void InstanceLock::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace platform
