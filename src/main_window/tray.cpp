// SPDX-License-Identifier: GPL-3.0-or-later
// Close-to-tray: closing the main window from its frame hides it behind a notification-area
// icon; the icon brings it back, and its menu ends the program.
//
// The window's taskbar entry is its own here, so hiding and showing the window hides and
// shows the entry with it.

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

#include "main_window/main_window.h"
#include "main_window/tray_icon.h"
#include "platform/error_box.h"

namespace main_window {
namespace {

const QString kTrayTip = QStringLiteral(u"MP3播放器");

// The menu is set on the icon rather than opened by us: on an XEmbed tray Qt opens it at the
// pointer on the right button, and on a StatusNotifier host it is exported over DBusMenu (the
// item's Menu property), which is all that hosts such as docks and panel extensions show.
class SystemTrayIcon final : public TrayIcon {
public:
    explicit SystemTrayIcon(QMenu* menu) {
        icon_.setContextMenu(menu);
        // Qt reports clicks on the icon, not releases; they stand for the releases. Queued: the
        // receiver removes the icon, which must not happen inside the icon's own mouse event.
        // A report that was queued before the icon went away is dropped, as a removed icon
        // reports nothing: a quick second click would otherwise hide the restored window with
        // no icon left to bring it back. The right button's menu is the icon's own.
        connect(
            &icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (!icon_.isVisible()) return;
                if (reason == QSystemTrayIcon::Trigger) Q_EMIT buttonReleased(Qt::LeftButton);
            },
            Qt::QueuedConnection);
    }

    bool isSystemTrayAvailable() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }
    void add(const QIcon& icon, const QString& tip) override {
        icon_.setIcon(icon);
        icon_.setToolTip(tip);
        icon_.show();
    }
    void remove() override { icon_.hide(); }
    bool isShown() const override { return icon_.isVisible(); }

private:
    QSystemTrayIcon icon_;
};

}  // namespace

std::unique_ptr<TrayIcon> makeSystemTrayIcon(QMenu* menu) {
    return std::make_unique<SystemTrayIcon>(menu);
}

void MainWindow::connectTray() {
    bind(restoreAction, &MainWindow::restoreFromTray);
    bind(trayExitAction, &MainWindow::exitFromTray);
    setTrayIcon(makeSystemTrayIcon(trayMenu));
}

void MainWindow::setTrayIcon(std::unique_ptr<TrayIcon> icon) {
    trayIcon_ = std::move(icon);
    if (!trayIcon_) return;
    connect(trayIcon_.get(), &TrayIcon::buttonReleased, this,
            platform::guarded(this, &MainWindow::onTrayIconReleased));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (quitting_) {
        event->accept();
        return;
    }
    // The window is neither closed nor destroyed; playback, the timers and the lyrics go on.
    event->ignore();
    platform::runGuarded([this] {
        if (!trayIcon_ || !trayIcon_->isSystemTrayAvailable()) {
            // With nowhere to put the icon, hiding would lose the window for good.
            showMinimized();
            return;
        }
        hide();
        trayIcon_->add(windowIcon(), kTrayTip);
    });
}

void MainWindow::onTrayIconReleased(Qt::MouseButton button) {
    const QPoint pointer = QCursor::pos();
    if (button == Qt::LeftButton) {
        if (isVisible())
            hide();
        else
            bringBack();
        if (trayIcon_) trayIcon_->remove();
    } else if (button == Qt::RightButton) {
        trayMenu->popup(pointer);
    }
}

void MainWindow::restoreFromTray() {
    bringBack();
    if (trayIcon_) trayIcon_->remove();
}

void MainWindow::bringBack() {
    // A minimised window is unmapped and mapped anew: Wayland has no request that undoes a
    // minimise, and a newly mapped window is shown and given the focus by every compositor and
    // X11 window manager. On Wayland an inactive window is remapped too: a compositor activates
    // a window only for a token of the user's own input, which a bus call does not carry.
    const bool wayland = QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
    if (isMinimized() || (wayland && isVisible() && !isActiveWindow())) {
        hide();
        setWindowState(windowState() & ~Qt::WindowMinimized);
    }
    show();
    raise();
    activateWindow();
}

void MainWindow::exitFromTray() {
    // Ends the program for real: a close that still arrives is accepted, not sent to the tray.
    // The window's destruction removes the icon.
    quitting_ = true;
    QCoreApplication::exit(0);
}

void MainWindow::onDestroy() {
    if (trayIcon_) trayIcon_->remove();
}

}  // namespace main_window
