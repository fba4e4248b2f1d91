// SPDX-License-Identifier: GPL-3.0-or-later
// The open-file, folder, load and save dialogs with GBK-named folders and files, driven by key
// presses from the main window's shortcuts, under the locale of this executable (see
// gbk_text_test.cpp). Each dialog must list the names as Chinese and hand back their bytes.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QHeaderView>
#include <QInputDialog>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "main_window/window_fixture.h"
#include "platform/code_page.h"
#include "platform/file_dialog/ui_byte_file_dialog.h"
#include "platform/file_dialog/ui_name_completer.h"
#include "platform/file_dialog/ui_places_pane.h"
#include "platform/file_dialogs.h"
#include "platform/message_box.h"
#include "platform/system.h"
#include "platform/text_file.h"

namespace {

using platform::ByteFileDialog;

const std::string kMusic = "\xD2\xF4\xC0\xD6";         // 音乐 in GBK
const std::string kSong = "\x9C\x5C\x87\x5C\xB8\xE8";  // 淺嘰歌 in GBK, two 0x5C trail bytes
const std::string kSub = "\xD7\xD3";                   // 子 in GBK
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
        for (const char* name : {"HOME", "XDG_CONFIG_HOME"}) {
            if (const auto kept = savedEnvironment_.find(name); kept != savedEnvironment_.end())
                ::setenv(name, kept->second.c_str(), 1);
        }
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
            activate(dialog);
            steps(dialog);
            if (dialog->isVisible()) {
                ADD_FAILURE() << "the dialog is still open";
                dialog->reject();
            }
        });
        QTest::keyClick(window->playlistView, shortcut, Qt::ControlModifier);
        EXPECT_TRUE(ran) << "no dialog was shown";
    }

    // Tab and the shortcuts need the window to be the active one, as a window manager makes a
    // new dialog; the offscreen platform leaves its owner active.
    static void activate(QWidget* window) {
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == window; }));
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
    // Types `text` into a field as a Chinese input method commits it.
    static void commit(QWidget* field, const QString& text) {
        QInputMethodEvent event;
        event.setCommitString(text);
        QCoreApplication::sendEvent(field, &event);
    }
    // Replaces the name field's text with `text`, then Return.
    static void typeName(ByteFileDialog* d, const QString& text) {
        d->nameEdit->setFocus();
        d->nameEdit->selectAll();
        commit(d->nameEdit, text);
        QTest::keyClick(d->nameEdit, Qt::Key_Return);
    }
    // Answers the new-folder prompt that the next key press opens with `name`.
    static void answerPrompt(const QString& name) {
        QTimer::singleShot(0, [name] {
            auto* prompt = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(prompt, nullptr) << "no prompt";
            activate(prompt);
            auto* field = prompt->findChild<QLineEdit*>();
            field->selectAll();
            commit(field, name);
            QTest::keyClick(field, Qt::Key_Return);
        });
    }
    // Takes the completion shown as `shown` from the pop-up, by arrow keys and Return.
    static void takeCompletion(ByteFileDialog* d, const QString& shown) {
        QAbstractItemView* popup = d->completer->completer()->popup();
        ASSERT_TRUE(popup->isVisible())
            << "no completions for " << d->nameEdit->text().toStdString();
        for (int i = 0; i < popup->model()->rowCount(); ++i) {
            QTest::keyClick(popup, Qt::Key_Down);
            if (popup->currentIndex().data().toString() == shown) break;
        }
        QTest::keyClick(popup, Qt::Key_Return);
        EXPECT_EQ(d->nameEdit->text(), shown);
    }

    bool utf8() const { return platform::CodePage::active().charset() == "UTF-8"; }
    // 文歌 under UTF-8, 鏂囨瓕 under GBK.
    QString bothText() const {
        return utf8() ? QStringLiteral(u"文歌.MP3") : QStringLiteral(u"鏂囨瓕.MP3");
    }

    // The temporary folder as the user's home: 音乐 is its music folder (user-dirs.dirs) and
    // 音乐/子 a GTK bookmark, both written as their GBK bytes.
    void makeHome() {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME"})
            if (const char* value = std::getenv(name)) savedEnvironment_[name] = value;
        const std::string home = folder().substr(0, folder().size() - 1);
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (folder() + "config").c_str(), 1);
        std::filesystem::create_directories(folder() + "config/gtk-3.0");
        platform::writeWholeFile(folder() + "config/user-dirs.dirs",
                                 "XDG_MUSIC_DIR=\"$HOME/" + kMusic + "\"\n");
        const QByteArray sub = QByteArray::fromStdString(music + "/" + kSub);
        platform::writeWholeFile(folder() + "config/gtk-3.0/bookmarks",
                                 "file://" + sub.toPercentEncoding("/").toStdString() + "\n");
    }

    std::string music;
    std::unique_ptr<platform::FileDialogService> scripted_;
    std::map<std::string, std::string> savedEnvironment_;
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

    // Typed names, in the folder where the last dialog ended: "..", and a listed name as shown
    // stands for its bytes (the folder 音乐 under UTF-8 too), the name valid in both encodings
    // is the locale's reading; a missing file is refused with a box and the dialog stays until
    // cancelled.
    withDialog(Qt::Key_F, [&](ByteFileDialog* d) {
        EXPECT_EQ(d->folder(), music);  // where the last one ended
        typeName(d, QStringLiteral(u".."));
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

namespace {

QString accessibleName(QObject* control) {
    return QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
}

TEST_F(DialogTest, PlacesTypedPathsAndCompletionReachTheRealBytes) {
    makeHome();
    withDialog(Qt::Key_F, [&](ByteFileDialog* d) {
        QStringList places;
        for (int i = 0; i < d->placesPane->count(); ++i) places << d->placesPane->item(i)->text();
        EXPECT_EQ(places.front(), QStringLiteral(u"主目录"));
        EXPECT_EQ(places.back(), QStringLiteral(u"计算机"));
        EXPECT_EQ(places.mid(1, 2), (QStringList{QStringLiteral(u"音乐"), QStringLiteral(u"子")}));
        // A screen reader hears the labels, not the path and the filter.
        EXPECT_EQ(accessibleName(d->lookInBox), QStringLiteral(u"查找范围"));
        EXPECT_EQ(accessibleName(d->typeBox), QStringLiteral(u"文件类型"));
        EXPECT_EQ(accessibleName(d->placesPane), QStringLiteral(u"位置"));

        // From the name field back past the list to the places; the bookmark by arrow keys.
        QTest::keyClick(d->nameEdit, Qt::Key_Tab, Qt::ShiftModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
        ASSERT_EQ(QApplication::focusWidget(), d->placesPane);
        QTest::keyClick(d->placesPane, Qt::Key_Home);
        QTest::keyClick(d->placesPane, Qt::Key_Down);
        QTest::keyClick(d->placesPane, Qt::Key_Down);
        EXPECT_EQ(d->folder() + "/", folder());  // arrows only move the cursor
        QTest::keyClick(d->placesPane, Qt::Key_Return);
        EXPECT_EQ(d->folder(), music + "/" + kSub);

        // Typed paths as shown: ~, the Chinese names of GBK folders, "..".
        typeName(d, QStringLiteral(u"~/音乐/子/../.."));
        EXPECT_EQ(d->folder() + "/", folder());
        // "." too; Return while the pop-up offers ./音乐/ and none is chosen is the dialog's.
        d->nameEdit->selectAll();
        commit(d->nameEdit, QStringLiteral(u"./音乐"));
        ASSERT_TRUE(d->completer->completer()->popup()->isVisible());
        QTest::keyClick(d->completer->completer()->popup(), Qt::Key_Return);
        EXPECT_EQ(d->folder(), music);
        typeName(d, QStringLiteral(u"~"));
        EXPECT_EQ(d->folder() + "/", folder());

        // Completion, a folder and then a file in it, taken with the arrow keys.
        d->nameEdit->setFocus();
        commit(d->nameEdit, QStringLiteral(u"音"));
        takeCompletion(d, QStringLiteral(u"音乐/"));
        commit(d->nameEdit, QStringLiteral(u"淺"));
        takeCompletion(d, QStringLiteral(u"音乐/淺嘰歌.mp3"));
        QTest::keyClick(d->nameEdit, Qt::Key_Return);
    });
    ASSERT_EQ(window->playlist->count(), 1);
    EXPECT_EQ(window->playlist->path(0), music + "/" + kSong + ".mp3");

    // The next dialog opens where that one ended. 打开 with the folder 子 under the cursor and
    // nothing typed enters it; cancelled there, the next dialog opens there.
    withDialog(Qt::Key_F, [&](ByteFileDialog* d) {
        EXPECT_EQ(d->folder(), music);
        arrowTo(d, QStringLiteral(u"子"));
        d->nameEdit->clear();
        QTest::mouseClick(d->acceptButton, Qt::LeftButton);
        EXPECT_EQ(d->folder(), music + "/" + kSub);
        QTest::keyClick(d->nameEdit, Qt::Key_Escape);
    });
    withDialog(Qt::Key_P, [&](ByteFileDialog* d) {
        EXPECT_EQ(d->folder(), music + "/" + kSub);
        QTest::keyClick(d->nameEdit, Qt::Key_Escape);
    });
}

TEST_F(DialogTest, ListSortsShowsHiddenFiltersBytesAndMakesFolders) {
    platform::writeWholeFile(music + "/big.mp3", std::string(5000, 'x'));
    platform::writeWholeFile(music + "/.hidden.mp3", "x");
    // 歌.mp3 in UTF-8: under GBK's rules its last lead byte would take the dot.
    const std::string oddUtf8 = "\xE6\xAD\x8C.mp3";
    platform::writeWholeFile(music + "/" + oddUtf8, "xx");
    platform::setCurrentDirectory(music);
    withDialog(Qt::Key_F, [&](ByteFileDialog* d) {
        EXPECT_EQ(listed(d).size(), 5) << listed(d).join(u'|').toStdString();
        EXPECT_TRUE(listed(d).contains(platform::toDisplay(oddUtf8)));
        // A click on 大小 sorts by size, the folder first, big.mp3 last; a second click turns
        // the files around and keeps the folder first.
        QHeaderView* header = d->entryView->header();
        const QPoint sizeHeader(header->sectionViewportPosition(1) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, sizeHeader);
        EXPECT_EQ(header->sortIndicatorSection(), 1);
        EXPECT_EQ(listed(d).front(), QStringLiteral(u"子"));
        EXPECT_EQ(listed(d).back(), QStringLiteral(u"big.mp3"));
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, sizeHeader);
        EXPECT_EQ(listed(d).mid(0, 2),
                  (QStringList{QStringLiteral(u"子"), QStringLiteral(u"big.mp3")}));
        // Ctrl+H shows the hidden song and hides it again.
        QTest::keyClick(d->nameEdit, Qt::Key_H, Qt::ControlModifier);
        EXPECT_TRUE(listed(d).contains(QStringLiteral(".hidden.mp3")));
        QTest::keyClick(d->nameEdit, Qt::Key_H, Qt::ControlModifier);
        EXPECT_FALSE(listed(d).contains(QStringLiteral(".hidden.mp3")));
        EXPECT_TRUE(d->newFolderButton->isHidden());
        QTest::keyClick(d->nameEdit, Qt::Key_Escape);
    });

    // A new folder while saving is made in the locale's bytes and entered; a name the code page
    // cannot hold is refused with a box.
    const std::string made = *platform::fromDisplay(QStringLiteral(u"新歌单"));
    withDialog(Qt::Key_S, [&](ByteFileDialog* d) {
        answerPrompt(QStringLiteral(u"新歌单"));
        QTest::keyClick(d->nameEdit, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(d->folder(), music + "/" + made);
        if (!utf8()) {
            activate(d);
            answerPrompt(QStringLiteral(u"歌🎵"));
            QTest::keyClick(d->nameEdit, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
            ASSERT_EQ(boxes.shown().size(), 1u);
            EXPECT_TRUE(boxes.shown()[0].text.contains(QStringLiteral(u"“🎵”不能用系统字符集 GBK")));
            EXPECT_TRUE(listed(d).isEmpty());
        }
        QTest::keyClick(d->nameEdit, Qt::Key_Escape);
    });
    // In the folder chooser a new folder comes under the cursor, its name in the field for OK;
    // going up empties the field, and OK then takes the folder listed.
    withDialog(Qt::Key_O, [&](ByteFileDialog* d) {
        EXPECT_EQ(d->folder(), music + "/" + made);
        answerPrompt(QStringLiteral(u"子夹"));
        QTest::mouseClick(d->newFolderButton, Qt::LeftButton);
        EXPECT_EQ(d->nameEdit->text(), QStringLiteral(u"子夹"));
        activate(d);
        QTest::keyClick(d->nameEdit, Qt::Key_Up, Qt::AltModifier);  // a button's animated click
        EXPECT_TRUE(QTest::qWaitFor([&] { return d->folder() == music; }));
        EXPECT_TRUE(d->nameEdit->text().isEmpty());
        QTest::keyClick(d->nameEdit, Qt::Key_Return);
    });
    EXPECT_EQ(platform::currentDirectory(), music);
    EXPECT_TRUE(std::filesystem::is_directory(music + "/" + made + "/" +
                                              *platform::fromDisplay(QStringLiteral(u"子夹"))));
}

}  // namespace
