// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "platform/code_page.h"
#include "platform/paths.h"

using platform::CodePage;
namespace paths = platform::paths;

namespace {

// "\xD5\x5C" is a GBK character whose trail byte is '\'; "\xB8\x2F" has the trail byte '/'
// (not a valid GBK trail, but the lead byte still swallows it).
struct SplitCase {
    const char* label;
    std::string path;
    std::string folder;
    std::string name;
    std::string ext;
};

class SplitTest : public ::testing::TestWithParam<std::pair<CodePage::Kind, SplitCase>> {};

CodePage pageOf(CodePage::Kind kind) {
    switch (kind) {
        case CodePage::Kind::DoubleByte:
            return CodePage::gbk();
        case CodePage::Kind::Utf8:
            return CodePage::utf8();
        default:
            return CodePage::singleByte();
    }
}

TEST_P(SplitTest, SplitsAtTheLastRealSeparator) {
    const auto& [kind, c] = GetParam();
    SCOPED_TRACE(c.label);
    const CodePage cp = pageOf(kind);
    const auto s = paths::split(c.path, cp);
    EXPECT_EQ(std::string(s.folder), c.folder);
    EXPECT_EQ(std::string(s.name), c.name);
    EXPECT_EQ(std::string(s.folder) + std::string(s.name), c.path);
    EXPECT_EQ(std::string(paths::extension(c.path, cp)), c.ext);
}

const SplitCase kCommon[] = {
    {"plain", "/music/a.mp3", "/music/", "a.mp3", ".mp3"},
    {"no folder", "a.mp3", "", "a.mp3", ".mp3"},
    {"root", "/a.wav", "/", "a.wav", ".wav"},
    {"folder only", "/music/", "/music/", "", ""},
    {"empty", "", "", "", ""},
    {"several dots", "/m/a.b.c.mp3", "/m/", "a.b.c.mp3", ".mp3"},
    {"dot in folder only", "/m.d/song", "/m.d/", "song", ""},
    {"dot file", "/m/.mp3", "/m/", ".mp3", ".mp3"},
    {"trailing dot", "/m/a.", "/m/", "a.", "."},
    {"utf-8 name", "/音乐/歌.mp3", "/音乐/", "歌.mp3", ".mp3"},
};

std::vector<std::pair<CodePage::Kind, SplitCase>> withKind(CodePage::Kind kind) {
    std::vector<std::pair<CodePage::Kind, SplitCase>> out;
    for (const auto& c : kCommon) {
        // The UTF-8 text is not valid GBK; keep it to the code pages it belongs to.
        if (kind == CodePage::Kind::DoubleByte && std::string(c.label) == "utf-8 name") continue;
        out.emplace_back(kind, c);
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(Utf8, SplitTest, ::testing::ValuesIn(withKind(CodePage::Kind::Utf8)));
INSTANTIATE_TEST_SUITE_P(Gbk, SplitTest, ::testing::ValuesIn(withKind(CodePage::Kind::DoubleByte)));
INSTANTIATE_TEST_SUITE_P(
    GbkTrailBytes, SplitTest,
    ::testing::Values(
        std::pair{CodePage::Kind::DoubleByte, SplitCase{"trail 0x2F in name", "/m/\xB8\x2F.mp3",
                                                        "/m/", "\xB8\x2F.mp3", ".mp3"}},
        std::pair{CodePage::Kind::DoubleByte,
                  SplitCase{"trail 0x2F ends path", "/m/a\xB8\x2F", "/m/", "a\xB8\x2F", ""}},
        std::pair{CodePage::Kind::DoubleByte,
                  SplitCase{"trail 0x2E is no dot", "/m/a\x81\x2E", "/m/", "a\x81\x2E", ""}},
        std::pair{CodePage::Kind::DoubleByte,
                  SplitCase{"lead byte then separator", "/\xD5\x5C/\xD5\xC5.mp3", "/\xD5\x5C/",
                            "\xD5\xC5.mp3", ".mp3"}}));

TEST(CodePage, LastDelimiterSkipsTrailBytesOnlyUnderDoubleByteRules) {
    // "\xD5\x5C" is a GBK character whose trail byte is a backslash.
    const std::string text = "D:\\m\\\xD5\x5C.mp3";
    EXPECT_EQ(paths::lastDelimiter(text, "\\:", CodePage::gbk()), 4u);
    EXPECT_EQ(paths::lastDelimiter(text, "\\:", CodePage::utf8()), 6u);
    EXPECT_EQ(paths::lastDelimiter("C:a.mp3", "\\:", CodePage::gbk()), 1u);
    EXPECT_EQ(paths::lastDelimiter("abc", "\\:", CodePage::gbk()), std::string::npos);
}

TEST(CodePage, ChosenFromTheLocaleCharsetName) {
    for (const char* name : {"GBK", "gb2312", "GB18030", "CP936", "EUC-CN"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(CodePage::fromCharsetName(name).kind(), CodePage::Kind::DoubleByte);
    }
    EXPECT_EQ(CodePage::fromCharsetName("UTF-8").kind(), CodePage::Kind::Utf8);
    EXPECT_EQ(CodePage::fromCharsetName("utf8").kind(), CodePage::Kind::Utf8);
    EXPECT_EQ(CodePage::fromCharsetName("ANSI_X3.4-1968").kind(), CodePage::Kind::SingleByte);
    EXPECT_EQ(CodePage::fromCharsetName("ISO-8859-1").kind(), CodePage::Kind::SingleByte);
}

TEST(CodePage, LeadBytesAndTables) {
    const CodePage gbk = CodePage::gbk();
    EXPECT_FALSE(gbk.isLeadByte(0x80));
    EXPECT_TRUE(gbk.isLeadByte(0x81));
    EXPECT_TRUE(gbk.isLeadByte(0xFE));
    EXPECT_FALSE(gbk.isLeadByte(0xFF));
    EXPECT_FALSE(gbk.isLeadByte('\\'));
    for (unsigned b = 0; b < 256; ++b) EXPECT_FALSE(CodePage::utf8().isLeadByte(b)) << b;

    EXPECT_EQ(gbk.lowered("ABC.Mp3"), "abc.mp3");
    EXPECT_EQ(gbk.lowered("\xC4\xE3"), "\xC4\xE3");  // bytes >= 0x80 are left alone
    EXPECT_TRUE(gbk.isAlphaNumeric('a'));
    EXPECT_TRUE(gbk.isAlphaNumeric('7'));
    EXPECT_FALSE(gbk.isAlphaNumeric(' '));
    EXPECT_FALSE(gbk.isAlphaNumeric('.'));
    EXPECT_TRUE(gbk.isAlphaNumeric(0xC4));  // part of a Chinese character, not a delimiter
    EXPECT_FALSE(CodePage::singleByte().isAlphaNumeric(0xC4));
}

TEST(Paths, NameFolderBaseName) {
    const CodePage gbk = CodePage::gbk();
    EXPECT_EQ(paths::baseName("/x/song.mp3", gbk), "song");
    EXPECT_EQ(paths::baseName("/x/my.song.mp3", gbk), "my.song");
    EXPECT_EQ(paths::baseName("/x/song", gbk), "song");
    EXPECT_EQ(paths::baseName("/x.y/song", gbk), "song");
    EXPECT_EQ(paths::fileName("/x/song.mp3", gbk), "song.mp3");
    EXPECT_EQ(paths::folder("/x/song.mp3", gbk), "/x/");
}

TEST(Paths, TrailingSeparatorIsExactlyOne) {
    EXPECT_EQ(paths::withTrailingSeparator("/music"), "/music/");
    EXPECT_EQ(paths::withTrailingSeparator("/music/"), "/music/");
    EXPECT_EQ(paths::withTrailingSeparator("/music//"), "/music/");
    EXPECT_EQ(paths::withTrailingSeparator("/"), "/");
    EXPECT_EQ(paths::withTrailingSeparator(""), "");
}

}  // namespace
