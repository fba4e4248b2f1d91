// SPDX-License-Identifier: GPL-3.0-or-later
// Walking a tree of 100,000 files in 5,000 folders for "*.mp3;*.wma", threaded, against
// find -iname over the same tree, warm cache. Target: at most 1.5 times find's time.
//   bench_search_walk [BASE_DIR]   (the tree is generated once under BASE_DIR)
#include <QCoreApplication>
#include <QEventLoop>

#include <atomic>
#include <cstdio>

#include "bench_tree.h"
#include "search/file_finder.h"

namespace {

// One threaded search; returns its wall seconds and the number of matches.
double walkOnce(const std::string& root, long& matches) {
    search::FileFinder finder;
    finder.setThreaded(true);
    finder.criteria().files().setFileName("*.mp3;*.wma");
    finder.criteria().files().setLocation(root);
    std::atomic<long> count{0};
    finder.onFileMatch = [&](search::FileFinder*, const std::string&, const search::SearchRecord&) {
        ++count;
    };
    QEventLoop loop;
    finder.onSearchFinish = [&](search::FileFinder*) { loop.quit(); };
    const double start = bench::now();
    finder.execute();
    loop.exec();
    const double took = bench::now() - start;
    matches = count;
    return took;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string base = argc > 1 ? argv[1] : "/tmp/vorela-bench";
    const std::string root = bench::walkTree(base);
    const std::vector<std::string> find = {"find", root,     "-iname", "*.mp3",
                                           "-o",   "-iname", "*.wma"};
    const long expected = bench::countLines("find '" + root + "' -iname '*.mp3' -o -iname '*.wma'");
    long matches = 0;
    bench::runQuiet(find);  // warm the cache
    walkOnce(root, matches);
    std::vector<double> ours, theirs;
    for (int round = 0; round < 7; ++round) {
        theirs.push_back(bench::runQuiet(find));
        ours.push_back(walkOnce(root, matches));
    }
    const double a = bench::median(ours), b = bench::median(theirs);
    std::printf("walk: finder %.1f ms, find %.1f ms (median of 7), matches %ld (find %ld)\n",
                a * 1e3, b * 1e3, matches, expected);
    std::printf("walk ratio finder/find: %.2f (target <= 1.5)\n", a / b);
    return matches == expected ? 0 : 1;
}
