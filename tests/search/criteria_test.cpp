// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <fstream>
#include <random>
#include <string>

#include "search/criteria.h"
#include "search/file_finder.h"
#include "search/wildcards.h"

using namespace search;

namespace {

// ---- wildcard matchers and exclusion patterns

struct MatchCase {
    const char* text;
    const char* pattern;
    bool matches;
};

class WildcardMatchTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(WildcardMatchTest, Matches) {
    const MatchCase& c = GetParam();
    SCOPED_TRACE(std::string("'") + c.text + "' ~ '" + c.pattern + "'");
    EXPECT_EQ(wildcardMatch(c.text, c.pattern), c.matches);
}

INSTANTIATE_TEST_SUITE_P(
    StarAndQuestionMark, WildcardMatchTest,
    ::testing::Values(MatchCase{"", "*", true}, MatchCase{"anything", "*", true},
                      // A star matches at once, whatever follows it.
                      MatchCase{"abc", "a*x", true}, MatchCase{"bxc", "a*x", false},
                      MatchCase{"", "?", true}, MatchCase{"a", "?", true},
                      MatchCase{"ab", "?", false}, MatchCase{"ab", "a??", true},
                      MatchCase{"ab", "a?c", false}, MatchCase{"ABC", "abc", true},
                      MatchCase{"abc", "ab", false}, MatchCase{"ab", "abc", false},
                      MatchCase{"", "", true}, MatchCase{"a", "", false},
                      MatchCase{"mp3", "MP?", true}));

struct MaskCase {
    const char* name;
    const char* mask;
    bool matches;
};

class FileNameMaskTest : public ::testing::TestWithParam<MaskCase> {};

TEST_P(FileNameMaskTest, MatchesBaseAndExtension) {
    const MaskCase& c = GetParam();
    SCOPED_TRACE(std::string(c.name) + " ~ " + c.mask);
    EXPECT_EQ(fileNameMatchesMask(c.name, c.mask), c.matches);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, FileNameMaskTest,
    ::testing::Values(MaskCase{"song.mp3", "*.mp3", true}, MaskCase{"song.MP3", "*.mp3", true},
                      MaskCase{"song.wma", "*.mp3", false}, MaskCase{"noext", "*.*", true},
                      MaskCase{"a.b.mp3", "*.*", true}, MaskCase{"song.mp3", "song", true},
                      MaskCase{"song.mp3", "so*", true}, MaskCase{"other.mp3", "so*", false},
                      MaskCase{"noext", "*.", true}, MaskCase{"x.mp3", "*.", false},
                      MaskCase{"a.b.mp3", "a.b.*", true}, MaskCase{"a.c.mp3", "a.b.*", false}));

struct ExcludeCase {
    const char* label;
    const char* folder;
    const char* name;
    const char* pattern;
    bool windows;
    bool excluded;
};

class PatternExcludesTest : public ::testing::TestWithParam<ExcludeCase> {};

TEST_P(PatternExcludesTest, Excludes) {
    const ExcludeCase& c = GetParam();
    SCOPED_TRACE(c.label);
    const PathSyntax& syntax = c.windows ? PathSyntax::windows() : PathSyntax::native();
    EXPECT_EQ(patternExcludes(c.folder, c.name, c.pattern, syntax), c.excluded);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, PatternExcludesTest,
    ::testing::Values(
        ExcludeCase{"mask only, any folder", "/music/a/", "x.mp3", "*.mp3", false, true},
        ExcludeCase{"mask only, other type", "/music/a/", "x.wma", "*.mp3", false, false},
        ExcludeCase{"folder only", "/music/live/", "x.wma", "live/", false, true},
        ExcludeCase{"folder tail is text", "/music/alive/", "x.wma", "live/", false, true},
        ExcludeCase{"anchored folder", "/music/alive/", "x.wma", "/live/", false, false},
        ExcludeCase{"anchored folder hit", "/music/live/", "x.wma", "/live/", false, true},
        ExcludeCase{"root pattern", "/music/live/", "x.mp3", "/music/live/*.mp3", false, true},
        ExcludeCase{"root pattern, other root", "/other/live/", "x.mp3", "/music/live/*.mp3", false,
                    false},
        ExcludeCase{"folder case ignored", "/Music/LIVE/", "x.mp3", "live/", false, true},
        ExcludeCase{"folder part and mask", "/m/live/", "x.wma", "live/*.mp3", false, false},
        ExcludeCase{"longer than folder", "/a/", "x", "/long/a/", false, false},
        ExcludeCase{"drive and folder", "C:\\music\\live\\", "x.mp3", "c:\\live\\", true, true},
        ExcludeCase{"other drive", "D:\\music\\live\\", "x.mp3", "c:\\live\\", true, false},
        ExcludeCase{"any drive", "D:\\music\\live\\", "x.mp3", "*:\\live\\*.mp3", true, true},
        ExcludeCase{"drive only", "D:\\x\\", "y.mp3", "d:", true, true},
        ExcludeCase{"network share", "\\\\srv\\music\\live\\", "x.mp3", "\\\\srv\\mu*\\live\\",
                    true, true},
        ExcludeCase{"network, other share", "\\\\srv\\films\\live\\", "x.mp3",
                    "\\\\srv\\mu*\\live\\", true, false},
        ExcludeCase{"drive pattern, folder without drive", "\\\\srv\\m\\", "x", "c:\\", true,
                    false},
        ExcludeCase{"empty pattern", "/m/", "x.mp3", "", false, true}));

// ---- size, attributes, time stamps

TEST(SizeCriteria, BoundsAreInclusiveAndZeroMeansNone) {
    SizeCriteria c;
    const std::int64_t size = 1LL * 4294967296LL + 1073741824LL;  // high 1, low 2^30
    EXPECT_EQ(size, 5368709120LL);
    EXPECT_TRUE(c.matches(size));
    EXPECT_TRUE(c.matches(0));
    c.setMin(size);
    EXPECT_TRUE(c.matches(size));
    EXPECT_FALSE(c.matches(size - 1));
    c.setMax(size);
    EXPECT_TRUE(c.matches(size));
    EXPECT_FALSE(c.matches(size + 1));
    c.setMin(0);
    EXPECT_TRUE(c.matches(1));
}

TEST(AttributeCriteria, DefaultsAcceptFilesNotFolders) {
    AttributeCriteria c;
    EXPECT_EQ(c.bits(), 0x27u);
    EXPECT_EQ(c.attributes(), (FileAttributes{FileAttribute::Archive, FileAttribute::Readonly,
                                              FileAttribute::Hidden, FileAttribute::System}));
    const std::uint32_t hiddenReadOnly = 0x20 | 0x02 | 0x01;
    EXPECT_TRUE(c.matches(hiddenReadOnly));
    EXPECT_TRUE(c.matches(0x20 | 0x400 | 0x800));  // bits outside the five are not looked at
    EXPECT_FALSE(c.matches(0x10));
    c.setExactMatch(true);
    EXPECT_FALSE(c.matches(hiddenReadOnly));
    EXPECT_TRUE(c.matches(0x27 | 0x100));
    c.setAttributes({FileAttribute::Directory});
    EXPECT_EQ(c.bits(), 0x10u);
    EXPECT_TRUE(c.matches(0x10));
}

TEST(AttributeCriteriaEx, EachPropertyOwnsOneBitInOneMask) {
    ExtendedAttributeCriteria c;
    EXPECT_TRUE(c.matches(0xFFFFFFFF));
    EXPECT_TRUE(c.matches(0));
    c.setHidden(AttributeStatus::Set);
    c.setCompressed(AttributeStatus::Unset);
    EXPECT_EQ(c.hidden(), AttributeStatus::Set);
    EXPECT_EQ(c.compressed(), AttributeStatus::Unset);
    EXPECT_EQ(c.archive(), AttributeStatus::Ignore);
    EXPECT_TRUE(c.matches(0x02 | 0x20));
    EXPECT_FALSE(c.matches(0x20));
    EXPECT_FALSE(c.matches(0x02 | 0x800));
    c.setHidden(AttributeStatus::Unset);  // moves the bit from one mask to the other
    EXPECT_EQ(c.mustBeSet(), 0u);
    EXPECT_EQ(c.mustBeClear(), 0x802u);
    c.setHidden(AttributeStatus::Ignore);
    c.setCompressed(AttributeStatus::Ignore);
    EXPECT_FALSE(c.isActive());
}

// The UTC file time of a local date and time.
platform::FileTime localFileTime(int y, int mo, int d, int h, int mi, int s) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    t.tm_isdst = -1;
    return platform::toFileTime(std::mktime(&t), 0);
}

TEST(DateTimeCriteria, LocalTimeAndTheThreeKindsOfBound) {
    EXPECT_EQ(encodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(encodeDate(2000, 1, 1), 36526.0);
    const platform::FileTime evening = localFileTime(2020, 5, 17, 18, 30, 0);
    EXPECT_DOUBLE_EQ(fileTimeToLocalDateTime(evening),
                     encodeDate(2020, 5, 17) + encodeTime(18, 30, 0, 0));

    struct Case {
        const char* label;
        DateTime before;
        DateTime after;
        bool matches;
    };
    const Case cases[] = {
        {"no bounds", 0, 0, true},
        {"date-only before-bound takes the whole day", encodeDate(2020, 5, 17), 0, true},
        {"before the day", encodeDate(2020, 5, 16), 0, false},
        {"date and time before", encodeDate(2020, 5, 17) + encodeTime(18, 0, 0, 0), 0, false},
        {"time-only after-bound on any date", 0, encodeTime(18, 0, 0, 0), true},
        {"time-only after-bound later in the day", 0, encodeTime(19, 0, 0, 0), false},
        {"time-only before-bound", encodeTime(18, 30, 0, 0), 0, true},
        {"date-only after-bound, same day", 0, encodeDate(2020, 5, 17), true},
        {"date-only after-bound, next day", 0, encodeDate(2020, 5, 18), false},
        {"both bounds around it", encodeDate(2020, 6, 1), encodeDate(2020, 5, 1), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        DateTimeCriteria created, modified, accessed;
        created.setCreatedBefore(c.before);
        created.setCreatedAfter(c.after);
        modified.setModifiedBefore(c.before);
        modified.setModifiedAfter(c.after);
        accessed.setAccessedBefore(c.before);
        accessed.setAccessedAfter(c.after);
        const platform::FileTime other = localFileTime(1999, 1, 1, 0, 0, 0);
        EXPECT_EQ(created.matches(evening, other, other), c.matches);
        EXPECT_EQ(modified.matches(other, evening, other), c.matches);
        EXPECT_EQ(accessed.matches(other, other, evening), c.matches);
    }
}

// ---- copying

TEST(CriteriaAssign, CopiesItsOwnClassAndRefusesOthers) {
    SizeCriteria a, b;
    a.setMin(5);
    a.setMax(9);
    b.assign(a);
    EXPECT_EQ(b.min(), 5);
    EXPECT_EQ(b.max(), 9);

    ContentCriteria from;
    from.setPhrase("HeLLo");
    from.setIgnoreCase(false);
    from.setWholeWord(true);
    ContentCriteria to;
    to.assign(from);
    EXPECT_EQ(to.phrase(), "HeLLo");
    EXPECT_EQ(to.searchPhrase(), "HeLLo");  // derived values follow the setters
    EXPECT_EQ(to.translationTable(), searchTables().identity.data());
    EXPECT_TRUE(to.wholeWord());

    AttributeCriteria attr;
    try {
        attr.assign(a);
        FAIL() << "no error";
    } catch (const ConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TSizeCriteria to a TAttributeCriteria");
    }
    SearchCriteria criteria;
    EXPECT_THROW(criteria.assign(attr), ConvertError);
    EXPECT_THROW(criteria.files().assign(nullptr), ConvertError);
    FileCriteria files;
    files.setFileName("*.mp3");
    files.excluded().push_back("x");
    criteria.setFiles(files);
    files.excluded().clear();
    EXPECT_EQ(criteria.files().excluded().size(), 1u);
    SearchCriteria copy;
    copy.assign(criteria);
    EXPECT_EQ(copy.files().fileName(), "*.mp3");
}

TEST(ContentCriteria, IgnoreCaseLowersThePhrase) {
    ContentCriteria c;
    EXPECT_TRUE(c.ignoreCase());
    EXPECT_EQ(c.phraseLength(), 0u);
    c.setPhrase("AbC");
    EXPECT_EQ(c.searchPhrase(), "abc");
    EXPECT_EQ(c.translationTable(), searchTables().lower.data());
    c.setIgnoreCase(false);
    EXPECT_EQ(c.searchPhrase(), "AbC");
    EXPECT_EQ(c.phraseLength(), 3u);
}

// ---- content

class ContentTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    std::string file(const std::string& name, const std::string& data) {
        const std::string path = dir_.path().toStdString() + "/" + name;
        std::ofstream(path, std::ios::binary) << data;
        return path;
    }
    static bool contains(const std::string& path, const std::string& phrase, bool wholeWord,
                         bool ignoreCase = true) {
        ContentCriteria c;
        c.setPhrase(phrase);
        c.setWholeWord(wholeWord);
        c.setIgnoreCase(ignoreCase);
        return c.matches(path);
    }
    QTemporaryDir dir_;
};

TEST_F(ContentTest, PhrasesAcrossBlocksAndAtTheEdges) {
    const std::size_t block = ContentCriteria::kBlockSize;
    struct Case {
        const char* label;
        std::string data;
        std::string phrase;
        bool wholeWord;
        bool found;
    };
    std::string straddle(block * 2, '.');
    straddle.replace(block - 3, 6, "NeEdLe");
    std::string atBlockEnd(block * 2, ' ');
    atBlockEnd.replace(block - 6, 6, "needle");
    std::string wordAtBlockEnd = atBlockEnd;
    wordAtBlockEnd[block] = 'x';  // glued to the next block's first byte
    std::string repeats(block * 3, 'a');
    repeats.replace(block - 2, 4, "aaab");  // "aa|ab" across the first boundary
    const Case cases[] = {
        {"straddles two blocks, case ignored", straddle, "needle", false, true},
        {"whole word at the start", "needle rest", "needle", true, true},
        {"whole word at the end", "rest needle", "needle", true, true},
        {"whole file is the word", "needle", "needle", true, true},
        {"part of a word", "needles", "needle", true, false},
        {"first fails, later counts", "needles needle", "needle", true, true},
        {"after a digit", "1needle", "needle", true, false},
        {"word ending a block", atBlockEnd, "needle", true, true},
        {"word glued across blocks", wordAtBlockEnd, "needle", true, false},
        {"overlapping partial matches", repeats, "aaab", false, true},
        {"phrase longer than file", "abc", "abcd", false, false},
        {"absent", std::string(block + 10, 'z'), "needle", false, false},
        {"empty file", "", "x", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(contains(file("f", c.data), c.phrase, c.wholeWord), c.found);
    }
    EXPECT_FALSE(contains(file("f", "NEEDLE"), "needle", false, false));
}

// Against a plain search of the lowered text, for phrases planted at every offset around
// the scan's vector widths and block ends, in text made of few letters (many near misses).
TEST_F(ContentTest, AgreesWithAPlainSearch) {
    std::mt19937 rng(7);
    const std::size_t sizes[] = {40, 100, ContentCriteria::kBlockSize + 77};
    for (const std::size_t size : sizes) {
        for (int round = 0; round < 40; ++round) {
            std::string data(size, 'a');
            for (char& c : data) c = "abAB .x"[rng() % 7];
            std::string phrase(1 + rng() % 14, 'a');
            for (char& c : phrase) c = "aAbB"[rng() % 4];
            if (round % 2 == 0) {
                const std::size_t at = rng() % (size - phrase.size() + 1);
                data.replace(at, phrase.size(), phrase);
            }
            const bool wholeWord = round % 3 == 0;
            std::string low = data, lowPhrase = phrase;
            for (char& c : low) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            for (char& c : lowPhrase) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            bool expected = false;
            for (std::size_t at = low.find(lowPhrase); at != std::string::npos && !expected;
                 at = low.find(lowPhrase, at + 1)) {
                auto delim = [&](std::size_t i) {
                    return !std::isalnum(static_cast<unsigned char>(low[i]));
                };
                expected = !wholeWord ||
                           ((at == 0 || delim(at - 1)) &&
                            (at + lowPhrase.size() == low.size() || delim(at + lowPhrase.size())));
            }
            SCOPED_TRACE(std::to_string(size) + " '" + phrase + "' whole word " +
                         std::to_string(wholeWord));
            EXPECT_EQ(contains(file("r", data), phrase, wholeWord), expected);
        }
    }
}

TEST_F(ContentTest, LongPhrases) {
    std::string phrase(ContentCriteria::kBlockSize + 10, 'q');
    phrase.back() = 'z';
    std::string data(ContentCriteria::kBlockSize + 100, 'q');
    data += 'z';
    EXPECT_TRUE(contains(file("long", data), phrase, false));
    data.back() = 'q';
    EXPECT_FALSE(contains(file("long", data), phrase, false));

    // Runs of near misses, where every position starts a match nearly as long as the phrase
    // (these once took minutes, checking each candidate byte by byte).
    const std::string run(1 << 20, 'a');
    const std::string almost = std::string(70000, 'a') + "b";
    EXPECT_FALSE(contains(file("run", run), almost, false));
    EXPECT_TRUE(contains(file("run", run + "B"), almost, false));
    EXPECT_FALSE(contains(file("run", run), std::string(70000, 'A'), true));
    const std::string word(65280, 'a');
    EXPECT_FALSE(contains(file("word", word + "bc"), word, true));
    EXPECT_TRUE(contains(file("word", word + "b " + word), word, true));        // the second one
    EXPECT_TRUE(contains(file("word", "x." + word), word, true));               // ends the file
    EXPECT_FALSE(contains(file("word", "x" + word + "."), word, true));         // glued before
    EXPECT_FALSE(contains(file("word", word + "A"), word + "a", true, false));  // case kept
}

TEST_F(ContentTest, UnreadableAndMissingFilesDoNotMatch) {
    ContentCriteria empty;
    EXPECT_TRUE(empty.matches(dir_.path().toStdString() + "/missing"));  // empty phrase
    EXPECT_FALSE(contains(dir_.path().toStdString() + "/missing", "x", false));
    const std::string locked = file("locked", "needle");
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    if (::geteuid() != 0) {
        EXPECT_FALSE(contains(locked, "needle", false));
    }
    EXPECT_FALSE(contains(dir_.path().toStdString(), "needle", false));  // a folder
    const std::string fifo = dir_.path().toStdString() + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_FALSE(contains(fifo, "needle", false));  // and does not hang
}

}  // namespace
