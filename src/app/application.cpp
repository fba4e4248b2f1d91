// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/application.h"

#include "app/deferred_icon_style.h"
#include "app/exit_signals.h"

#include <QApplication>
#include <QDBusConnection>

#include <csignal>
#include <memory>

#include "app/mpris.h"
#include "lyrics/lyrics_window.h"
#include "main_window/icons.h"
#include "main_window/main_window.h"
#include "main_window/status_bar.h"
#include "platform/error_box.h"
#include "platform/message_box.h"
#include "platform/program_name.h"
#include "platform/system.h"
#include "platform/translations.h"
#include "search/search_dialog.h"

namespace app {
namespace {

const QString kApplicationTitle = QStringLiteral(u"Tamsir实用软件_VorelaMP3播放器");

}  // namespace

int run(int argc, char** argv) {
    QApplication application(argc, argv);
    // Before any widget: standard icons are made when first shown, not at start-up.
    installDeferredIconStyle();
    // From here on, SIGTERM, SIGINT and SIGHUP end the event loop as the exit command does
    // (queued until the loop runs).
    ExitSignals exitSignals;
    QObject::connect(&exitSignals, &ExitSignals::received, &application,
                     [] { QCoreApplication::exit(0); });
    // A write beyond the user's file-size limit fails with an error the save reports, instead of
    // killing the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // Qt's own dialogs and buttons in the user's language; the program's texts stay as they are.
    platform::installQtTranslations();

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
        // Then the running player shows its window, wherever it was (tray, minimised, behind).
        MprisService::raiseRunningPlayer(QDBusConnection::sessionBus());
        return 0;
    }

    platform::setApplicationTitle(kApplicationTitle);
    QApplication::setWindowIcon(main_window::icons::applicationIcon());
    // How the desktop finds the program's desktop entry, and with it the name and the icon it
    // shows in the taskbar: the window's class (WM_CLASS "vorela", the entry's StartupWMClass)
    // and the entry's own name (_KDE_NET_WM_DESKTOP_FILE on X11, the app id on Wayland).
    QApplication::setApplicationName(QStringLiteral("vorela"));
    QApplication::setDesktopFileName(QStringLiteral(VORELA_APP_ID));
    // The program ends through its exit commands only: the main window may be hidden in the
    // tray while another top-level window (a message box) closes.
    QApplication::setQuitOnLastWindowClosed(false);

    // The windows live until the event loop ends, and go in reverse order of creation.
    auto mainWindow = std::make_unique<main_window::MainWindow>();
    mainWindow->show();
    // From here on the application's name is the program's, which a StatusNotifier host shows
    // as the tray item's title. The X11 window class was taken from the short name when the
    // first window was made, and stays it for every window (the desktop entry's
    // StartupWMClass); Wayland's app id is the desktop file name.
    QApplication::setApplicationName(QString::fromUtf8(platform::kProgramName));
    // The search dialog is made when it is first opened: its tree and lists are most of what
    // the hidden windows cost at start-up, in time and memory, and nothing shows it before.
    std::unique_ptr<SearchDialog> searchDialog;
    auto lyricsWindow = std::make_unique<lyrics::LyricsWindow>();

    mainWindow->setSearchDialog([&searchDialog, window = mainWindow.get()]() -> QDialog* {
        searchDialog = std::make_unique<SearchDialog>(window);
        searchDialog->setPlaylistSink(
            [window](SearchDialog::Rows rows) { window->addRows(std::move(rows)); });
        return searchDialog.get();
    });
    mainWindow->setLyricsWindow(lyricsWindow.get());
    lyricsWindow->setMainWindow(mainWindow.get());
    lyricsWindow->setElapsedTextSource(
        [window = mainWindow.get()] { return window->statusBar->panelText(1); });
    // Once the window exists, the signals take its exit command's own path.
    QObject::disconnect(&exitSignals, nullptr, &application, nullptr);
    QObject::connect(
        &exitSignals, &ExitSignals::received, mainWindow.get(),
        [window = mainWindow.get()] { platform::runGuarded([window] { window->exitProgram(); }); });

    // Media keys and the desktop's sound menu; without a session bus the player runs without.
    MprisService mpris(mainWindow.get());
    mpris.publish(QDBusConnection::sessionBus());

    QApplication::exec();
    return 0;
}

}  // namespace app
