// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "lyrics/lrc.h"
#include "platform/code_page.h"
#include "platform/paths.h"

using platform::CodePage;

namespace {

const std::string S(1, platform::paths::kSeparator);

struct PathCase {
    const char* label;
    std::string track;
    std::string baseName;
    std::string lyricFile;
    CodePage cp = CodePage::utf8();
};

class LyricPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(LyricPathTest, LiesBesideTheTrackUnderItsBaseName) {
    const PathCase& c = GetParam();
    SCOPED_TRACE(c.label);
    const std::string base = lyrics::lrcBaseName(c.track, c.cp);
    EXPECT_EQ(base, c.baseName);
    EXPECT_EQ(lyrics::lyricPath(c.track, base, c.cp), c.lyricFile);
}

INSTANTIATE_TEST_SUITE_P(
    Tracks, LyricPathTest,
    ::testing::Values(
        PathCase{"plain", S + "x" + S + "song.mp3", "song", S + "x" + S + "song.lrc"},
        PathCase{"no extension", S + "x" + S + "song", "song", S + "x" + S + "song.lrc"},
        PathCase{"several dots", S + "x" + S + "a.b.c.mp3", "a.b.c", S + "x" + S + "a.b.c.lrc"},
        PathCase{"dot in the folder only", S + "x.d" + S + "song", "song",
                 S + "x.d" + S + "song.lrc"},
        PathCase{"no folder", "song.wma", "song", "song.lrc"},
        PathCase{"name is only an extension", S + "x" + S + ".mp3", "", S + "x" + S + ".lrc"},
        PathCase{"upper-case extension", S + "x" + S + "Song.MP3", "Song",
                 S + "x" + S + "Song.lrc"},
        // GBK: a trail byte equal to '.' or '/' is neither a dot nor a separator.
        PathCase{"gbk trail dot", S + "m" + S + "a\x81\x2E", "a\x81\x2E",
                 S + "m" + S + "a\x81\x2E.lrc", CodePage::gbk()},
        PathCase{"gbk trail slash", "/m/\xB8\x2F.mp3", "\xB8\x2F", "/m/\xB8\x2F.lrc",
                 CodePage::gbk()},
        PathCase{"gbk name", S + "\xD2\xF4\xC0\xD6" + S + "\xB8\xE8.mp3", "\xB8\xE8",
                 S + "\xD2\xF4\xC0\xD6" + S + "\xB8\xE8.lrc", CodePage::gbk()}));

struct MatchCase {
    const char* label;
    std::vector<std::string> lines;
    std::string elapsed;
    std::optional<std::size_t> expected;
};

class MatchingLineTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(MatchingLineTest, FirstLineWhoseStampEqualsTheElapsedText) {
    const MatchCase& c = GetParam();
    SCOPED_TRACE(c.label);
    EXPECT_EQ(lyrics::matchingLine(c.lines, c.elapsed), c.expected);
}

const std::vector<std::string> kSong{"[ti:Title]",
                                     "[ar:Singer]",
                                     "[00:01.00]one",
                                     "[00:05.50]five",
                                     "[00:05.90]five again",
                                     "[00:10.00][00:20.00]twice",
                                     "[1:05.50]short minute",
                                     " [00:30.00]leading blank",
                                     "",
                                     "[00:",
                                     "[99:59.99]last"};

INSTANTIATE_TEST_SUITE_P(
    Stamps, MatchingLineTest,
    ::testing::Values(MatchCase{"same stamp, hundredths ignored: the first wins", kSong, "00:05",
                                3},
                      MatchCase{"first tag of two", kSong, "00:10", 5},
                      MatchCase{"second tag of two never", kSong, "00:20", std::nullopt},
                      MatchCase{"one-digit minute never", kSong, "01:05", std::nullopt},
                      MatchCase{"one-digit minute, its own bytes", kSong, "1:05.", 6},
                      MatchCase{"leading blank never", kSong, "00:30", std::nullopt},
                      MatchCase{"a tag line is compared by its bytes", kSong, "ti:Ti", 0},
                      MatchCase{"short line gives a short stamp", kSong, "00:", 9},
                      MatchCase{"no stamp equal", kSong, "00:02", std::nullopt},
                      MatchCase{"late line", kSong, "99:59", 10},
                      MatchCase{"not in time order", {"[00:09.00]b", "[00:03.00]a"}, "00:03", 1},
                      MatchCase{"no lines", {}, "00:00", std::nullopt},
                      MatchCase{"byte for byte, not by value", {"[00:5.00]"}, "00:5.", 0}));

TEST(TimeStamp, IsBytesTwoToSixOrWhatThereIs) {
    const struct {
        std::string line;
        std::string stamp;
    } cases[] = {{"[01:23.45]x", "01:23"},
                 {"[01:2", "01:2"},
                 {"[", ""},
                 {"", ""},
                 {"x\xB8\xE8:00.0", "\xB8\xE8:00"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(lyrics::timeStamp(c.line), c.stamp);
    }
}

// Lyric files in the wild: GBK, GB18030, Big5, UTF-8 with or without a byte-order mark.
TEST(LyricTextEncoding, FollowsTheFileWhereTheSystemCodePageCannotBeRight) {
    const CodePage gbk = CodePage::gbk();
    const CodePage utf8 = CodePage::utf8();
    const std::string gbkLine = "[00:01.00]\xC4\xE3\xBA\xC3\x9C\x5C";           // 你好淺
    const std::string utf8Line = "[00:01.00]\xE4\xBD\xA0\xE5\xA5\xBD";          // 你好
    const std::string big5Line = "[00:01.00]\xA4\xEB\xAB\x47\xA5\x4E\xAA\xED";  // 月亮代表
    const std::string bom = "\xEF\xBB\xBF";
    const struct {
        const char* label;
        const CodePage& system;
        std::string file;
        const char* charset;
    } cases[] = {
        {"GBK file on a UTF-8 system", utf8, gbkLine, "GB18030"},
        {"Big5 file on a UTF-8 system", utf8, big5Line, "BIG5-HKSCS"},
        {"UTF-8 file on a UTF-8 system", utf8, utf8Line, "UTF-8"},
        {"UTF-8 file with a mark on a UTF-8 system", utf8, bom + utf8Line, "UTF-8"},
        {"only the text before a NUL counts", utf8, utf8Line + '\0' + "\xC4", "UTF-8"},
        {"UTF-8 file with a mark on a GBK system", gbk, bom + utf8Line, "UTF-8"},
        {"GBK file on a GBK system", gbk, gbkLine, "GBK"},
        {"UTF-8 file without a mark on a GBK system stays GBK", gbk, utf8Line, "GBK"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(lyrics::lyricTextEncoding(c.file, c.system).charset(), c.charset);
    }
    EXPECT_EQ(lyrics::lyricTextEncoding(gbkLine, utf8).toDisplay(gbkLine),
              QStringLiteral(u"[00:01.00]你好淺"));
}

}  // namespace
