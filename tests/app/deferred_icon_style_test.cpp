// SPDX-License-Identifier: GPL-3.0-or-later
// The application style's standard icons: nothing of them is made before they are drawn (no
// image-format plugin is loaded for a menu bar or a folder icon), and once drawn they are the
// base style's own, pixel for pixel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFileIconProvider>
#include <QImage>
#include <QMenuBar>
#include <QPainter>
#include <QStyleFactory>

#include <memory>

#include "app/deferred_icon_style.h"

namespace {

// How many image-format plugins this process has mapped.
int mappedImagePlugins() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly)) return -1;
    QList<QByteArray> seen;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const qsizetype at = line.indexOf("/imageformats/");
        if (at >= 0 && !seen.contains(line.mid(at))) seen << line.mid(at);
    }
    return int(seen.size());
}

TEST(DeferredIconStyle, MakesStandardIconsWhenDrawnAndDrawsTheBaseStylesOwn) {
    const QString key = QApplication::style()->name();
    QApplication::setStyle(new app::DeferredIconStyle(key));
    // Each test case runs in a process of its own: nothing has read an image yet.
    const int pluginsBefore = mappedImagePlugins();

    // What a start-up asks for: the menu bar's overflow arrow, the folder tree's icon.
    auto bar = std::make_unique<QMenuBar>();
    const QIcon folder = QFileIconProvider().icon(QFileIconProvider::Folder);
    EXPECT_EQ(mappedImagePlugins(), pluginsBefore);

    const std::unique_ptr<QStyle> base(QStyleFactory::create(key));
    ASSERT_NE(base, nullptr);
    for (const QStyle::StandardPixmap which :
         {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_DirIcon,
          QStyle::SP_MessageBoxInformation, QStyle::SP_MessageBoxCritical,
          QStyle::SP_TitleBarCloseButton}) {
        SCOPED_TRACE(int(which));
        const QIcon deferred = QApplication::style()->standardIcon(which);
        const QIcon own = base->standardIcon(which);
        EXPECT_EQ(deferred.isNull(), own.isNull());
        EXPECT_EQ(deferred.availableSizes(), own.availableSizes());
        for (const int side : {16, 32}) {
            EXPECT_EQ(deferred.actualSize(QSize(side, side)), own.actualSize(QSize(side, side)));
            EXPECT_EQ(deferred.pixmap(side).toImage(), own.pixmap(side).toImage());
            EXPECT_EQ(deferred.pixmap(side, QIcon::Disabled).toImage(),
                      own.pixmap(side, QIcon::Disabled).toImage());
            // Painted into a larger rectangle, centred as QIcon::paint centres.
            QImage expected(side + 8, side + 8, QImage::Format_ARGB32_Premultiplied);
            expected.fill(Qt::transparent);
            QImage viaPaint = expected;
            QPainter p(&expected);
            own.paint(&p, expected.rect());
            p.end();
            QPainter q(&viaPaint);
            deferred.paint(&q, viaPaint.rect());
            q.end();
            EXPECT_EQ(viaPaint, expected);
        }
    }
    EXPECT_EQ(folder.pixmap(16).toImage(),
              base->standardIcon(QStyle::SP_DirIcon).pixmap(16).toImage());
}

}  // namespace
