// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's style: the desktop's own, except that the standard icons it is asked for
// (the menu bar's overflow arrow, the folder icon of the search dialog's tree, a message box's
// icon) are made only when first drawn or measured. The base style makes them from image files
// and the icon theme, which loads every image-format plugin and reads the theme's index: work
// and memory spent at start-up on icons that are not on the screen yet, and some never are.
// What is drawn is the base style's icon, unchanged.
//
// UI thread only.

#include <QProxyStyle>

namespace app {

class DeferredIconStyle final : public QProxyStyle {
    Q_OBJECT
public:
    // Wraps a new instance of the style named `baseKey` (a QStyleFactory key).
    explicit DeferredIconStyle(const QString& baseKey);

    // Asked without a style option, the icon is the base style's, made on first use; with one,
    // it is made at once (it may depend on the option).
    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};

// Sets a DeferredIconStyle over the application's current style (the desktop's, or the one
// chosen with -style or QT_STYLE_OVERRIDE). Call before any widget is made.
void installDeferredIconStyle();

}  // namespace app
