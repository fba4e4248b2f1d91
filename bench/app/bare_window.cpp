// SPDX-License-Identifier: GPL-3.0-or-later
// The reference for the start-up benchmark: a bare Qt 6 Widgets window with one label, shown
// and left idle.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("bare"));
    window.resize(362, 364);
    window.show();
    return QApplication::exec();
}
