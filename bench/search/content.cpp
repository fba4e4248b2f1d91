// SPDX-License-Identifier: GPL-3.0-or-later
// Content search for a 12-byte phrase, ignore-case, over 1 GB of generated files that do not
// hold it, against grep -rliF over the same tree, warm cache. Target: at least 0.7 times
// grep's throughput.
//   bench_search_content [BASE_DIR]   (the files are generated once under BASE_DIR)
#include <QCoreApplication>

#include <cstdio>
#include <random>

#include "bench_tree.h"
#include "search/file_finder.h"

namespace {

constexpr const char* kPhrase = "QuartzPhlox7";  // 12 bytes; a digit the text never has

// 256 files of 4 MiB of lower-case words, in 16 folders.
std::string contentTree(const std::string& base) {
    const std::string root = base + "/content-tree";
    if (bench::exists(root + "/.complete")) return root;
    bench::makeDir(base);
    bench::makeDir(root);
    std::mt19937 rng(42);
    std::string block(4 << 20, ' ');
    for (int d = 0; d < 16; ++d) {
        const std::string dir = root + "/d" + std::to_string(d);
        bench::makeDir(dir);
        for (int f = 0; f < 16; ++f) {
            for (char& c : block) {
                const unsigned r = rng() % 32;
                c = r < 26 ? static_cast<char>('a' + r) : r < 30 ? ' ' : '\n';
            }
            std::ofstream(dir + "/f" + std::to_string(f) + ".txt", std::ios::binary) << block;
        }
    }
    std::ofstream(root + "/.complete") << "256";
    return root;
}

double searchOnce(const std::string& root, long& matches) {
    search::FileFinder finder;
    finder.criteria().files().setLocation(root);
    finder.criteria().files().setFileName("*.txt");
    finder.criteria().content().setPhrase(kPhrase);
    long count = 0;
    finder.onFileMatch = [&](search::FileFinder*, const std::string&, const search::SearchRecord&) {
        ++count;
    };
    const double start = bench::now();
    finder.execute();
    matches = count;
    return bench::now() - start;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string base = argc > 1 ? argv[1] : "/tmp/vorela-bench";
    const std::string root = contentTree(base);
    const double bytes = 256.0 * (4 << 20);
    // grep exits with 1 when nothing matches.
    const std::vector<std::string> grep = {"grep", "-rliF", kPhrase, root};
    long matches = 0;
    bench::runQuiet(grep, 1);  // warm the cache
    searchOnce(root, matches);
    std::vector<double> ours, theirs;
    for (int round = 0; round < 5; ++round) {
        theirs.push_back(bench::runQuiet(grep, 1));
        ours.push_back(searchOnce(root, matches));
    }
    const double a = bench::median(ours), b = bench::median(theirs);
    std::printf(
        "content: finder %.0f ms (%.2f GB/s), grep %.0f ms (%.2f GB/s), median of 5, "
        "matches %ld\n",
        a * 1e3, bytes / a / 1e9, b * 1e3, bytes / b / 1e9, matches);
    std::printf("content throughput ratio finder/grep: %.2f (target >= 0.7)\n", b / a);
    return matches == 0 ? 0 : 1;
}
