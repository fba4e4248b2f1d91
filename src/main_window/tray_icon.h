// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's notification-area icon, behind a small interface: the desktop's own
// (QSystemTrayIcon) in the program, a double in tests that run where no tray exists.
//
// UI thread only.

#include <QObject>

#include <memory>

class QIcon;
class QMenu;
class QString;

namespace main_window {

class TrayIcon : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // True when the desktop has a notification area to put the icon in; asked at every close.
    virtual bool isSystemTrayAvailable() const = 0;
    // Shows the icon with the picture `icon` and the tip `tip`. Adding a shown icon again only
    // updates it.
    virtual void add(const QIcon& icon, const QString& tip) = 0;
    // Removes the icon; removing an absent icon does nothing.
    virtual void remove() = 0;
    virtual bool isShown() const = 0;

Q_SIGNALS:
    // The user released `button` on the icon. Always emitted from the event loop, never inside
    // add() or remove(), so that a receiver may remove the icon.
    void buttonReleased(Qt::MouseButton button);
};

// The desktop's notification-area icon with `menu` as its pop-up menu (which the icon opens
// itself on the right button, so it reports left releases only); `menu` must outlive it.
std::unique_ptr<TrayIcon> makeSystemTrayIcon(QMenu* menu = nullptr);

}  // namespace main_window
