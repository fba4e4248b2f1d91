// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SIGTERM, SIGINT and SIGHUP (logout, kill, Ctrl+C) reach the UI thread as a signal of this
// object, so that the program ends by its own exit path instead of dying or, when some library
// has put its own handlers in place, not ending at all.
//
// Threads: the system runs the handler on any thread; it only writes the signal number to a
// socket. The notifier reads it on the UI thread. One instance per process.

#include <QObject>

class QSocketNotifier;

namespace app {

class ExitSignals final : public QObject {
    Q_OBJECT
public:
    explicit ExitSignals(QObject* parent = nullptr);
    ~ExitSignals() override;  // the signals' default actions again

Q_SIGNALS:
    void received(int signalNumber);

private:
    void readPending();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace app
