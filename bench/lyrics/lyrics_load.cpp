// SPDX-License-Identifier: GPL-3.0-or-later
// Loading a lyric file into the lyrics window, from the call to the rows painted, for files a
// player meets: an ordinary song's lyrics, the largest files still taken (1 MiB in 5,000 lines,
// and 1 MiB in one line, which once held the window for a second), and files that are no
// lyrics (a megabyte and 16 MiB of empty lines, which once took 16 s and 4 GB). The reference
// is `wc -l` over the same file, in the same run. Goal: the window answers within 100 ms
// whatever the file.
#include <QApplication>
#include <QListWidget>

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../ui_bench.h"
#include "bench_tree.h"
#include "lyrics/lyrics_window.h"

namespace {

constexpr int kRuns = 5;
constexpr double kGoalMs = 100.0;

std::string lines(int count, const std::string& text) {
    std::string out;
    for (int i = 0; i < count; ++i) out += text + "\r\n";
    return out;
}

// About `bytes` bytes of GBK text (歌词 repeated).
std::string gbk(std::size_t bytes) {
    std::string text;
    while (text.size() + 4 <= bytes) text += "\xB8\xE8\xB4\xCA";
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const char* const temporary = std::getenv("TMPDIR");
    std::string folder =
        std::string(temporary && *temporary ? temporary : "/tmp") + "/lyrics_load_XXXXXX";
    if (!::mkdtemp(folder.data())) return 1;

    lyrics::LyricsWindow::setFadeDuration(0);
    lyrics::LyricsWindow window;
    window.show();
    const struct {
        const char* name;
        std::string bytes;
    } files[] = {
        {"song (80 lines)", lines(80, "[01:23.45]words of a song")},
        {"largest taken (5000 lines, 1 MiB)", lines(5000, "[01:23.45]" + std::string(190, 'x'))},
        {"largest taken, GBK", lines(5000, "[01:23.45]" + gbk(190))},
        {"one line of 1 MiB", lines(1, "[00:01.00]" + std::string((1 << 20) - 12, 'x'))},
        {"one line of 1 MiB, GBK", lines(1, "[00:01.00]" + gbk((1 << 20) - 12))},
        {"1 MiB of empty lines", std::string((1 << 20) - 1, '\n')},
        {"16 MiB of empty lines", std::string(16 << 20, '\n')},
    };
    bool met = true;
    for (const auto& f : files) {
        const std::string lrc = folder + "/track.lrc";
        std::ofstream(lrc, std::ios::binary) << f.bytes;
        std::vector<double> took, reference;
        int rows = 0;
        for (int run = 0; run < kRuns; ++run) {
            reference.push_back(bench::runQuiet({"wc", "-l", lrc}) * 1e3);
            const double start = bench::now();
            window.lyricsList->clear();
            window.loadLyrics(folder + "/track.mp3");
            // Laid out and painted as the window shows it.
            window.lyricsList->viewport()->repaint();
            QCoreApplication::processEvents();
            took.push_back((bench::now() - start) * 1e3);
            rows = window.lyricsList->count();
        }
        const double ms = bench::medianOf(took);
        met = met && ms <= kGoalMs;
        std::printf("%-36s %8.1f ms (goal %.0f ms: %s), %d rows; wc -l %.1f ms, ratio %.2fx\n",
                    f.name, ms, kGoalMs, ms <= kGoalMs ? "met" : "MISSED", rows,
                    bench::medianOf(reference), ms / bench::medianOf(reference));
    }
    std::filesystem::remove_all(folder);
    return met ? 0 : 1;
}
