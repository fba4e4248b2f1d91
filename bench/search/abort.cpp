// SPDX-License-Identifier: GPL-3.0-or-later
// How fast a stop returns control during a large threaded walk, with handlers that hand every
// match and folder to the UI thread and wait for it (Qt's blocking queued call): the search
// dialog's no longer wait, so this is the worst a caller of the finder can do. Reported:
// the time Abort takes to return (target: within 100 ms) and the time until the finish event.
// The reference is the same process's event turnaround (one blocking queued call).
//   bench_search_abort [BASE_DIR]
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>

#include "bench_tree.h"
#include "search/file_finder.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string base = argc > 1 ? argv[1] : "/tmp/vorela-bench";
    const std::string root = bench::walkTree(base);
    QObject ui;
    const auto call = [&ui](const std::function<void()>& f) {
        QMetaObject::invokeMethod(&ui, f, Qt::BlockingQueuedConnection);
    };
    std::vector<double> abortTimes, finishTimes;
    long lastMatches = 0;
    for (int round = 0; round < 9; ++round) {
        search::FileFinder finder;
        finder.setThreaded(true);
        finder.criteria().files().setFileName("*.mp3;*.wma");
        finder.criteria().files().setLocation(root);
        std::atomic<long> matches{0};
        finder.onFileMatch = [&](search::FileFinder*, const std::string&,
                                 const search::SearchRecord&) { call([&] { ++matches; }); };
        finder.onFolderChange = [&](search::FileFinder*, const std::string&,
                                    search::FolderIgnore&) { call([] {}); };
        QEventLoop loop;
        double abortedAt = 0;
        finder.onSearchFinish = [&](search::FileFinder*) {
            finishTimes.push_back(bench::now() - abortedAt);
            loop.quit();
        };
        // Stop after a while into the walk, from the UI thread's event loop.
        QTimer::singleShot(150 + 40 * round, [&] {
            abortedAt = bench::now();
            finder.abort();
            abortTimes.push_back(bench::now() - abortedAt);
        });
        finder.execute();
        loop.exec();
        lastMatches = matches;
    }
    // The reference: one blocking call from a worker to this thread, served by the loop.
    std::atomic<double> roundTrip{0};
    std::thread probe([&] {
        const double s = bench::now();
        for (int i = 0; i < 1000; ++i) {
            call([] {});
        }
        roundTrip = (bench::now() - s) / 1000;
        QMetaObject::invokeMethod(
            &ui, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    app.exec();
    probe.join();
    const double a = bench::median(abortTimes);
    double worst = 0;
    for (double t : abortTimes) worst = std::max(worst, t);
    std::printf(
        "abort: Abort returned in %.3f ms median, %.3f ms worst (9 stops); finish event "
        "%.3f ms after the stop; matches before the stop %ld\n",
        a * 1e3, worst * 1e3, bench::median(finishTimes) * 1e3, lastMatches);
    std::printf("abort ratio to one UI round trip (%.3f ms): %.1f; target: Abort within 100 ms\n",
                roundTrip.load() * 1e3, a / roundTrip.load());
    return worst <= 0.1 ? 0 : 1;
}
