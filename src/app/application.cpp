#include "app/application.h"

#include <QApplication>

#include <memory>

#include "lyrics/lyrics_window.h"
#include "main_window/icons.h"
#include "main_window/main_window.h"
#include "main_window/status_bar.h"
#include "platform/error_box.h"
#include "platform/message_box.h"
#include "platform/system.h"
#include "search/search_dialog.h"

namespace app {
namespace {

const QString kApplicationTitle = QStringLiteral(u"Tamsir实用软件_VorelaMP3播放器");

}  // namespace

int run(int argc, char** argv) {
    QApplication application(argc, argv);

    // One instance per user: the marker lives as long as this process and the system drops it
    // when the process ends or is killed. Both refusals end before any window exists.
    platform::InstanceLock onlyOne("OnlyOne");
    if (onlyOne.result() == platform::InstanceLock::Result::Failed) {
        platform::messageBox(nullptr, QStringLiteral(u"创建互斥对象失败!"), QStringLiteral("Error"),
                             platform::MB_OK | platform::MB_ICONINFORMATION);
        return 0;
    }
    if (onlyOne.result() == platform::InstanceLock::Result::AlreadyExists) {
        platform::messageBox(nullptr, QStringLiteral(u"程序已经有一个实例在运行!"),
                             QStringLiteral("OK"), platform::MB_OK | platform::MB_ICONINFORMATION);
        onlyOne.close();
        return 0;
    }

    platform::setApplicationTitle(kApplicationTitle);
    QApplication::setWindowIcon(main_window::icons::applicationIcon());
    QApplication::setDesktopFileName(QStringLiteral("vorela"));
    // The program ends through its exit commands only: the main window may be hidden in the
    // tray while another top-level window (a message box) closes.
    QApplication::setQuitOnLastWindowClosed(false);

    // The windows live until the event loop ends, and go in reverse order of creation.
    auto mainWindow = std::make_unique<main_window::MainWindow>();
    mainWindow->show();
    auto searchDialog = std::make_unique<SearchDialog>(mainWindow.get());
    auto lyricsWindow = std::make_unique<lyrics::LyricsWindow>();

    mainWindow->setSearchDialog(searchDialog.get());
    mainWindow->setLyricsWindow(lyricsWindow.get());
    searchDialog->setPlaylistSink(
        [form1 = mainWindow.get()](SearchDialog::Rows rows) { form1->addRows(std::move(rows)); });
    lyricsWindow->setMainWindow(mainWindow.get());
    lyricsWindow->setElapsedTextSource(
        [form1 = mainWindow.get()] { return form1->statusBar->panelText(1); });

    QApplication::exec();
    return 0;
}

}  // namespace app
