// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <map>
#include <string>

#include "platform/dir_listing.h"

using platform::CodePage;
using platform::DirListing;
using platform::NameMask;
using platform::WildcardMask;

namespace {

struct MaskCase {
    const char* mask;
    const char* name;
    bool matches;
};

class WildcardMaskTest : public ::testing::TestWithParam<MaskCase> {};

TEST_P(WildcardMaskTest, FollowsTheWindowsDirectorySearch) {
    const MaskCase& c = GetParam();
    SCOPED_TRACE(std::string(c.mask) + " vs " + c.name);
    EXPECT_EQ(WildcardMask(c.mask, CodePage::utf8()).matches(c.name), c.matches);
    EXPECT_EQ(WildcardMask(c.mask, CodePage::singleByte()).matches(c.name), c.matches);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, WildcardMaskTest,
    ::testing::Values(MaskCase{"*.*", "noext", true}, MaskCase{"*.*", "a.b.c", true},
                      MaskCase{"*", ".hidden", true}, MaskCase{"*.mp3", "Song.MP3", true},
                      MaskCase{"*.mp3", "a.b.mp3", true}, MaskCase{"*.mp3", ".mp3", true},
                      MaskCase{"*.mp3", "a.mp3.bak", false}, MaskCase{"*.mp3", "amp3", false},
                      MaskCase{"*.MP3", "x.mp3", true}, MaskCase{"*.mp", "x.mp3", false},
                      MaskCase{"a?c.txt", "abc.TXT", true}, MaskCase{"a?c.txt", "ac.txt", false},
                      MaskCase{"ab?", "ab", true}, MaskCase{"ab?", "abc", true},
                      MaskCase{"ab?", "abcd", false}, MaskCase{"a??.mp3", "a.mp3", true},
                      MaskCase{"*.", "noext", true}, MaskCase{"*.", "a.b", false},
                      MaskCase{"a.*", "a", true}, MaskCase{"a.*", "a.x", true},
                      MaskCase{"a*z", "abcz", true}, MaskCase{"a*z", "abcza", false},
                      MaskCase{"song", "SONG", true}, MaskCase{"song", "song.mp3", false},
                      MaskCase{"*s*.mp3", "mysong.mp3", true}));

TEST(WildcardMask, QuestionMarkStepsOverAWholeCharacter) {
    EXPECT_TRUE(WildcardMask("?.mp3", CodePage::utf8()).matches("歌.mp3"));
    EXPECT_FALSE(WildcardMask("?.mp3", CodePage::utf8()).matches("歌歌.mp3"));
    const CodePage gbk = CodePage::gbk();
    EXPECT_TRUE(WildcardMask("?.mp3", gbk).matches("\xB8\xE8.mp3"));
    EXPECT_FALSE(WildcardMask("??.mp3", gbk).matches("\xB8\xE8\xB8\xE8\xB8\xE8.mp3"));
    // The trail byte 0x41 is not the letter A: no case folding inside a character.
    EXPECT_FALSE(WildcardMask("\x81\x61", gbk).matches("\x81\x41"));
    EXPECT_TRUE(WildcardMask("\x81\x41*", gbk).matches("\x81\x41x"));
}

TEST(NameMask, ANameTheCodePageCannotReadMatchesOnItsBytes) {
    const CodePage gbk = CodePage::gbk();
    // 歌 in UTF-8 is three bytes: read as GBK, the last one is a lead byte that takes the dot.
    const std::string oddUtf8 = "\xE6\xAD\x8C.mp3";
    EXPECT_FALSE(WildcardMask("*.mp3", gbk).matches(oddUtf8));
    EXPECT_TRUE(NameMask("*.mp3", gbk).matches(oddUtf8));
    EXPECT_FALSE(NameMask("*.wav", gbk).matches(oddUtf8));
    // GBK text still steps by its characters.
    EXPECT_TRUE(NameMask("?.mp3", gbk).matches("\xB8\xE8.mp3"));
    EXPECT_FALSE(NameMask("??.mp3", gbk).matches("\xB8\xE8\xB8\xE8\xB8\xE8.mp3"));
}

class DirListingTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    std::string root() const { return dir_.path().toStdString() + "/"; }
    void write(const std::string& name, std::size_t size) {
        std::ofstream(root() + name, std::ios::binary) << std::string(size, 'x');
    }
    std::map<std::string, platform::DirEntry> list(const std::string& mask,
                                                   DirListing::Options o = {}) {
        std::map<std::string, platform::DirEntry> out;
        DirListing l(root(), mask, o);
        EXPECT_EQ(l.error(), 0);
        while (l.next()) out[std::string(l.name())] = l.entry();
        return out;
    }
    QTemporaryDir dir_;
};

TEST_F(DirListingTest, ReportsKindsSizesAndHiddenNames) {
    write("a.mp3", 10);
    write("B.MP3", 0);
    write(".hidden.mp3", 3);
    write("c.wma", 5);
    ASSERT_EQ(::mkdir((root() + "sub.mp3").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo((root() + "pipe.mp3").c_str(), 0644), 0);

    auto got = list("*.mp3");
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got["a.mp3"].details.attributes, platform::kAttrArchive);
    EXPECT_EQ(got["a.mp3"].details.size, 10u);
    EXPECT_EQ(got["B.MP3"].details.size, 0u);
    EXPECT_EQ(got[".hidden.mp3"].details.attributes,
              platform::kAttrArchive | platform::kAttrHidden);
    EXPECT_EQ(got["sub.mp3"].details.attributes, platform::kAttrDirectory);
    EXPECT_EQ(got["sub.mp3"].details.size, 0u);
    EXPECT_EQ(got["pipe.mp3"].details.attributes, platform::kAttrSystem);
    EXPECT_EQ(list("*.*").size(), 6u);
    const auto dots = list("*", {.dotEntries = true});
    EXPECT_EQ(dots.count("."), 1u);
    EXPECT_EQ(dots.count(".."), 1u);
}

TEST_F(DirListingTest, ReadOnlyMeansNotWritableByUs) {
    write("ro.txt", 1);
    write("rw.txt", 1);
    ASSERT_EQ(::chmod((root() + "ro.txt").c_str(), 0444), 0);
    auto got = list("*.txt");
    const bool root_user = ::geteuid() == 0;  // root may write whatever the mode says
    EXPECT_EQ(got["ro.txt"].details.attributes & platform::kAttrReadOnly,
              root_user ? 0u : platform::kAttrReadOnly);
    EXPECT_EQ(got["rw.txt"].details.attributes & platform::kAttrReadOnly, 0u);
}

TEST_F(DirListingTest, TimesAreUtcFileTimes) {
    write("t.txt", 1);
    const std::string path = root() + "t.txt";
    // 2001-09-09 01:46:40 UTC = 1000000000 s after 1970.
    const timeval times[2] = {{1000000000, 0}, {1000000100, 500000}};
    ASSERT_EQ(::utimes(path.c_str(), times), 0);
    const auto d = list("t.txt")["t.txt"].details;
    const platform::FileTime epoch = 116444736000000000ULL;
    EXPECT_EQ(d.lastAccessTime, epoch + 1000000000ULL * 10000000ULL);
    EXPECT_EQ(d.lastWriteTime, epoch + 1000000100ULL * 10000000ULL + 5000000ULL);
    // Creation is the birth time (now) where the file system keeps it, else the write time.
    const platform::FileTime now =
        epoch + static_cast<platform::FileTime>(std::time(nullptr)) * 10000000ULL;
    EXPECT_TRUE(d.creationTime == d.lastWriteTime ||
                (d.creationTime > now - 3600 * 10000000ULL && d.creationTime <= now + 10000000ULL))
        << d.creationTime;
    EXPECT_EQ(platform::toFileTime(-11644473601LL, 0), 0u);
}

TEST_F(DirListingTest, LinksAreFollowedAndMarked) {
    ASSERT_EQ(::mkdir((root() + "real").c_str(), 0755), 0);
    write("file.txt", 7);
    ASSERT_EQ(::symlink("real", (root() + "dirlink").c_str()), 0);
    ASSERT_EQ(::symlink("file.txt", (root() + "filelink").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (root() + "dangling").c_str()), 0);
    DirListing l(root(), "*");
    std::map<std::string, std::pair<bool, std::uint32_t>> seen;
    while (l.next()) seen[std::string(l.name())] = {l.isDirectory(), l.details().attributes};
    EXPECT_EQ(seen["dirlink"],
              std::make_pair(true, platform::kAttrDirectory | platform::kAttrReparsePoint));
    EXPECT_EQ(seen["filelink"],
              std::make_pair(false, platform::kAttrArchive | platform::kAttrReparsePoint));
    EXPECT_EQ(seen["dangling"].first, false);
    EXPECT_EQ(seen["dangling"].second & platform::kAttrReparsePoint, platform::kAttrReparsePoint);
    EXPECT_EQ(seen["real"], std::make_pair(true, platform::kAttrDirectory));
}

TEST_F(DirListingTest, BasicAttributesNeedNoDetailsAndAgreeWithThem) {
    write("f.mp3", 1);
    write(".g.mp3", 1);
    ASSERT_EQ(::mkdir((root() + "d").c_str(), 0755), 0);
    DirListing l(root(), "*");
    int n = 0;
    while (l.next()) {
        SCOPED_TRACE(std::string(l.name()));
        const std::uint32_t basic = l.basicAttributes();
        EXPECT_EQ(basic, l.details().attributes & ~platform::kAttrReadOnly);
        ++n;
    }
    EXPECT_EQ(n, 3);
}

TEST_F(DirListingTest, MissingOrNonFolderGivesNoEntriesAndAnError) {
    write("plain", 1);
    for (const std::string& folder : {root() + "missing/", root() + "plain/", root() + "plain"}) {
        SCOPED_TRACE(folder);
        DirListing l(folder, "*.*");
        EXPECT_NE(l.error(), 0);
        EXPECT_FALSE(l.next());
    }
    EXPECT_TRUE(platform::listDirectory(root() + "missing", "*").empty());
}

}  // namespace
