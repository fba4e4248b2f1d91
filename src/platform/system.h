// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small process-level facilities in place of the system calls the design relies on: the
// working-set trim, the current directory, deleting a file, the single-instance marker.

#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// An operating-system failure; what() is the system's message for the error, possibly with
// context in front of it (bytes in the system code page).
class SystemError : public std::runtime_error {
public:
    SystemError(const std::string& message, int code) : std::runtime_error(message), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

// The system's message for an errno value.
std::string systemMessage(int error);

// Gives unused heap back to the system, then processes pending events (UI thread).
void trimWorkingSet();

// The current directory, as bytes. Throws SystemError.
std::string currentDirectory();
// Throws SystemError with the system's message when the directory cannot be entered.
void setCurrentDirectory(std::string_view path);

// Deletes a file. Throws SystemError when the file exists and cannot be deleted; returns
// false when there was no such file.
bool deleteFile(std::string_view path);

// The per-user marker "OnlyOne" that allows one running instance. The lock is a file lock,
// so the system releases it when the process ends or is killed.
class InstanceLock {
public:
    enum class Result { Created, AlreadyExists, Failed };

    explicit InstanceLock(std::string_view name);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    Result result() const { return result_; }
    // Releases the marker now (the refusal path closes it before exiting).
    void close();

    // Where the marker file for `name` lives for this user.
    static std::string lockPath(std::string_view name);

private:
    int fd_ = -1;
    Result result_ = Result::Failed;
};

}  // namespace platform
