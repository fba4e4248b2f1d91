// The open-file, folder, load and save dialogs with GBK-named folders and files, driven by key
// presses from the main window's shortcuts, under the locale of this executable (see
// gbk_text_test.cpp). Each dialog must list the names as Chinese and hand back their bytes.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QTableView>
#include <QTreeView>

#include <filesystem>
#include <functional>
#include <set>

#include "main_window/window_fixture.h"
#include "platform/code_page.h"
#include "platform/file_dialogs.h"
#include "platform/message_box.h"
#include "platform/system.h"
#include "platform/text_file.h"
#include "platform/ui_byte_file_dialog.h"

namespace {

using platform::ByteFileDialog;

const std::string kMusic = "\xD2\xF4\xC0\xD6";  // 音乐 in GBK
const std::string kSong = "\x9C\x5C\x87\x5C\xB8\xE8";  // 淺嘰歌 in GBK, two 0x5C trail bytes
const std::string kSub = "\xD7\xD3";  // 子 in GBK
// The UTF-8 of 文歌, which is also the GBK of 鏂囨瓕: each locale reads it its own way.
const std::string kBoth = "\xE6\x96\x87\xE6\xAD\x8C";

class DialogTest : public testing_support::WindowTest {
protected:
    void SetUp() override {
        if (platform::CodePage::active().charset() != VORELA_TEST_CHARSET)
            GTEST_SKIP() << "not running under " VORELA_TEST_LOCALE;
        WindowTest::SetUp();
        scripted_ = platform::setFileDialogService(nullptr);  // the real dialogs
        music = folder() + kMusic;
        std::filesystem::create_directories(music + "/" + kSub);
        for (const std::string& name : {kSong + ".mp3", kBoth + ".MP3", std::string("notes.txt")})
            platform::writeWholeFile(music + "/" + name, "x");
        platform::setCurrentDirectory(folder());
    }
    void TearDown() override {
        if (scripted_) platform::setFileDialogService(std::move(scripted_));
        platform::setCurrentDirectory("/");
        std::filesystem::remove_all(folder() + kMusic);
    }

    // Runs `steps` on the dialog once the command `shortcut` has shown it; the command returns
    // when the dialog has closed (a dialog left open fails the test and is cancelled).
    void withDialog(Qt::Key shortcut, const std::function<void(ByteFileDialog*)>& steps) {
        // The shortcut reaches the active window only; a closed dialog leaves none active.
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        bool ran = false;
        QObject scope;  // cancels the steps if no dialog ever runs them
        QTimer::singleShot(0, &scope, [&] {
            auto* dialog = qobject_cast<ByteFileDialog*>(QApplication::activeModalWidget());
            ran = dialog != nullptr;
            if (dialog == nullptr) return;
            steps(dialog);
            if (dialog->isVisible()) {
                ADD_FAILURE() << "the dialog is still open";
                dialog->reject();
            }
        });
        QTest::keyClick(window->playlistView, shortcut, Qt::ControlModifier);
        EXPECT_TRUE(ran) << "no dialog was shown";
    }

    static QStringList listed(ByteFileDialog* d) {
        QStringList names;
        for (int i = 0; i < d->entryView->model()->rowCount(); ++i)
            names << d->entryView->model()->index(i, 0).data().toString();
        return names;
    }
    // Moves the list's cursor to `shown` by arrow keys, as a user does.
    static void arrowTo(ByteFileDialog* d, const QString& shown) {
        d->entryView->setFocus();
        QTest::keyClick(d->entryView, Qt::Key_Home);
        for (int i = 0; i < d->entryView->model()->rowCount(); ++i) {
            if (d->entryView->currentIndex().data().toString() == shown) return;
            QTest::keyClick(d->entryView, Qt::Key_Down);
        }
        ADD_FAILURE() << "not listed: " << shown.toStdString();
    }
    // Types `text` into the name field as a Chinese input method commits it, then Return.
    static void typeName(ByteFileDialog* d, const QString& text) {
        d->nameEdit->setFocus();
        d->nameEdit->selectAll();
        QInputMethodEvent commit;
        commit.setCommitString(text);
        QCoreApplication::sendEvent(d->nameEdit, &commit);
        QTest::keyClick(d->nameEdit, Qt::Key_Return);
    }

    bool utf8() const { return platform::CodePage::active().charset() == "UTF-8"; }
    // 文歌 under UTF-8, 鏂囨瓕 under GBK.
    QString bothText() const {
        return utf8() ? QStringLiteral(u"文歌.MP3") : QStringLiteral(u"鏂囨瓕.MP3");
    }

    std::string music;
    std::unique_ptr<platform::FileDialogService> scripted_;
};

TEST_F(DialogTest, OpenFileListsGbkNamesAsChineseAndAddsTheirBytes) {
    // Into 音乐 with the arrow keys and Return; the filter lists the .mp3 and .MP3 files, the
    // sub-folder first, and not notes.txt; Return on 淺嘰歌.mp3 opens it.
    withDialog(Qt::Key_F, [&](ByteFileDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral(u"打开"));
        EXPECT_EQ(d->typeBox->currentText(), QStringLiteral(u"MP3文件(*.mp3)"));
        EXPECT_EQ(d->typeBox->count(), 3);
        // What a screen reader reads for each control the keyboard reaches.
        for (QWidget* w : d->findChildren<QWidget*>()) {
            const auto* button = qobject_cast<QAbstractButton*>(w);
            if (w->focusPolicy() == Qt::NoFocus || !w->isVisible() || w->parent() != d) continue;
            EXPECT_FALSE(w->accessibleName().isEmpty() && (!button || button->text().isEmpty()))
                << w->metaObject()->className();
        }
        arrowTo(d, QStringLiteral(u"音乐"));
        QTest::keyClick(d->entryView, Qt::Key_Return);
        EXPECT_EQ(d->folder(), music);
        const QStringList names = listed(d);
        ASSERT_EQ(names.size(), 3) << names.join(u'|').toStdString();
        EXPECT_EQ(names[0], QStringLiteral(u"子"));
        EXPECT_EQ(std::set<QString>(names.begin() + 1, names.end()),
                  (std::set<QString>{QStringLiteral(u"淺嘰歌.mp3"), bothText()}));
        arrowTo(d, QStringLiteral(u"淺嘰歌.mp3"));
        EXPECT_EQ(d->nameEdit->text(), QStringLiteral(u"淺嘰歌.mp3"));
        QTest::keyClick(d->entryView, Qt::Key_Return);
    });
    ASSERT_EQ(window->playlist->count(), 1);
    EXPECT_EQ(window->playlist->path(0), music + "/" + kSong + ".mp3");

    // Typed names: a listed name as shown stands for its bytes (the folder 音乐 under UTF-8
    // too), the name valid in both encodings is the locale's reading; a missing file is
    // refused with a box and the dialog stays until cancelled.
    withDialog(Qt::Key_F, [&](ByteFileDialog* d) {
        typeName(d, QStringLiteral(u"音乐"));
        EXPECT_EQ(d->folder(), music);
        EXPECT_TRUE(d->nameEdit->text().isEmpty());
        typeName(d, QStringLiteral(u"无.mp3"));
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_TRUE(boxes.shown()[0].text.contains(QStringLiteral(u"找不到文件")));
        EXPECT_TRUE(d->isVisible());
        typeName(d, bothText());
    });
    ASSERT_EQ(window->playlist->count(), 2);
    EXPECT_GE(window->playlist->findPath(music + "/" + kBoth + ".MP3"), 0);

    withDialog(Qt::Key_F, [&](ByteFileDialog* d) { QTest::keyClick(d->nameEdit, Qt::Key_Escape); });
    EXPECT_EQ(window->playlist->count(), 2);
}

TEST_F(DialogTest, FolderChooserSaveAndLoadKeepTheBytes) {
    // The folder chooser lists folders only; Return on 音乐 enters it, Return in the empty
    // field chooses it, and the scan adds both songs with their bytes.
    withDialog(Qt::Key_O, [&](ByteFileDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral(u"请选择目录"));
        EXPECT_EQ(listed(d), QStringList{QStringLiteral(u"音乐")});
        arrowTo(d, QStringLiteral(u"音乐"));
        QTest::keyClick(d->entryView, Qt::Key_Return);
        EXPECT_EQ(listed(d), QStringList{QStringLiteral(u"子")});
        d->nameEdit->setFocus();
        QTest::keyClick(d->nameEdit, Qt::Key_Return);
    });
    ASSERT_EQ(window->playlist->count(), 2);
    EXPECT_GE(window->playlist->findPath(music + "/" + kSong + ".mp3"), 0);
    EXPECT_GE(window->playlist->findPath(music + "/" + kBoth + ".MP3"), 0);
    EXPECT_EQ(platform::currentDirectory(), music);

    // Saving starts in the chosen folder; a typed name gets ".m3u" and the locale's bytes.
    const std::string typed = *platform::fromDisplay(QStringLiteral(u"列表.m3u"));
    withDialog(Qt::Key_S, [&](ByteFileDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral(u"另存为"));
        typeName(d, QStringLiteral(u"列表"));
    });
    const std::string saved = platform::readWholeFile(music + "/" + typed, 1 << 20);
    EXPECT_NE(saved.find(music + "/" + kSong + ".mp3\r\n"), std::string::npos);

    // A listed GBK-named playlist is overwritten after the box's Yes, then loaded: the load
    // dialog lists playlists only.
    platform::writeWholeFile(music + "/" + kSong + ".m3u", "");
    boxes.queueAnswer(platform::IDYES);
    withDialog(Qt::Key_S, [&](ByteFileDialog* d) {
        arrowTo(d, QStringLiteral(u"淺嘰歌.m3u"));
        QTest::keyClick(d->entryView, Qt::Key_Return);
    });
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_TRUE(boxes.shown()[0].text.contains(QStringLiteral(u"淺嘰歌.m3u 已存在")));
    EXPECT_EQ(platform::readWholeFile(music + "/" + kSong + ".m3u", 1 << 20), saved);

    withDialog(Qt::Key_P, [&](ByteFileDialog* d) {
        const QStringList names = listed(d);
        EXPECT_EQ(std::set<QString>(names.begin(), names.end()),
                  (std::set<QString>{QStringLiteral(u"子"), QStringLiteral(u"淺嘰歌.m3u"),
                                     QStringLiteral(u"列表.m3u")}));
        arrowTo(d, QStringLiteral(u"淺嘰歌.m3u"));
        QTest::keyClick(d->entryView, Qt::Key_Return);
    });
    EXPECT_EQ(window->playlist->count(), 4);  // the two songs again
}

}  // namespace
