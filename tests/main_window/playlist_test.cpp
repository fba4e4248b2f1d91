// SPDX-License-Identifier: GPL-3.0-or-later
// The playlist as a user builds it: rows, order, selection, the row commands, the three ways of
// adding tracks and M3U files.
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "main_window/status_bar.h"
#include "main_window/window_fixture.h"
#include "platform/code_page.h"
#include "platform/system.h"

namespace {

using playback::PlayerMode;
using testing_support::WindowTest;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool exists(const std::string& path) {
    return QFile::exists(QString::fromStdString(path));
}

class PlaylistTest : public WindowTest {
protected:
    std::vector<std::string> captions() const {
        std::vector<std::string> out;
        for (int i = 0; i < window->playlist->count(); ++i) out.push_back(rowCaption(i));
        return out;
    }
    void drop(const std::vector<std::string>& paths) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const auto& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p));
        mime.setUrls(urls);
        QDropEvent event(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        window->dropEvent(&event);
    }
    void startPlaying(const std::string& path) {
        const auto at = path.rfind('/');
        window->selectRow(window->addRow(path.substr(0, at + 1), path.substr(at + 1)));
        window->play();
        ASSERT_EQ(window->player->mode(), PlayerMode::Playing);
    }
};

TEST_F(PlaylistTest, RowsSortByCaptionAndKeepTheirSelection) {
    window->addRow("/m/", "b.mp3");
    window->addRow("/m/", "a.mp3");
    EXPECT_EQ(captions(), (std::vector<std::string>{"a.mp3", "b.mp3"}));
    EXPECT_EQ(window->playlist->path(0), "/m/a.mp3");

    // The same name from another folder stays, next to its twin.
    window->addRow("/other/", "a.mp3");
    EXPECT_EQ(captions(), (std::vector<std::string>{"a.mp3", "a.mp3", "b.mp3"}));
    EXPECT_EQ(rowFolder(1), "/other/");

    // A selected row stays selected while rows sort in before it.
    window->selectRow(2);
    window->addRow("/m/", "0.mp3");
    EXPECT_EQ(window->selectedRow(), 3);
    EXPECT_EQ(rowCaption(window->selectedRow()), "b.mp3");
    EXPECT_TRUE(window->removeRowAction->isEnabled());
    EXPECT_TRUE(window->playRowAction->isEnabled());
}

TEST_F(PlaylistTest, EditingACaptionInPlaceMovesTheRow) {
    window->addRow("/m/", "a.mp3");
    window->addRow("/m/", "b.mp3");
    const QModelIndex first = window->playlist->index(0, 0);
    window->playlistView->setFocus();
    window->playlistView->setCurrentIndex(first);
    window->playlistView->edit(first);
    auto* editor = window->playlistView->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("z.mp3"));
    QTest::keyClick(editor, Qt::Key_Return);
    settle();  // the editor commits from a queued call
    EXPECT_EQ(captions(), (std::vector<std::string>{"b.mp3", "z.mp3"}));
    EXPECT_EQ(rowFolder(1), "/m/");
    EXPECT_EQ(window->playlist->path(1), "/m/z.mp3");
}

TEST_F(PlaylistTest, RowCommandsFollowTheSelection) {
    window->addRow("/m/", "a.mp3");
    window->addRow("/m/", "b.mp3");
    window->selectRow(1);
    for (QAction* a : {window->playRowAction, window->removeRowAction, window->deleteFileAction,
                       window->fileInfoAction})
        EXPECT_TRUE(a->isEnabled());
    window->removeRowAction->trigger();
    EXPECT_EQ(captions(), (std::vector<std::string>{"a.mp3"}));
    for (QAction* a : {window->playRowAction, window->removeRowAction, window->deleteFileAction,
                       window->fileInfoAction})
        EXPECT_FALSE(a->isEnabled());
    EXPECT_TRUE(window->clearListAction->isEnabled());
    window->clearListAction->trigger();
    EXPECT_EQ(window->playlist->count(), 0);
}

TEST_F(PlaylistTest, ClearingWhilePlayingKeepsPlaying) {
    startPlaying(tone("a.wav"));
    window->clearListAction->trigger();
    EXPECT_EQ(window->playlist->count(), 0);
    EXPECT_EQ(window->player->mode(), PlayerMode::Playing);
    play(std::chrono::milliseconds(200));
    EXPECT_EQ(window->player->position(), 200);
}

TEST_F(PlaylistTest, DeleteFromDiskStopsWhatPlaysButNotWhatIsPaused) {
    const std::string playing = tone("a.wav");
    const std::string victim = tone("b.wav");
    startPlaying(playing);
    window->addRow(folder(), "b.wav");
    window->selectRow(1);

    // "No" keeps everything.
    boxes.queueAnswer(platform::IDNO);
    window->deleteFileAction->trigger();
    EXPECT_TRUE(exists(victim));
    EXPECT_EQ(window->playlist->count(), 2);

    boxes.queueAnswer(platform::IDYES);
    window->deleteFileAction->trigger();
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.shown()[1].text, QStringLiteral(u"确实要删除此文件吗？"));
    EXPECT_EQ(boxes.shown()[1].caption, QStringLiteral(u"确认删除"));
    EXPECT_EQ(boxes.shown()[1].style, 0x44u);
    EXPECT_EQ(boxes.shown()[1].owner, window.get());
    EXPECT_FALSE(exists(victim));
    EXPECT_EQ(captions(), (std::vector<std::string>{"a.wav"}));
    EXPECT_EQ(window->player->mode(),
              PlayerMode::Stopped);  // another track, stopped all the same
    EXPECT_EQ(window->statusBar->panelText(0), QStringLiteral(u"停止播放"));

    // Paused: nothing is stopped.
    const std::string other = tone("c.wav");
    window->addRow(folder(), "c.wav");
    window->selectRow(0);
    window->play();
    window->pause();
    ASSERT_EQ(window->player->mode(), PlayerMode::Paused);
    window->selectRow(1);
    boxes.queueAnswer(platform::IDYES);
    window->deleteFileAction->trigger();
    EXPECT_FALSE(exists(other));
    EXPECT_EQ(window->player->mode(), PlayerMode::Paused);
}

TEST_F(PlaylistTest, DeleteFromDiskThatFailsSaysWhyAndKeepsTheRow) {
    // A folder where a file is expected: it exists and cannot be deleted as a file.
    QDir(dir.path()).mkdir(QStringLiteral("album.mp3"));
    window->addRow(folder(), "album.mp3");
    // A file that is already gone only loses its row.
    window->addRow(folder(), "gone.mp3");
    window->selectRow(0);
    boxes.queueAnswer(platform::IDYES);
    window->deleteFileAction->trigger();
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.shown()[1].caption, QStringLiteral(u"错误"));
    EXPECT_EQ(boxes.shown()[1].style, 0x10u);
    EXPECT_TRUE(boxes.shown()[1].text.contains(QStringLiteral("album.mp3")));
    EXPECT_EQ(window->playlist->count(), 2);

    window->selectRow(1);
    boxes.queueAnswer(platform::IDYES);
    window->deleteFileAction->trigger();
    EXPECT_EQ(boxes.shown().size(), 3u);
    EXPECT_EQ(captions(), (std::vector<std::string>{"album.mp3"}));
}

TEST_F(PlaylistTest, OpenFileTestsDuplicatesExactly) {
    window->addRow("/m/", "A.mp3");
    window->addRow("/m/", "b.mp3");
    window->playButton->setEnabled(false);

    dialogs.choose("/m/a.mp3");  // another letter case: a new row
    window->openFileAction->trigger();
    EXPECT_EQ(window->playlist->count(), 3);
    EXPECT_TRUE(window->playButton->isEnabled());
    ASSERT_FALSE(dialogs.shown().empty());
    EXPECT_EQ(
        dialogs.shown()[0].settings.filter,
        QStringLiteral(u"MP3文件(*.mp3)|*.MP3|WMA文件(*.wma)|*.wma|WAV音频文件(*.wav)|*.wav"));
    EXPECT_TRUE(dialogs.shown()[0].settings.fileMustExist);

    dialogs.choose("/m/b.mp3");
    window->openFileAction->trigger();
    EXPECT_EQ(window->playlist->count(), 3);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, QStringLiteral(u"已存在于播放列表中！"));
    EXPECT_EQ(boxes.shown()[0].caption, QStringLiteral(u"提示"));
    EXPECT_EQ(boxes.shown()[0].style, 0x40u);
    EXPECT_EQ(window->playlist->path(window->selectedRow()), "/m/b.mp3");

    dialogs.cancel();
    window->openFileAction->trigger();
    EXPECT_EQ(window->playlist->count(), 3);
}

TEST_F(PlaylistTest, OpenFolderAddsItsAudioFilesOnce) {
    const std::string saved = platform::currentDirectory();
    writeFile(folder() + "b.mp3", "x");
    writeFile(folder() + "a.wav", "x");
    writeFile(folder() + "C.WMA", "x");  // masks ignore letter case
    writeFile(folder() + "notes.txt", "x");
    QDir(dir.path()).mkdir(QStringLiteral("c.mp3"));

    dialogs.choose(dir.path().toStdString());
    window->openFolderAction->trigger();
    const std::vector<std::string> found = captions();
    EXPECT_EQ(std::set<std::string>(found.begin(), found.end()),
              (std::set<std::string>{"a.wav", "b.mp3", "C.WMA"}));
    EXPECT_EQ(rowFolder(0), folder());
    EXPECT_EQ(dialogs.shown()[0].title, QStringLiteral(u"请选择目录"));
    EXPECT_EQ(platform::currentDirectory(), dir.path().toStdString());  // it stays the current one
    EXPECT_TRUE(window->playButton->isEnabled());

    dialogs.choose(dir.path().toStdString() + "/");  // the same folder again adds nothing
    window->openFolderAction->trigger();
    EXPECT_EQ(window->playlist->count(), 3);

    // A folder that cannot be entered: the standard error box with the system's reason.
    dialogs.choose(folder() + "missing");
    window->openFolderAction->trigger();
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, QStringLiteral("No such file or directory."));
    EXPECT_EQ(window->playlist->count(), 3);
    platform::setCurrentDirectory(saved);
}

TEST_F(PlaylistTest, DroppedFilesAreAddedAndPlayedUntilAnUnsupportedOne) {
    const std::string x = tone("x.mp3");
    const std::string y = folder() + "y.txt";
    writeFile(y, "text");
    const std::string z = tone("z.mp3");
    drop({x, y, z});
    EXPECT_EQ(captions(), (std::vector<std::string>{"x.mp3"}));
    EXPECT_EQ(window->player->fileName(), x);
    EXPECT_EQ(window->player->mode(), PlayerMode::Playing);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, QStringLiteral(u"不支持播放此类文件！"));
    EXPECT_EQ(boxes.shown()[0].caption, QStringLiteral(u"错误"));
    EXPECT_EQ(boxes.shown()[0].style, 0x40010u);
    EXPECT_EQ(boxes.shown()[0].owner, nullptr);
    // A drop starts playback but is not the play command.
    EXPECT_TRUE(window->pauseButton->isEnabled());
    EXPECT_TRUE(window->stopButton->isEnabled());
    EXPECT_TRUE(window->clockTimer->isActive());
    EXPECT_FALSE(window->progressTimer->isActive());
    EXPECT_TRUE(window->playButton->isEnabled());
    EXPECT_EQ(window->selectedRow(), -1);

    // Already listed: a second row, played from the start.
    play(std::chrono::milliseconds(300));
    drop({x});
    EXPECT_EQ(captions(), (std::vector<std::string>{"x.mp3", "x.mp3"}));
    EXPECT_EQ(window->player->position(), 0);
    EXPECT_EQ(window->player->mode(), PlayerMode::Playing);
}

TEST_F(PlaylistTest, DroppedExtensionsAreCaseSensitiveAndBadAudioIsReportedPerFile) {
    const std::string upper = tone("SONG.MP3");
    drop({upper});
    EXPECT_EQ(window->playlist->count(), 0);
    ASSERT_EQ(boxes.shown().size(), 1u);

    // Not audio at all: its row stays, the box is shown, the next file still plays.
    const std::string fake = folder() + "fake.mp3";
    writeFile(fake, "this is text, not audio");
    const std::string real = tone("real.wav");
    drop({fake, real});
    EXPECT_EQ(captions(), (std::vector<std::string>{"fake.mp3", "real.wav"}));
    EXPECT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(window->player->fileName(), real);
    EXPECT_EQ(window->player->mode(), PlayerMode::Playing);
}

TEST_F(PlaylistTest, PlaylistFilesRoundTrip) {
    const std::string list = folder() + "list.m3u";
    writeFile(list, "D:/b.mp3\r\nD:/a.mp3\r\nD:/c.mp3\r\n");
    dialogs.choose(list);
    window->playButton->setEnabled(false);
    window->openPlaylistAction->trigger();
    EXPECT_EQ(captions(), (std::vector<std::string>{"a.mp3", "b.mp3", "c.mp3"}));
    EXPECT_EQ(rowFolder(0), "D:/");
    EXPECT_TRUE(window->playButton->isEnabled());

    const std::string saved = folder() + "saved.m3u";
    dialogs.choose(saved);
    window->savePlaylistAction->trigger();
    EXPECT_EQ(readFile(saved), "D:/a.mp3\r\nD:/b.mp3\r\nD:/c.mp3\r\n");
    EXPECT_EQ(dialogs.shown()[1].settings.kind, platform::FileDialogSettings::Kind::Save);
    EXPECT_TRUE(dialogs.shown()[1].settings.promptOverwrite);

    // Loading twice doubles every row; saving an empty list writes nothing at all.
    dialogs.choose(saved);
    window->openPlaylistAction->trigger();
    EXPECT_EQ(window->playlist->count(), 6);
    window->clearListAction->trigger();
    dialogs.choose(saved);
    window->savePlaylistAction->trigger();
    EXPECT_EQ(readFile(saved), "");
    window->playButton->setEnabled(false);
    dialogs.choose(saved);
    window->openPlaylistAction->trigger();
    EXPECT_EQ(window->playlist->count(), 0);
    EXPECT_TRUE(window->playButton->isEnabled());
}

// A name with a line break would come back as two rows, the second a bare name that plays and
// deletes another file: the save leaves it out, names it, and writes every other row exactly.
TEST_F(PlaylistTest, SaveLeavesOutAndNamesPathsThatALineCannotHold) {
    const std::string list = folder() + "odd.m3u";
    writeFile(list, "/m/a.mp3\r\n/m/c.mp3\r\n");
    dialogs.choose(list);
    window->openPlaylistAction->trigger();
    window->playlist->addRows({{"/m/", "new\nline.mp3"}, {"/m/", "car\rriage.mp3"}});
    ASSERT_EQ(window->playlist->count(), 4);

    const std::string saved = folder() + "saved.m3u";
    dialogs.choose(saved);
    window->savePlaylistAction->trigger();
    EXPECT_EQ(readFile(saved), "/m/a.mp3\r\n/m/c.mp3\r\n");
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_TRUE(boxes.shown()[0].text.contains(QStringLiteral(u"2 个文件")));
    EXPECT_TRUE(boxes.shown()[0].text.contains(QStringLiteral(u"/m/new\u21B5line.mp3")));
    EXPECT_TRUE(boxes.shown()[0].text.contains(QStringLiteral(u"/m/car\u21B5riage.mp3")));
    EXPECT_EQ(window->playlist->count(), 4);
}

TEST_F(PlaylistTest, PlaylistLinesAreReadAsPathsExceptComments) {
    using namespace std::string_literals;
    const std::string list = folder() + "other.m3u";
    writeFile(list,
              "\xEF\xBB\xBF#EXTM3U\n#EXTINF:123,Artist - Title\n/m/b.mp3\n\n"
              "music/a.mp3\rbare.wav\n /m/c.mp3\n\0/m/after-nul.mp3\n"s);
    dialogs.choose(list);
    window->openPlaylistAction->trigger();
    std::map<std::string, std::string> byCaption;
    for (int i = 0; i < window->playlist->count(); ++i)
        byCaption[rowCaption(i)] = window->playlist->path(i);
    EXPECT_EQ(byCaption, (std::map<std::string, std::string>{{"a.mp3", "music/a.mp3"},
                                                             {"b.mp3", "/m/b.mp3"},
                                                             {"bare.wav", "bare.wav"},
                                                             {"c.mp3", " /m/c.mp3"}}));
}

TEST_F(PlaylistTest, DoubleByteNamesKeepTheirTrailBytes) {
    const platform::CodePage saved = platform::CodePage::active();
    platform::CodePage::setActive(platform::CodePage::gbk());
    const std::string list = folder() + "gbk.m3u";
    // GBK characters whose trail bytes are 0x5C and 0x7C, in a folder and in a name.
    writeFile(list, "/\xD5\x5C\xB9\x7C/\xB8\xE8\x5C.mp3\r\n");
    dialogs.choose(list);
    window->openPlaylistAction->trigger();
    platform::CodePage::setActive(saved);
    ASSERT_EQ(window->playlist->count(), 1);
    EXPECT_EQ(rowCaption(0), "\xB8\xE8\x5C.mp3");
    EXPECT_EQ(rowFolder(0), "/\xD5\x5C\xB9\x7C/");
}

TEST_F(PlaylistTest, FileErrorsReachTheStandardErrorBox) {
    const std::string missing = folder() + "missing.m3u";
    dialogs.choose(missing);
    window->openPlaylistAction->trigger();
    const std::string unwritable = folder() + "no/such/dir/list.m3u";
    dialogs.choose(unwritable);
    window->savePlaylistAction->trigger();
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.shown()[0].text, QStringLiteral("Cannot open file \"") +
                                         QString::fromStdString(missing) +
                                         QStringLiteral("\". No such file or directory."));
    EXPECT_EQ(boxes.shown()[1].text, QStringLiteral("Cannot create file \"") +
                                         QString::fromStdString(unwritable) +
                                         QStringLiteral("\". No such file or directory."));
    EXPECT_EQ(boxes.shown()[0].caption, QStringLiteral(u"Tamsir实用软件_VorelaMP3播放器"));
    EXPECT_EQ(boxes.shown()[0].style, 0x10u);
}

}  // namespace
