// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The benchmarks' children take one-line commands on stdin: a verb and, after one space, its
// argument.

#include <QCoreApplication>
#include <QSocketNotifier>

#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

namespace bench {

// Calls `handle(verb, argument)` on the UI thread for each line that arrives on stdin; the end
// of stdin quits the application. The caller keeps the notifier for as long as it listens.
inline std::unique_ptr<QSocketNotifier> onCommandLines(
    std::function<void(const std::string& verb, const std::string& arg)> handle) {
    auto notifier = std::make_unique<QSocketNotifier>(0, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated,
                     [handle = std::move(handle), pending = std::string()]() mutable {
                         char buffer[256];
                         const ssize_t n = read(0, buffer, sizeof buffer);
                         if (n <= 0) QCoreApplication::exit(0);
                         pending.append(buffer, std::size_t(std::max<ssize_t>(n, 0)));
                         for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
                             const std::string line = pending.substr(0, end);
                             pending.erase(0, end + 1);
                             const std::size_t space = line.find(' ');
                             handle(line.substr(0, space), space == std::string::npos
                                                               ? std::string()
                                                               : line.substr(space + 1));
                         }
                     });
    return notifier;
}

}  // namespace bench
