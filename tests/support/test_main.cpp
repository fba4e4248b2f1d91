// The one main() of every test executable: a QApplication on the offscreen platform (unless a
// display was asked for explicitly), the user's locale, then GoogleTest.
#include <QApplication>

#include <gtest/gtest.h>

#include "platform/error_box.h"

#include <clocale>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    std::setlocale(LC_ALL, "");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    platform::setApplicationTitle(QStringLiteral(u"Tamsir实用软件_VorelaMP3播放器"));
    return RUN_ALL_TESTS();
}
