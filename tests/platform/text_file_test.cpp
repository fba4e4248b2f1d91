// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-file reads that refuse what is not a text file, and writes that never lose the old file.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>

#include "platform/locked_temporary.h"
#include "platform/system.h"
#include "platform/text_file.h"

namespace {

using platform::readWholeFile;
using platform::writeWholeFile;

class TextFileTest : public ::testing::Test {
protected:
    std::string at(const std::string& name) const { return dir.path().toStdString() + "/" + name; }
    static void put(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static mode_t mode(const std::string& path) {
        struct stat st {};
        EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
        return st.st_mode;
    }
    // Every name in a folder, sorted: a failed or finished write leaves no temporary file.
    using Names = std::vector<std::string>;
    static Names names(const std::string& folder) {
        Names out;
        for (const auto& e : std::filesystem::directory_iterator(folder))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    Names names() const { return names(dir.path().toStdString()); }
    // The error text of `f`, or "" when it throws nothing.
    template <typename F>
    static std::string errorOf(F f) {
        try {
            f();
        } catch (const platform::SystemError& e) {
            return e.what();
        }
        return {};
    }

    QTemporaryDir dir;
};

TEST_F(TextFileTest, ReadsOnlyRegularFilesUpToTheLimit) {
    put(at("song.lrc"), "[00:01.00]one\r\n");
    put(at("big.lrc"), std::string(1001, 'x'));
    ASSERT_EQ(::mkfifo(at("fifo.lrc").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", at("zero.lrc").c_str()), 0);
    ASSERT_EQ(::mkdir(at("folder.lrc").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("song.lrc", at("link.lrc").c_str()), 0);

    EXPECT_EQ(readWholeFile(at("song.lrc"), 1000), "[00:01.00]one\r\n");
    EXPECT_EQ(readWholeFile(at("link.lrc"), 1000), "[00:01.00]one\r\n");
    EXPECT_EQ(readWholeFile(at("big.lrc"), 1001).size(), 1001u);
    const struct {
        const char* name;
        const char* reason;
    } refused[] = {
        {"big.lrc", "File too large"},
        {"fifo.lrc", "Not a regular file"},  // would block for ever waiting for a writer
        {"zero.lrc", "Not a regular file"},  // would never end
        {"folder.lrc", "Is a directory"},
        {"missing.lrc", "No such file or directory"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(errorOf([&] { readWholeFile(at(c.name), 1000); }),
                  "Cannot open file \"" + at(c.name) + "\". " + c.reason);
    }
    // A file the system sizes as 0 but that has more to read is still held to the limit.
    EXPECT_EQ(errorOf([] { readWholeFile("/proc/self/maps", 10); }),
              "Cannot open file \"/proc/self/maps\". File too large");
}

TEST_F(TextFileTest, WriteReplacesTheFileKeepingPermissionsAndLinks) {
    // A new file gets the usual permissions of the user's umask.
    const mode_t mask = ::umask(022);
    writeWholeFile(at("new.m3u"), "a\r\n");
    EXPECT_EQ(contents(at("new.m3u")), "a\r\n");
    EXPECT_EQ(mode(at("new.m3u")) & 0777, 0644u);
    ::umask(mask);

    // An existing file keeps its permissions.
    put(at("list.m3u"), "old contents that are longer\r\n");
    ASSERT_EQ(::chmod(at("list.m3u").c_str(), 0640), 0);
    writeWholeFile(at("list.m3u"), "b\r\n");
    EXPECT_EQ(contents(at("list.m3u")), "b\r\n");
    EXPECT_EQ(mode(at("list.m3u")) & 0777, 0640u);

    // A link, relative and into another folder, stays a link; its target gets the data.
    ASSERT_EQ(::mkdir(at("real").c_str(), 0700), 0);
    put(at("real/list.m3u"), "old\r\n");
    ASSERT_EQ(::symlink("real/list.m3u", at("link.m3u").c_str()), 0);
    ASSERT_EQ(::symlink("link.m3u", at("link2.m3u").c_str()), 0);
    writeWholeFile(at("link2.m3u"), "c\r\n");
    EXPECT_TRUE(S_ISLNK(mode(at("link2.m3u"))));
    EXPECT_TRUE(S_ISLNK(mode(at("link.m3u"))));
    EXPECT_EQ(contents(at("real/list.m3u")), "c\r\n");
    // A link to a file that does not exist yet creates that file, as an open would.
    ASSERT_EQ(::symlink("real/later.m3u", at("later.m3u").c_str()), 0);
    writeWholeFile(at("later.m3u"), "d\r\n");
    EXPECT_TRUE(S_ISLNK(mode(at("later.m3u"))));
    EXPECT_EQ(contents(at("real/later.m3u")), "d\r\n");

    EXPECT_EQ(names(),
              (Names{"later.m3u", "link.m3u", "link2.m3u", "list.m3u", "new.m3u", "real"}));
    EXPECT_EQ(names(at("real")), (Names{"later.m3u", "list.m3u"}));
}

TEST_F(TextFileTest, WriteRefusesWhatAnOpenWouldHaveRefused) {
    ASSERT_EQ(::mkdir(at("folder.m3u").c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo(at("fifo.m3u").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("loop.m3u", at("loop.m3u").c_str()), 0);
    const struct {
        std::string path;
        const char* reason;
    } refused[] = {
        {at("folder.m3u"), "Is a directory"},
        {at("fifo.m3u"), "Not a regular file"},
        {at("loop.m3u"), "Too many levels of symbolic links"},
        {at("no/such/folder/list.m3u"), "No such file or directory"},
        {at("folder.m3u") + "/", "Is a directory"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(errorOf([&] { writeWholeFile(c.path, "x"); }),
                  "Cannot create file \"" + c.path + "\". " + c.reason);
    }
    EXPECT_EQ(names(), (Names{"fifo.m3u", "folder.m3u", "loop.m3u"}));
    EXPECT_EQ(names(at("folder.m3u")), Names());
    if (::geteuid() != 0) {  // root may write anything
        put(at("readonly.m3u"), "kept");
        ASSERT_EQ(::chmod(at("readonly.m3u").c_str(), 0444), 0);
        EXPECT_EQ(errorOf([&] { writeWholeFile(at("readonly.m3u"), "x"); }),
                  "Cannot create file \"" + at("readonly.m3u") + "\". Permission denied");
        EXPECT_EQ(contents(at("readonly.m3u")), "kept");
    }
    EXPECT_TRUE(S_ISFIFO(mode(at("fifo.m3u"))));
}

// Makes a file system of 64 KiB at `path`, in a mount namespace of this test process alone, so
// the mount goes when the process ends. Returns why it cannot, or "" when mounted.
std::string mountSmallFileSystem(const std::string& path) {
    if (::unshare(CLONE_NEWNS) != 0 && ::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
        return std::string("no mount namespace: ") + std::strerror(errno);
    // Private first: a mount under a shared one would show up outside the namespace too.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("cannot make the mounts private: ") + std::strerror(errno);
    if (::mount("tmpfs", path.c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0)
        return std::string("cannot mount a tmpfs: ") + std::strerror(errno);
    return {};
}

constexpr uid_t kOwner = 4242;      // owns the shared lists
constexpr uid_t kOtherUser = 4343;  // may write them, but not give a file away

// Starts `f` in a child process as `uid` (and the group of that number), which exits with 0
// when `f` returns true.
template <typename F>
pid_t startChild(uid_t uid, F f) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (uid != ::geteuid() && (::setgid(uid) != 0 || ::setuid(uid) != 0)) ::_exit(2);
        ::_exit(f() ? 0 : 1);
    }
    return child;
}

int waitStatus(pid_t child) {
    int status = -1;
    ::waitpid(child, &status, 0);
    return status;
}

template <typename F>
int inChild(uid_t uid, F f) {
    return waitStatus(startChild(uid, f));
}

// `path`, owned by kOwner and writable by all: a list that kOtherUser may write.
void shareList(const std::string& path) {
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    ASSERT_EQ(::chown(path.c_str(), kOwner, kOwner), 0);
}

// Both ways a save goes: the user's own list, replaced by a renamed file, and another user's,
// rewritten in place after a copy of it has been set aside (on a full disk, elsewhere).
TEST_F(TextFileTest, AFullDiskLeavesTheOldFileAsItWas) {
    const std::string disk = at("disk");
    ASSERT_EQ(::mkdir(disk.c_str(), 0700), 0);
    const std::string why = mountSmallFileSystem(disk);
    if (!why.empty()) GTEST_SKIP() << "needs a small file system to fill: " << why;
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{disk};
    ASSERT_EQ(::chmod(disk.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(dir.path().toStdString().c_str(), 0755), 0);

    const std::string list = disk + "/list.m3u", shared = disk + "/shared.m3u";
    const std::string old = "/music/a.mp3\r\n/music/b.mp3\r\n";
    put(list, old);
    put(shared, old);
    const bool asOther = ::geteuid() == 0;
    if (asOther) shareList(shared);
    {
        // Fill the disk to its last byte.
        std::ofstream filler(disk + "/filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (filler.write(block.data(), block.size())) filler.flush();
    }
    for (const std::string& path : {list, shared}) {
        SCOPED_TRACE(path);
        const int status = inChild(path == shared && asOther ? kOtherUser : ::geteuid(), [&] {
            return errorOf([&] { writeWholeFile(path, std::string(16384, 'n')); }) ==
                   "Cannot write file \"" + path + "\". No space left on device";
        });
        EXPECT_EQ(status, 0);
        EXPECT_EQ(contents(path), old);
    }
    EXPECT_EQ(names(disk), (Names{"filler", "list.m3u", "shared.m3u"}));
}

TEST_F(TextFileTest, AFileSizeLimitLeavesTheOldFileAsItWas) {
    // The same guarantee where no file system can be mounted: the process may not write files
    // beyond 4 KiB.
    const std::string list = at("list.m3u");
    put(list, "old\r\n");
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);  // else the write would end the process
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string error = errorOf([&] { writeWholeFile(list, std::string(8192, 'n')); });
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(error, "Cannot write file \"" + list + "\". File too large");
    EXPECT_EQ(contents(list), "old\r\n");
    EXPECT_EQ(names(), Names{"list.m3u"});
}

// A save killed mid-way leaves its hidden temporary file; the next save beside it removes that
// one, but not one that a save under way holds, nor a copy of old contents, nor anything else
// that looks alike.
TEST_F(TextFileTest, WriteRemovesTheTemporaryFilesOfKilledSaves) {
    put(at(".list.m3u.k1lled00.tmp"), "half a list");
    put(at(".list.m3u.notours.tmp"), "other");
    put(at(".other.m3u.k1lled00.tmp"), "another target's");
    put(at(".list.m3u.k1lled00.bak"), "the list before a killed rewrite");
    const std::string live = at(".list.m3u.writing.tmp");
    put(live, "being written");
    const int held = ::open(live.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    writeWholeFile(at("list.m3u"), "a\r\n");
    ::close(held);
    EXPECT_EQ(names(), (Names{".list.m3u.k1lled00.bak", ".list.m3u.notours.tmp",
                              ".list.m3u.writing.tmp", ".other.m3u.k1lled00.tmp", "list.m3u"}));
}

// Another user's shared list that the user may write is rewritten in place: its owner, group,
// mode and links stay, and a save killed mid-way leaves the old contents in a copy beside it.
TEST_F(TextFileTest, ASharedListKeepsItsOwnerGroupAndMode) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
    ASSERT_EQ(::chmod(dir.path().toStdString().c_str(), 0755), 0);
    const std::string shared = at("shared");
    const std::string closed = at("closed");  // a folder others may not add to
    ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
    ASSERT_EQ(::mkdir(closed.c_str(), 0755), 0);
    const std::string list = shared + "/list.m3u", inClosed = closed + "/list.m3u";
    for (const std::string& path : {list, inClosed}) {
        SCOPED_TRACE(path);
        put(path, "theirs\r\n");
        shareList(path);
        struct stat before {};
        struct stat after {};
        ASSERT_EQ(::stat(path.c_str(), &before), 0);
        const auto save = [&] { return errorOf([&] { writeWholeFile(path, "mine\r\n"); }); };
        EXPECT_EQ(inChild(kOtherUser, [&] { return save().empty(); }), 0);
        ASSERT_EQ(::stat(path.c_str(), &after), 0);
        EXPECT_EQ(contents(path), "mine\r\n");
        EXPECT_EQ(std::tuple(after.st_ino, after.st_uid, after.st_gid, after.st_mode & 0777),
                  std::tuple(before.st_ino, kOwner, kOwner, 0666u));
    }
    EXPECT_EQ(names(shared), Names{"list.m3u"});
    EXPECT_EQ(names(closed), Names{"list.m3u"});
    // Root may give a file away: its save renames a new file in, with the owner kept.
    writeWholeFile(list, "root's\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(list.c_str(), &st), 0);
    EXPECT_EQ(std::tuple(st.st_uid, st.st_gid, st.st_mode & 0777),
              std::tuple(kOwner, kOwner, 0666u));

    // One the user may not write is refused with the system's reason.
    ASSERT_EQ(::chmod(list.c_str(), 0644), 0);
    const auto refused = [&] {
        return errorOf([&] { writeWholeFile(list, "mine\r\n"); }) ==
               "Cannot create file \"" + list + "\". Permission denied";
    };
    EXPECT_EQ(inChild(kOtherUser, refused), 0);
    EXPECT_EQ(contents(list), "root's\r\n");

    // Killed mid-write (beyond its file size limit): the list is half written, and the copy
    // beside it holds what it was.
    ASSERT_EQ(::chmod(list.c_str(), 0666), 0);
    const int status = inChild(kOtherUser, [&] {
        const rlimit small{4096, 4096};
        const rlimit noCore{0, 0};
        std::signal(SIGXFSZ, SIG_DFL);
        return ::setrlimit(RLIMIT_FSIZE, &small) == 0 && ::setrlimit(RLIMIT_CORE, &noCore) == 0 &&
               errorOf([&] { writeWholeFile(list, std::string(8192, 'k')); }).empty();
    });
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    const Names left = names(shared);
    ASSERT_EQ(left.size(), 2u);
    EXPECT_TRUE(left[0].starts_with(".list.m3u.") && left[0].ends_with(".bak")) << left[0];
    EXPECT_EQ(contents(shared + "/" + left[0]), "root's\r\n");
    EXPECT_NE(contents(list), "root's\r\n");
}

// Two processes saving one list at once, 100 times each, every way a save goes: none fails,
// none removes the other's work, and the list is one of them whole.
TEST_F(TextFileTest, SavesFromTwoProcessesAtOnceNeverFailEachOther) {
    ASSERT_EQ(::chmod(dir.path().toStdString().c_str(), 0777), 0);
    const std::string list = at("list.m3u");
    const std::string a = std::string(3000, 'a') + "\r\n", b = std::string(2000, 'b') + "\r\n";
    const struct {
        const char* way;
        bool nameless;
        uid_t writer;
    } ways[] = {{"nameless", true, ::geteuid()},
                {"named", false, ::geteuid()},
                {"in place", true, ::geteuid() == 0 ? kOtherUser : ::geteuid()}};
    for (const auto& w : ways) {
        SCOPED_TRACE(w.way);
        put(list, "first\r\n");
        if (w.writer != ::geteuid()) shareList(list);
        platform::detail::useNamelessFiles(w.nameless);
        const auto saveMany = [&](const std::string& text) {
            return startChild(w.writer, [&] {
                for (int i = 0; i < 100; ++i)
                    if (!errorOf([&] { writeWholeFile(list, text); }).empty()) return false;
                return true;
            });
        };
        const pid_t writerA = saveMany(a), writerB = saveMany(b);
        EXPECT_EQ(waitStatus(writerA), 0);
        EXPECT_EQ(waitStatus(writerB), 0);
        const std::string last = contents(list);
        EXPECT_TRUE(last == a || last == b) << last.size();
        EXPECT_EQ(names(), Names{"list.m3u"});
    }
    platform::detail::useNamelessFiles(true);
}

}  // namespace
