// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/exit_signals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <stdexcept>

namespace app {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// Written by the handler, read by the UI thread; set before the handlers and reset after them.
int pipeEnds[2] = {-1, -1};

void onSignal(int signalNumber) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t n = write(pipeEnds[1], &byte, 1);
    errno = saved;
}

}  // namespace

ExitSignals::ExitSignals(QObject* parent) : QObject(parent) {
    if (pipeEnds[0] != -1) throw std::logic_error("ExitSignals exists already");
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipeEnds) != 0)
        throw std::runtime_error("socketpair failed");
    notifier_ = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ExitSignals::readPending);
    struct sigaction action {};
    action.sa_handler = &onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : kSignals) sigaction(signalNumber, &action, nullptr);
}

ExitSignals::~ExitSignals() {
    for (const int signalNumber : kSignals) std::signal(signalNumber, SIG_DFL);
    delete notifier_;
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void ExitSignals::readPending() {
    unsigned char byte = 0;
    while (read(pipeEnds[0], &byte, 1) == 1) Q_EMIT received(byte);
}

}  // namespace app
