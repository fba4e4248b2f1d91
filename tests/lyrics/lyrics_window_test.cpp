// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <string>
#include <vector>

#include "lyrics/lyrics_window.h"
#include "platform/code_page.h"
#include "platform/paths.h"
#include "platform/text_file.h"

namespace {

using Lines = std::vector<std::string>;

const QString kNotFound1 = QStringLiteral(u"找不到歌词文件,请确保歌词文件与当前播放曲目同!");
const QString kNotFound2 = QStringLiteral(u"名且在同一目录下");

class LyricsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        folder_ = QFile::encodeName(dir_.path()).toStdString() + platform::paths::kSeparator;
        lyrics::LyricsWindow::setFadeDuration(0);
        form_.setElapsedTextSource([this] { return elapsed_; });
    }

    std::string track(const std::string& name) const { return folder_ + name; }
    void writeFile(const std::string& name, const std::string& bytes) const {
        platform::writeWholeFile(track(name), bytes);
    }

    // The bytes each row stands for: a lyric row's own bytes, or the shown text of any other.
    Lines rows() const {
        Lines out;
        for (int i = 0; i < form_.lyricsList->count(); ++i) {
            const QListWidgetItem* item = form_.lyricsList->item(i);
            const QVariant bytes = item->data(Qt::UserRole);
            out.push_back(bytes.isValid() ? bytes.toByteArray().toStdString()
                                          : item->text().toStdString());
        }
        return out;
    }
    void tick(const char* elapsed) {
        elapsed_ = QString::fromLatin1(elapsed);
        form_.followElapsedTime();
    }

    QTemporaryDir dir_;
    std::string folder_;
    QString elapsed_ = QStringLiteral("00:00");
    lyrics::LyricsWindow form_;
};

TEST_F(LyricsWindowTest, IsAHiddenToolWindowWithoutCaptionButtons) {
    EXPECT_TRUE(form_.isHidden());
    EXPECT_EQ(form_.windowTitle(), QStringLiteral(u"歌词秀"));
    const Qt::WindowFlags flags = form_.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    for (Qt::WindowType button : {Qt::WindowCloseButtonHint, Qt::WindowSystemMenuHint,
                                  Qt::WindowMinimizeButtonHint, Qt::WindowMaximizeButtonHint}) {
        EXPECT_FALSE(flags.testFlag(button)) << button;
    }
    EXPECT_EQ(form_.size(), QSize(295, 215));
    EXPECT_EQ(form_.lyricsList->objectName(), QStringLiteral("lst1"));
    EXPECT_EQ(form_.lyricsList->geometry(), QRect(0, 0, 297, 217));
    EXPECT_EQ(form_.lyricsList->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(form_.followTimer->objectName(), QStringLiteral("tmr1"));
    EXPECT_EQ(form_.followTimer->interval(), 500);
    EXPECT_FALSE(form_.followTimer->isActive());
    EXPECT_FALSE(form_.lyricLines.has_value());
}

struct TrackCase {
    const char* label;
    std::string track;
    std::string lyricFile;
    std::string baseName;
};

class LoadBesideTrackTest : public LyricsWindowTest,
                            public ::testing::WithParamInterface<TrackCase> {};

TEST_P(LoadBesideTrackTest, ShowsEveryLineOfTheFileNamedAfterTheTrack) {
    const TrackCase& c = GetParam();
    const std::string text = "[ti:Song]\r\n[ar:Singer]\r\n[00:01.00]one\r\n[00:02.00]two\r\n";
    writeFile(c.lyricFile, text);
    writeFile("decoy.lrc", "[00:01.00]wrong file\n");

    form_.loadLyrics(track(c.track));

    const Lines expected{"[ti:Song]", "[ar:Singer]", "[00:01.00]one", "[00:02.00]two"};
    EXPECT_EQ(rows(), expected);
    ASSERT_TRUE(form_.lyricLines.has_value());
    EXPECT_EQ(*form_.lyricLines, expected);
    EXPECT_EQ(form_.trackBaseName, c.baseName);
    EXPECT_TRUE(form_.followTimer->isActive());
}

INSTANTIATE_TEST_SUITE_P(Tracks, LoadBesideTrackTest,
                         ::testing::Values(TrackCase{"mp3", "song.mp3", "song.lrc", "song"},
                                           TrackCase{"no extension", "song", "song.lrc", "song"},
                                           TrackCase{"several dots", "a.b.c.mp3", "a.b.c.lrc",
                                                     "a.b.c"},
                                           TrackCase{"wma", "live.wma", "live.lrc", "live"},
                                           TrackCase{"chinese name", "歌.mp3", "歌.lrc", "歌"}),
                         [](const auto& p) {
                             std::string name = p.param.label;
                             for (char& ch : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             }
                             return name;
                         });

TEST_F(LyricsWindowTest, SplitsTheFileIntoRowsAsTheLineSplitterDoes) {
    const struct {
        const char* label;
        std::string bytes;
        Lines lines;
    } cases[] = {
        {"CR LF, lone CR, lone LF", "a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"a break at the end adds no row", "a\n", {"a"}},
        {"empty lines in the middle are rows", "a\n\n\r\nb", {"a", "", "", "b"}},
        {"NUL ends the text",
         std::string("[00:01.00]a\n[00:02.00]b\0c\nd", 27),
         {"[00:01.00]a", "[00:02.00]b"}},
        {"UTF-8 byte-order mark dropped", "\xEF\xBB\xBF[00:01.00]a\n", {"[00:01.00]a"}},
        {"GBK bytes kept as they are",
         "[00:01.00]\xB8\xE8\xB4\xCA\n",
         {"[00:01.00]\xB8\xE8\xB4\xCA"}},
        {"empty file", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        writeFile("song.lrc", c.bytes);
        form_.lyricsList->clear();
        form_.loadLyrics(track("song.mp3"));
        EXPECT_EQ(rows(), c.lines);
        ASSERT_TRUE(form_.lyricLines.has_value());
        EXPECT_EQ(*form_.lyricLines, c.lines);
        EXPECT_TRUE(form_.followTimer->isActive());
    }
}

TEST_F(LyricsWindowTest, ByteOrderMarkNoLongerHidesTheFirstStamp) {
    writeFile("song.lrc", "\xEF\xBB\xBF[00:03.00]first\n[00:04.00]second\n");
    form_.loadLyrics(track("song.mp3"));
    tick("00:03");
    EXPECT_EQ(form_.lyricsList->currentRow(), 0);
}

// The rows show the file's text whatever set it is in, keep its bytes, and follow the time on
// them: a GBK file (with trail bytes 0x5C) where the system shows UTF-8, and a UTF-8 one.
TEST_F(LyricsWindowTest, ShowsGbkAndUtf8FilesAsChineseAndFollowsThem) {
    ASSERT_EQ(platform::CodePage::active().charset(), "UTF-8") << "run under a UTF-8 locale";
    const struct {
        const char* name;
        std::string bytes;
    } files[] = {{"gbk.lrc", "[ti:\xB8\xE8]\r\n[00:03.00]\x9C\x5C\x87\x5C\r\n"},
                 {"utf8.lrc", "[ti:\xE6\xAD\x8C]\n[00:03.00]\xE6\xB7\xBA\xE5\x98\xB0\n"}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        writeFile(f.name, f.bytes);
        form_.lyricsList->clear();
        form_.loadLyrics(track(std::string(f.name, std::strlen(f.name) - 4) + ".mp3"));
        ASSERT_EQ(form_.lyricsList->count(), 2);
        EXPECT_EQ(form_.lyricsList->item(0)->text(), QStringLiteral(u"[ti:歌]"));
        EXPECT_EQ(form_.lyricsList->item(1)->text(), QStringLiteral(u"[00:03.00]淺嘰"));
        EXPECT_EQ(rows(), platform::splitLines(f.bytes));
        tick("00:03");
        EXPECT_EQ(form_.lyricsList->currentRow(), 1);
    }
}

TEST_F(LyricsWindowTest, MissingFileAppendsExactlyTwoRowsAfterEarlierOnes) {
    form_.lyricsList->addItem(QStringLiteral("earlier"));
    form_.loadLyrics(track("nothing.mp3"));

    EXPECT_EQ(rows(), (Lines{"earlier", kNotFound1.toStdString(), kNotFound2.toStdString()}));
    ASSERT_TRUE(form_.lyricLines.has_value());
    EXPECT_TRUE(form_.lyricLines->empty());
    EXPECT_EQ(form_.trackBaseName, "nothing");
    EXPECT_FALSE(form_.followTimer->isActive());
}

TEST_F(LyricsWindowTest, UnreadableLyricFileReadsAsMissing) {
    // A folder where the file should be cannot be read as one.
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("song.lrc")));
    form_.loadLyrics(track("song.mp3"));
    EXPECT_EQ(rows(), (Lines{kNotFound1.toStdString(), kNotFound2.toStdString()}));
    EXPECT_FALSE(form_.followTimer->isActive());
}

// Megabytes of empty lines are no lyrics: one row per line held the window for seconds and
// took gigabytes. Too many lines or bytes say so in two rows; the most a lyric file may hold
// still loads whole.
TEST_F(LyricsWindowTest, FilesTooLargeForLyricsSaySoInsteadOfLoading) {
    const Lines tooLarge = {QStringLiteral(u"歌词文件过大(超过1MB或5000行),").toStdString(),
                            QStringLiteral(u"不是有效的歌词文件,未显示").toStdString()};
    std::string most;
    for (int i = 0; i < 5000; ++i) most += "[00:01.00]x\r\n";
    const struct {
        const char* name;
        std::string bytes;
        bool loads;
    } files[] = {{"lf", std::string(16 << 10, '\n'), false},
                 {"cr", "\r\n" + std::string(2 * 5000, '\r'), false},
                 {"most", most, true},
                 {"bytes", std::string((1 << 20) + 1, 'x'), false}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        writeFile(std::string(f.name) + ".lrc", f.bytes);
        form_.lyricsList->clear();
        form_.loadLyrics(track(std::string(f.name) + ".mp3"));
        if (f.loads) {
            EXPECT_EQ(form_.lyricsList->count(), 5000);
        } else {
            EXPECT_EQ(rows(), tooLarge);
            EXPECT_TRUE(form_.lyricLines->empty());
        }
    }
}

// A line of a megabyte (a file within the limits) loads and is followed whole, but its row
// shows its first 500 characters and an ellipsis: laying out all of it held the window a second.
TEST_F(LyricsWindowTest, AVeryLongLineIsCutForDisplayOnly) {
    const std::string ascii = "[00:01.00]" + std::string((1 << 20) - 12, 'x');
    std::string gbk = "[00:01.00]";
    while (gbk.size() + 2 <= (1 << 20) - 2) gbk += "\xB8\xE8";  // 歌
    for (const std::string& line : {ascii, gbk}) {
        SCOPED_TRACE(line == ascii ? "ASCII" : "GBK");
        writeFile("long.lrc", line + "\r\n");
        form_.lyricsList->clear();
        form_.loadLyrics(track("long.mp3"));
        ASSERT_EQ(rows(), Lines{line});
        const QString shown = form_.lyricsList->item(0)->text();
        EXPECT_EQ(shown.size(), 501);
        EXPECT_TRUE(shown.startsWith(QLatin1String("[00:01.00]")));
        EXPECT_EQ(shown[499], line == ascii ? QChar(u'x') : QChar(u'歌'));
        EXPECT_EQ(shown[500], QChar(0x2026));
        tick("00:01");
        EXPECT_EQ(form_.lyricsList->currentRow(), 0);
    }
}

TEST_F(LyricsWindowTest, FailedLoadLeavesARunningTimerRunning) {
    writeFile("song.lrc", "[00:01.00]a\n");
    form_.loadLyrics(track("song.mp3"));
    ASSERT_TRUE(form_.followTimer->isActive());

    form_.lyricsList->clear();
    form_.loadLyrics(track("other.mp3"));
    EXPECT_TRUE(form_.followTimer->isActive());
    EXPECT_TRUE(form_.lyricLines->empty());
    // The old lines are gone: nothing matches any more, the selection stays as it is.
    form_.lyricsList->setCurrentRow(1);
    tick("00:01");
    EXPECT_EQ(form_.lyricsList->currentRow(), 1);
}

TEST_F(LyricsWindowTest, EmptyPathOnlyReplacesTheLines) {
    writeFile("song.lrc", "[00:01.00]a\n[00:02.00]b\n");
    form_.loadLyrics(track("song.mp3"));

    form_.loadLyrics("");

    ASSERT_TRUE(form_.lyricLines.has_value());
    EXPECT_TRUE(form_.lyricLines->empty());
    EXPECT_EQ(rows(), (Lines{"[00:01.00]a", "[00:02.00]b"}));
    EXPECT_EQ(form_.trackBaseName, "song");
    EXPECT_TRUE(form_.followTimer->isActive());
}

TEST_F(LyricsWindowTest, SelectsTheFirstMatchingRowAndKeepsItUntilAnotherMatches) {
    writeFile("song.lrc",
              "[ti:Song]\n[00:05.50]five\n[00:05.90]five again\n[1:05.50]short minute\n"
              " [00:07.00]leading blank\n[00:08.00][00:09.00]two tags\n");
    form_.loadLyrics(track("song.mp3"));
    ASSERT_EQ(form_.lyricsList->currentRow(), -1);

    const struct {
        const char* elapsed;
        int row;
    } steps[] = {
        {"00:04", -1},  // nothing matches yet: no selection
        {"00:05", 1},   // [00:05.50], not the later [00:05.90]
        {"00:05", 1},   // the second tick of the same second
        {"00:06", 1},   // between stamps the last row stays
        {"01:05", 1},   // a one-digit minute never matches
        {"00:07", 1},   // nor a line with a blank before its bracket
        {"00:08", 5},   // the first of two tags
        {"00:09", 5},   // the second tag never matches
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.elapsed);
        tick(s.elapsed);
        EXPECT_EQ(form_.lyricsList->currentRow(), s.row);
    }

    // A row the user clicks stays until the next match overrides it.
    form_.lyricsList->setCurrentRow(0);
    tick("00:10");
    EXPECT_EQ(form_.lyricsList->currentRow(), 0);
    tick("00:05");
    EXPECT_EQ(form_.lyricsList->currentRow(), 1);
}

TEST_F(LyricsWindowTest, TimerTicksFollowThePanelTextAndScrollTheRowIntoView) {
    std::string text;
    for (int s = 0; s < 60; ++s) {
        text += "[00:" + std::string(s < 10 ? "0" : "") + std::to_string(s) + ".00]line\n";
    }
    writeFile("song.lrc", text);
    form_.show();
    form_.loadLyrics(track("song.mp3"));
    elapsed_ = QStringLiteral("00:55");

    ASSERT_TRUE(QTest::qWaitFor([&] { return form_.lyricsList->currentRow() == 55; }, 10000));
    const QRect shown = form_.lyricsList->viewport()->rect();
    EXPECT_TRUE(shown.contains(form_.lyricsList->visualItemRect(form_.lyricsList->item(55))));
}

TEST_F(LyricsWindowTest, RowsAndLinesLineUpByIndexOnly) {
    // Rows that were there before the load shift the lyric rows down; the highlight still uses
    // the line's index, as callers that clear the list first never notice.
    form_.lyricsList->addItem(QStringLiteral("x"));
    form_.lyricsList->addItem(QStringLiteral("y"));
    writeFile("song.lrc", "[00:01.00]a\n[00:02.00]b\n");
    form_.loadLyrics(track("song.mp3"));
    tick("00:02");
    EXPECT_EQ(form_.lyricsList->currentRow(), 1);
    EXPECT_EQ(form_.lyricsList->currentItem()->text(), QStringLiteral("y"));
}

TEST_F(LyricsWindowTest, StandsAgainstTheMainWindowEachTimeItIsShown) {
    QWidget main;
    main.setGeometry(120, 80, 362, 344);
    main.show();
    form_.setMainWindow(&main);

    form_.show();
    ASSERT_TRUE(form_.isVisible());
    const QRect m = main.frameGeometry();
    EXPECT_EQ(form_.frameGeometry().topLeft(), QPoint(m.x() + m.width(), m.y()));

    // It does not follow later moves of the main window...
    main.move(300, 200);
    QCoreApplication::processEvents();
    EXPECT_EQ(form_.frameGeometry().topLeft(), QPoint(m.x() + m.width(), m.y()));
    // ...nor a show of an already shown window...
    form_.show();
    EXPECT_EQ(form_.frameGeometry().topLeft(), QPoint(m.x() + m.width(), m.y()));

    // ...but the next time it is shown.
    form_.close();
    form_.show();
    const QRect moved = main.frameGeometry();
    EXPECT_EQ(form_.frameGeometry().topLeft(), QPoint(moved.x() + moved.width(), moved.y()));
}

TEST_F(LyricsWindowTest, CloseStopsFollowingReleasesTheLinesAndHides) {
    writeFile("song.lrc", "[00:01.00]a\n");
    form_.show();
    form_.loadLyrics(track("song.mp3"));

    EXPECT_TRUE(form_.close());
    EXPECT_FALSE(form_.isVisible());
    EXPECT_FALSE(form_.followTimer->isActive());
    EXPECT_EQ(form_.lyricsList->count(), 0);
    EXPECT_FALSE(form_.lyricLines.has_value());

    // Shown again while nothing plays, and closed again: nothing left to release.
    form_.show();
    EXPECT_EQ(form_.lyricsList->count(), 0);
    EXPECT_TRUE(form_.close());
    EXPECT_FALSE(form_.isVisible());
    EXPECT_FALSE(form_.lyricLines.has_value());

    // A tick that the timer had queued before the close finds no lines and changes nothing.
    form_.followElapsedTime();
    EXPECT_EQ(form_.lyricsList->currentRow(), -1);
}

TEST_F(LyricsWindowTest, FadesInAndOutAndReturnsWhenTheFadeHasEnded) {
    lyrics::LyricsWindow::setFadeDuration(200);
    // Sampled from the event loop while the fade holds the caller.
    std::vector<double> seen;
    QTimer sampler;
    sampler.setInterval(0);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (form_.isVisible()) seen.push_back(form_.windowOpacity());
    });
    sampler.start();

    form_.show();
    EXPECT_TRUE(form_.isVisible());
    EXPECT_DOUBLE_EQ(form_.windowOpacity(), 1.0);
    ASSERT_FALSE(seen.empty());
    EXPECT_LT(seen.front(), 0.5);

    seen.clear();
    EXPECT_TRUE(form_.close());
    EXPECT_FALSE(form_.isVisible());
    ASSERT_FALSE(seen.empty());
    EXPECT_GT(seen.front(), 0.5);
    EXPECT_LT(seen.back(), 1.0);
    lyrics::LyricsWindow::setFadeDuration(0);
}

}  // namespace
