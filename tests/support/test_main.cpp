// SPDX-License-Identifier: GPL-3.0-or-later
// The one main() of every test executable: a QApplication on the offscreen platform (unless a
// display was asked for explicitly), the user's locale, then GoogleTest.
#include <QApplication>

#include <gtest/gtest.h>

#include "platform/error_box.h"

#include <clocale>

// Defined by a test executable that has settings of its own; absent (null) otherwise.
extern const char* const vorelaTestEnvironment __attribute__((weak));

int main(int argc, char** argv) {
    // The executable's own settings (NAME=value lines, from vorela_add_test's ENV), unless the
    // caller set them already.
    if (&vorelaTestEnvironment != nullptr) {
        for (const QByteArray& entry : QByteArray(vorelaTestEnvironment).split('\n')) {
            const qsizetype eq = entry.indexOf('=');
            if (eq > 0 && qgetenv(entry.left(eq).constData()).isEmpty())
                qputenv(entry.left(eq).constData(), entry.mid(eq + 1));
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    std::setlocale(LC_ALL, "");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    platform::setApplicationTitle(QStringLiteral(u"Tamsir实用软件_VorelaMP3播放器"));
    return RUN_ALL_TESTS();
}
