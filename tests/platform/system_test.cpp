#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <unistd.h>

#include <fstream>
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
