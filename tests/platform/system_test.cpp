// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <string>

#include "platform/system.h"

using platform::InstanceLock;

namespace {

TEST(InstanceLock, SecondHolderSeesItUntilTheFirstCloses) {
    const std::string name = "vorela-test-" + std::to_string(::getpid());
    {
        InstanceLock first(name);
        ASSERT_EQ(first.result(), InstanceLock::Result::Created);
        InstanceLock second(name);
        EXPECT_EQ(second.result(), InstanceLock::Result::AlreadyExists);
        first.close();
        InstanceLock third(name);
        EXPECT_EQ(third.result(), InstanceLock::Result::Created);
    }
    ::unlink(InstanceLock::lockPath(name).c_str());
}

TEST(InstanceLock, UnusableLocationFails) {
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", "/nonexistent/vorela");
    InstanceLock lock("OnlyOne");
    EXPECT_EQ(lock.result(), InstanceLock::Result::Failed);
    qputenv("XDG_RUNTIME_DIR", saved);
}

TEST(InstanceLock, RefusesAMarkerThatIsNotTheUsersOwnFile) {
    QTemporaryDir dir;
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", dir.path().toUtf8());
    const std::string path = InstanceLock::lockPath("OnlyOne");
    const std::string elsewhere = dir.path().toStdString() + "/elsewhere";
    const auto expectRefused = [&](const char* what) {
        SCOPED_TRACE(what);
        InstanceLock lock("OnlyOne");
        EXPECT_EQ(lock.result(), InstanceLock::Result::Failed);
        ::unlink(path.c_str());
    };
    // A link (dangling or not) is not followed: nothing is created or locked at its target.
    ASSERT_EQ(::symlink(elsewhere.c_str(), path.c_str()), 0);
    expectRefused("link");
    EXPECT_NE(::access(elsewhere.c_str(), F_OK), 0);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    expectRefused("FIFO");
    if (::geteuid() == 0) {
        std::ofstream(path) << "";
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
        expectRefused("another user's file");
    } else {
        std::cout << "[ note ] a file of another user needs root to make; not tried\n";
    }
    // The user's own regular file, left from an earlier run, is the marker.
    std::ofstream(path) << "";
    {
        InstanceLock lock("OnlyOne");
        EXPECT_EQ(lock.result(), InstanceLock::Result::Created);
    }
    qputenv("XDG_RUNTIME_DIR", saved);
}

TEST(System, CurrentDirectoryAndDeleteReportTheSystemsMessage) {
    QTemporaryDir dir;
    const std::string saved = platform::currentDirectory();
    const std::string path = dir.path().toStdString();
    platform::setCurrentDirectory(path);
    EXPECT_EQ(platform::currentDirectory(), path);
    platform::setCurrentDirectory(saved);

    try {
        platform::setCurrentDirectory(path + "/missing");
        FAIL() << "no error";
    } catch (const platform::SystemError& e) {
        EXPECT_STREQ(e.what(), "No such file or directory");
    }

    const std::string file = path + "/a.mp3";
    std::ofstream(file) << "x";
    EXPECT_TRUE(platform::deleteFile(file));
    EXPECT_FALSE(platform::deleteFile(file));  // already gone: nothing to report
    if (::geteuid() != 0) {
        std::ofstream(file) << "x";
        ::chmod(path.c_str(), 0500);
        EXPECT_THROW(platform::deleteFile(file), platform::SystemError);
        ::chmod(path.c_str(), 0700);
    }
}

}  // namespace
