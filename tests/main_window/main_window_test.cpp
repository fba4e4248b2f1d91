// The main window as a user first sees it, and its menu and shortcut map.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "main_window/main_window.h"
#include "main_window/status_bar.h"

using main_window::TForm1;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<TForm1>();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    std::unique_ptr<TForm1> form;
};

TEST_F(MainWindowTest, StartsInTheDesignedState) {
    EXPECT_EQ(form->windowTitle(), QStringLiteral(u"VorelaMP3播放器-Tamsir绿色软件"));
    EXPECT_EQ(form->centralWidget()->size(), QSize(362, 344));
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);

    // Transport: play and the skip buttons on, pause and stop off, the bar off at 0 of 100.
    EXPECT_TRUE(form->btn1->isEnabled());
    EXPECT_FALSE(form->btn2->isEnabled());
    EXPECT_FALSE(form->btn3->isEnabled());
    for (QToolButton* b : {form->btn4, form->btn5, form->btn6, form->btn7})
        EXPECT_TRUE(b->isEnabled());
    EXPECT_FALSE(form->TrackBar1->isEnabled());
    EXPECT_EQ(form->TrackBar1->maximum(), 100);
    EXPECT_EQ(form->TrackBar1->value(), 0);
    EXPECT_TRUE(form->TrackBar2->isEnabled());
    EXPECT_EQ(form->TrackBar2->maximum(), 255);
    EXPECT_EQ(form->TrackBar2->value(), 255);
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_FALSE(form->Timer2->isActive());
    EXPECT_EQ(form->Timer1->interval(), 100);
    EXPECT_EQ(form->Timer2->interval(), 10);

    // Texts the user reads.
    EXPECT_EQ(form->stat1->panelText(0), QString());
    EXPECT_EQ(form->stat1->panelText(1), QStringLiteral("00:00"));
    EXPECT_EQ(form->stat1->panelText(2), QStringLiteral("00:00"));
    EXPECT_EQ(form->Label2->text(), QStringLiteral(u"播放进度：     "));
    EXPECT_EQ(form->chk1->text(), QStringLiteral(u"显示歌词"));
    EXPECT_FALSE(form->chk1->isChecked());
    EXPECT_EQ(form->lv1->model()->headerData(0, Qt::Horizontal).toString(),
              QStringLiteral(u"文件名"));
    EXPECT_EQ(form->lv1->model()->headerData(1, Qt::Horizontal).toString(),
              QStringLiteral(u"路径"));
    EXPECT_EQ(form->lv1->columnWidth(0), 120);
    EXPECT_EQ(form->lv1->columnWidth(1), 220);
    EXPECT_EQ(form->playlist->count(), 0);
    EXPECT_EQ(form->itemIndex(), -1);

    // Menus: the play mode in order, stereo output, the row commands off but "clear".
    EXPECT_TRUE(form->N7->isChecked());
    for (QAction* a : {form->N8, form->N20, form->N21, form->N32, form->N30, form->N31}) {
        EXPECT_FALSE(a->isChecked()) << a->objectName().toStdString();
    }
    EXPECT_TRUE(form->N33->isChecked());
    for (QAction* a : {form->N1, form->N2, form->N3, form->N11}) EXPECT_FALSE(a->isEnabled());
    EXPECT_TRUE(form->N6->isEnabled());
    EXPECT_EQ(TForm1::caption(form->N32), QStringLiteral(u"静音(&S)"));
    EXPECT_FALSE(form->SeekByUser);
    EXPECT_TRUE(form->acceptDrops());
}

TEST_F(MainWindowTest, NoTooltipsAndImageButtonsAreNamed) {
    for (QToolButton* b : form->centralWidget()->findChildren<QToolButton*>()) {
        EXPECT_TRUE(b->toolTip().isEmpty()) << b->objectName().toStdString();
        EXPECT_TRUE(b->text().isEmpty());
        EXPECT_FALSE(b->accessibleName().isEmpty()) << b->objectName().toStdString();
    }
    EXPECT_EQ(form->btn2->accessibleName(), QStringLiteral(u"暂停播放"));
}

TEST_F(MainWindowTest, CaptionsWithoutLetterGetAFreeOneBehindThem) {
    // Stored captions stay as designed; the shown text carries the added access letter.
    EXPECT_EQ(TForm1::caption(form->N23), QStringLiteral(u"退出"));
    EXPECT_TRUE(form->N23->text().startsWith(QStringLiteral(u"退出(&")));
    EXPECT_EQ(form->N13->text(), QStringLiteral(u"打开文件(&O)"));
    // Letters within one menu never repeat.
    for (QMenu* menu : {form->N9, form->N10, form->N27, form->PopupMenu1, form->PopupMenu2}) {
        QStringList letters;
        for (QAction* a : menu->actions()) {
            const qsizetype at = a->text().indexOf(u'&');
            if (at < 0) continue;
            const QString letter = a->text().mid(at + 1, 1).toUpper();
            EXPECT_FALSE(letters.contains(letter)) << menu->objectName().toStdString();
            letters << letter;
        }
    }
    TForm1::setCaption(form->N32, QStringLiteral(u"取消静音"));
    EXPECT_EQ(TForm1::caption(form->N32), QStringLiteral(u"取消静音"));
    EXPECT_TRUE(form->N32->text().startsWith(QStringLiteral(u"取消静音(&")));
}

TEST_F(MainWindowTest, ShortcutsReachTheirCommands) {
    struct Case {
        QAction* item;
        Qt::Key key;
    } const cases[] = {{form->N13, Qt::Key_F},
                       {form->N14, Qt::Key_O},
                       {form->N18, Qt::Key_P},
                       {form->N19, Qt::Key_S},
                       {form->N15, Qt::Key_M}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item->objectName().toStdString());
        // The commands themselves open dialogs; only the shortcut map is under test here.
        QObject::disconnect(c.item, &QAction::triggered, nullptr, nullptr);
        QSignalSpy spy(c.item, &QAction::triggered);
        QTest::keyClick(form->lv1, c.key, Qt::ControlModifier);
        EXPECT_EQ(spy.count(), 1);
    }
}

TEST_F(MainWindowTest, HelpIsATopLevelCommandAndTheDiscDoorIsSilent) {
    QList<QAction*> top = form->menuBar()->actions();
    ASSERT_EQ(top.size(), 4);
    EXPECT_EQ(top[3], form->N16);
    EXPECT_EQ(form->N16->menu(), nullptr);
    EXPECT_TRUE(form->helpPageUrl().isLocalFile());
    EXPECT_TRUE(
        form->helpPageUrl().path().endsWith(QStringLiteral("/share/vorela/help/index.html")));
    // No drive on this machine: nothing is shown, nothing is thrown.
    form->CDDVDROM1Click();
    form->CDDVDROM2Click();
}

TEST_F(MainWindowTest, FileExitEndsTheEventLoop) {
    bool watchdog = false;
    QTimer::singleShot(0, form.get(), [this] { form->N23->trigger(); });
    QTimer::singleShot(5000, [&] {
        watchdog = true;
        QCoreApplication::exit(1);
    });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(watchdog);
}

}  // namespace
