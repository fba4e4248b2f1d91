// SPDX-License-Identifier: GPL-3.0-or-later
// Chinese names and lyrics from Chinese Windows systems: files named in GBK bytes, some with 0x5C
// ("\") as a second byte, go through the real windows, and what each shows is compared with the
// Chinese the bytes stand for. Built twice: under zh_CN.GBK (as a Chinese desktop of the
// design's kind has it) and under zh_CN.UTF-8 (as almost every Chinese Linux desktop has it).
//
// The process puts itself under LC_ALL=VORELA_TEST_LOCALE, with LOCPATH at the locales the test
// set-up built (make_gbk_locale.sh), before main() sets the locale; without that locale every
// test skips and says why.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStringList>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include <memory>
#include <string>
#include <vector>

#include "lyrics/lyrics_window.h"
#include "main_window/status_bar.h"
#include "main_window/window_fixture.h"
#include "platform/code_page.h"
#include "platform/file_dialogs.h"
#include "platform/message_box.h"
#include "platform/text_file.h"
#include "search/folder_tree.h"
#include "search/result_list.h"
#include "search/search_dialog.h"

namespace {

// Before main(): the shared test main's setlocale and the code page both read the environment.
const bool kUnderGbkLocale = [] {
    ::setenv("LOCPATH", VORELA_GBK_LOCALES, 1);
    ::setenv("LC_ALL", VORELA_TEST_LOCALE, 1);
    ::setenv("LANG", VORELA_TEST_LOCALE, 1);
    return true;
}();

using testing_support::WindowTest;

// 淺嘰歌: the first two characters have 0x5C as their second byte.
const std::string kSongBase = "\x9C\x5C\x87\x5C\xB8\xE8";
const QString kSongBaseText = QStringLiteral(u"淺嘰歌");
const std::string kMusic = "\xD2\xF4\xC0\xD6";  // 音乐
const QString kMusicText = QStringLiteral(u"音乐");

bool underGbk() {
    return platform::CodePage::active().charset() == VORELA_TEST_CHARSET;
}
bool gbkLocale() {
    return platform::CodePage::active().charset() == "GBK";
}

constexpr char kNoGbk[] = "not running under " VORELA_TEST_LOCALE
                          ": the test set-up could not build the locale (it "
                          "needs localedef and the zh_CN sources of the Debian package locales)";

QString text(const std::string& asciiBytes) {
    return QString::fromLatin1(asciiBytes.data(), qsizetype(asciiBytes.size()));
}

void makeFolder(const std::string& path) {
    ::mkdir(path.c_str(), 0755);
}

class GbkWindowTest : public WindowTest {
protected:
    void SetUp() override {
        if (!underGbk()) GTEST_SKIP() << kNoGbk;
        WindowTest::SetUp();
        makeFolder(music());
    }
    // Qt reads names as UTF-8, so QTemporaryDir cannot remove GBK-named files itself.
    void TearDown() override { std::filesystem::remove_all(folder()); }
    // The music folder, ending in the separator; its name is Chinese, the rest ASCII.
    std::string music() const { return folder() + kMusic + "/"; }
    QString musicText() const { return text(folder()) + kMusicText + u'/'; }

    QString shown(int row, int column) const {
        return window->playlist->data(window->playlist->index(row, column), Qt::DisplayRole)
            .toString();
    }
    void clickRow(int row) {
        QTableView* view = window->playlistView;
        view->setFocus();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          view->visualRect(window->playlist->index(row, 0)).center());
    }
    // Edits a row's caption as a user does: F2, the new text from the input method (as a
    // Chinese input method commits it), Enter.
    void editCaption(int row, const QString& typed) {
        // A click on the selected row would start an edit of its own, a moment later.
        if (window->selectedRow() != row) clickRow(row);
        window->playlistView->setFocus();
        QTest::keyClick(window->playlistView, Qt::Key_F2);
        auto* editor = window->playlistView->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->text(), shown(row, 0));
        editor->selectAll();
        QInputMethodEvent commit;
        commit.setCommitString(typed);
        QCoreApplication::sendEvent(editor, &commit);
        QTest::keyClick(editor, Qt::Key_Return);
        settle();
    }
};

TEST_F(GbkWindowTest, PlaylistStatusBarAndBoxesShowTheChineseNames) {
    tone(kMusic + "/" + kSongBase + ".wav");
    window->addRow(music(), kSongBase + ".wav");
    EXPECT_EQ(shown(0, 0), kSongBaseText + QStringLiteral(".wav"));
    EXPECT_EQ(shown(0, 1), musicText());

    clickRow(0);
    QTest::mouseClick(window->playButton, Qt::LeftButton);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(window->statusBar->panelText(0),
              QStringLiteral(u"当前正在播放：") + kSongBaseText + QStringLiteral(".wav"));

    // A box that quotes a file: deleting the folder 音乐 "from disk" fails, and says so.
    window->addRow(folder(), kMusic);
    const int folderRow = window->playlist->findPath(folder() + kMusic);
    clickRow(folderRow);
    boxes.queueAnswer(platform::IDYES);
    window->deleteFileAction->trigger();
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_TRUE(boxes.shown()[1].text.startsWith(
        QStringLiteral(u"无法删除文件 \"") + text(folder()) + kMusicText + QStringLiteral(u"\"：")))
        << boxes.shown()[1].text.toStdString();
}

// A GBK name shows as Chinese under either locale, but a typed name is the locale's.
TEST_F(GbkWindowTest, CaptionEditRefusesWhatTheLocaleCannotHoldAndStoresItsBytes) {
    window->addRow(music(), kSongBase + ".wav");
    std::size_t refused = 0;
    if (gbkLocale()) {
        editCaption(0, QStringLiteral(u"한국.wav"));
        EXPECT_EQ(rowCaption(0), kSongBase + ".wav");  // unchanged, no "?"
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown()[0].caption, QStringLiteral(u"错误"));
        EXPECT_TRUE(boxes.shown()[0].text.contains(QStringLiteral(u"“한”")));
        EXPECT_TRUE(boxes.shown()[0].text.contains(QStringLiteral("GBK")));
        refused = 1;
    }

    editCaption(0, QStringLiteral(u"新歌.wav"));
    EXPECT_EQ(rowCaption(0), gbkLocale() ? "\xD0\xC2\xB8\xE8.wav" : "\xE6\x96\xB0\xE6\xAD\x8C.wav");
    EXPECT_EQ(shown(0, 0), QStringLiteral(u"新歌.wav"));
    EXPECT_EQ(boxes.shown().size(), refused);
}

TEST_F(GbkWindowTest, PlaylistFilesAndTheirErrorsShowChinese) {
    const std::string m3u = music() + kSongBase + ".m3u";
    platform::writeWholeFile(m3u, music() + kSongBase + ".mp3\r\n");
    dialogs.choose(m3u);
    window->openPlaylistAction->trigger();
    ASSERT_EQ(window->playlist->count(), 1);
    EXPECT_EQ(shown(0, 0), kSongBaseText + QStringLiteral(".mp3"));
    EXPECT_EQ(window->playlist->path(0), music() + kSongBase + ".mp3");

    // The standard error box quotes the missing file in Chinese.
    dialogs.choose(music() + "\xB8\xE8.m3u");
    window->openPlaylistAction->trigger();
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_TRUE(boxes.shown()[0].text.contains(musicText() + QStringLiteral(u"歌.m3u")))
        << boxes.shown()[0].text.toStdString();
}

// A folder's scan lists a UTF-8 name of odd length too: read as GBK its last byte is a lead
// byte that would take the dot of ".mp3".
TEST_F(GbkWindowTest, FolderScanFindsNamesTheCodePageCannotRead) {
    const std::string oddUtf8 = "\xE6\xAD\x8C.mp3";
    platform::writeWholeFile(music() + oddUtf8, "xx");
    platform::writeWholeFile(music() + kSongBase + ".mp3", "xx");
    dialogs.choose(music());
    window->openFolderAction->trigger();
    ASSERT_EQ(window->playlist->count(), 2);
    EXPECT_GE(window->playlist->findPath(music() + oddUtf8), 0);
    EXPECT_GE(window->playlist->findPath(music() + kSongBase + ".mp3"), 0);
}

TEST_F(GbkWindowTest, DroppedFileKeepsItsGbkBytes) {
    const std::string song = tone(kMusic + "/" + kSongBase + ".wav");
    // As a file manager sends it: the name's bytes, percent-encoded.
    const QByteArray bytes = QByteArray::fromStdString(song);
    QMimeData mime;
    mime.setUrls({QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"))});
    QDropEvent event(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    window->dropEvent(&event);
    EXPECT_TRUE(boxes.shown().empty());
    ASSERT_EQ(window->playlist->count(), 1);
    EXPECT_EQ(window->playlist->path(0), song);
    EXPECT_EQ(shown(0, 0), kSongBaseText + QStringLiteral(".wav"));
    EXPECT_EQ(window->player->fileName(), song);

    // A UTF-8 name of odd length: read as GBK, its last byte is a lead byte before the dot.
    const std::string odd = tone(kMusic + "/\xE6\xAD\x8C.wav");
    mime.setUrls(
        {QUrl::fromEncoded("file://" + QByteArray::fromStdString(odd).toPercentEncoding("/"))});
    QDropEvent second(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    window->dropEvent(&second);
    EXPECT_EQ(window->playlist->count(), 2);
    EXPECT_GE(window->playlist->findPath(odd), 0);
    EXPECT_EQ(window->player->fileName(), odd);
}

TEST(GbkLyrics, ShowsGbkAndMarkedUtf8LyricsAndFollowsThem) {
    if (!underGbk()) GTEST_SKIP() << kNoGbk;
    QTemporaryDir dir;
    const std::string music = platform::qtPathBytes(dir.path()) + "/" + kMusic + "/";
    makeFolder(music);
    lyrics::LyricsWindow::setFadeDuration(0);
    lyrics::LyricsWindow form;
    QString elapsed = QStringLiteral("00:02");
    form.setElapsedTextSource([&] { return elapsed; });

    const struct {
        const char* label;
        std::string bytes;
    } files[] = {
        {"GBK",
         "[ti:" + kSongBase + "]\r\n[00:01.00]\xC4\xE3\xBA\xC3\r\n[00:02.00]\x9C\x5C\x87\x5C\r\n"},
        {"UTF-8 with its mark",
         "\xEF\xBB\xBF[ti:\xE6\xB7\xBA\xE5\x98\xB0\xE6\xAD\x8C]\n[00:01.00]"
         "\xE4\xBD\xA0\xE5\xA5\xBD\n"
         "[00:02.00]\xE6\xB7\xBA\xE5\x98\xB0\n"},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.label);
        platform::writeWholeFile(music + kSongBase + ".lrc", f.bytes);
        form.lyricsList->clear();
        form.loadLyrics(music + kSongBase + ".mp3");
        ASSERT_EQ(form.lyricsList->count(), 3);
        EXPECT_EQ(form.lyricsList->item(0)->text(), QStringLiteral(u"[ti:淺嘰歌]"));
        EXPECT_EQ(form.lyricsList->item(1)->text(), QStringLiteral(u"[00:01.00]你好"));
        EXPECT_EQ(form.lyricsList->item(2)->text(), QStringLiteral(u"[00:02.00]淺嘰"));
        form.followElapsedTime();
        EXPECT_EQ(form.lyricsList->currentRow(), 2);
    }
    std::filesystem::remove_all(music);
}

// The user's desktop holds a folder 音乐 with a song 淺嘰歌.mp3, and 稻香.mp3 named in UTF-8 by
// a later system: each name reads in its own code page, the folder's too.
TEST(GbkSearch, TreeResultsAndStatusShowChineseAndRowsKeepTheBytes) {
    if (!underGbk()) GTEST_SKIP() << kNoGbk;
    QTemporaryDir home;
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    const std::string desktop = platform::qtPathBytes(home.path()) + "/Desktop";
    const std::string music = desktop + "/" + kMusic;
    makeFolder(desktop);
    makeFolder(music);
    platform::writeWholeFile(music + "/" + kSongBase + ".mp3", "x");
    const std::string utf8Song = "\xE7\xA8\xBB\xE9\xA6\x99.mp3";  // 稻香.mp3
    platform::writeWholeFile(music + "/" + utf8Song, "x");
    // Of odd length: read as GBK, its last byte is a lead byte before the dot.
    const std::string oddUtf8Song = "\xE6\xAD\x8C.mp3";  // 歌.mp3
    platform::writeWholeFile(music + "/" + oddUtf8Song, "x");

    std::vector<std::string> added;
    {
        SearchDialog form;
        form.setPlaylistSink([&](SearchDialog::Rows rows) {
            for (const auto& [folder, name] : rows) added.push_back(folder + "|" + name);
        });
        QTreeWidgetItem* node = form.folderTree->findLoaded(music);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->text(0), kMusicText);
        form.folderTree->setCurrentItem(node);

        QSignalSpy status(form.statusBar, &QStatusBar::messageChanged);
        QTest::mouseClick(form.startButton, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form.finder->isBusy(); }, 30000));
        const QString musicText = text(desktop) + u'/' + kMusicText;
        bool folderShown = false;
        for (const QList<QVariant>& args : status) {
            folderShown = folderShown || args.at(0).toString().startsWith(musicText);
        }
        EXPECT_TRUE(folderShown);
        ASSERT_TRUE(QTest::qWaitFor([&] { return form.results->rowCount() == 3; }, 5000));
        QStringList shown;
        for (int row = 0; row < 3; ++row) shown << form.results->index(row).data().toString();
        EXPECT_TRUE(shown.contains(musicText + u'/' + kSongBaseText + QStringLiteral(".mp3")));
        EXPECT_TRUE(shown.contains(musicText + QStringLiteral(u"/稻香.mp3")))
            << shown.join(u' ').toStdString();
        EXPECT_TRUE(shown.contains(musicText + QStringLiteral(u"/歌.mp3")));
        QTest::mouseClick(form.addAllButton, Qt::LeftButton);
    }
    qputenv("HOME", savedHome);
    qunsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(music);
    std::sort(added.begin(), added.end());
    EXPECT_EQ(added,
              (std::vector<std::string>{music + "/|" + kSongBase + ".mp3",
                                        music + "/|" + oddUtf8Song, music + "/|" + utf8Song}));
}

}  // namespace
