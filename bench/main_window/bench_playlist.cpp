// SPDX-License-Identifier: GPL-3.0-or-later
// How the playlist scales, on the shown main window: a folder scan of 10,000 and 20,000 files
// against `ls -f` on the same folder, with the longest time a click waited during the scan;
// loading and saving an M3U file of 100,000 lines; and the heap each playlist row costs.
// Goals: the 10,000-file scan under 1 s, no click waiting over 100 ms, growth at most 2.5x;
// the M3U load under 1 s; at most 500 bytes per row. Run it with the accessibility bridge off
// and on, optionally with spinning processes as a heavily loaded machine:
//   bench/accessibility.sh off|on [--listener] bench_playlist [BASE_DIR] [--load N] [--scan-only]
#include <QAccessible>
#include <QApplication>
#include <QTableView>
#include <QTest>

#include <unistd.h>

#include <algorithm>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../search/bench_tree.h"
#include "../ui_bench.h"
#include "main_window/main_window.h"
#include "platform/file_dialogs.h"
#include "platform/system.h"

namespace {

// Answers every file dialog with one path.
class FixedDialogs final : public platform::FileDialogService {
public:
    std::string path;
    std::optional<std::string> runFileDialog(QWidget*,
                                             const platform::FileDialogSettings&) override {
        return path;
    }
    std::optional<std::string> chooseFolder(QWidget*, const QString&) override { return path; }
};

// `files` MP3s in one folder, named in a scrambled order so that rows do not arrive sorted.
std::string scanFolder(const std::string& base, int files) {
    const std::string dir = base + "/scan" + std::to_string(files);
    if (bench::exists(dir + "/.complete")) return dir;
    bench::makeDir(dir);
    for (int i = 0; i < files; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/track %05d.mp3", (i * 7919) % files);
        std::ofstream(dir + name);
    }
    std::ofstream(dir + "/.complete") << files;
    return dir;
}

}  // namespace

int main(int argc, char** argv) {
    std::string base = "/tmp/vorela-bench";
    int load = 0;
    bool scanOnly = false;  // for profiling the scan
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--load") == 0 && i + 1 < argc) {
            load = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--scan-only") == 0) {
            scanOnly = true;
        } else {
            base = argv[i];
        }
    }
    bench::makeDir(base);
    const std::string scans[] = {scanFolder(base, 10000), scanFolder(base, 20000)};
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (qEnvironmentVariableIsEmpty("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    auto dialogs = std::make_unique<FixedDialogs>();
    FixedDialogs* fixed = dialogs.get();
    platform::setFileDialogService(std::move(dialogs));
    main_window::MainWindow window;
    window.show();  // a shown window repaints, as it does for a user
    if (!QTest::qWaitForWindowExposed(&window)) return 1;
    std::printf("accessibility bridge: %s; collation: %s; busy processes: %d\n",
                bench::accessibilityBridge(), std::setlocale(LC_COLLATE, nullptr), load);
    const std::unique_ptr<bench::BusyLoad> busy =
        load > 0 ? std::make_unique<bench::BusyLoad>(load) : nullptr;
    bench::ResponseProbe probe;

    const std::string saved = platform::currentDirectory();
    double scanned[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
        const int files = k == 0 ? 10000 : 20000;
        std::vector<double> ours, ls, waits;
        for (int round = 0; round < 3; ++round) {
            ls.push_back(bench::runQuiet({"ls", "-f", scans[k]}));
            window.playlist->clear();
            platform::setCurrentDirectory(scans[k]);
            QCoreApplication::processEvents();
            probe.start();
            const double start = bench::now();
            window.addFolderFiles("*.mp3");
            ours.push_back(bench::now() - start);
            waits.push_back(probe.stop());
        }
        scanned[k] = bench::medianOf(ours);
        std::printf(
            "folder scan, %5d files: %6.0f ms (ls -f %4.1f ms, ratio %.0fx); longest wait for a "
            "click %.0f ms (goal < 100)\n",
            files, scanned[k] * 1e3, bench::medianOf(ls) * 1e3, scanned[k] / bench::medianOf(ls),
            bench::medianOf(waits));
    }
    platform::setCurrentDirectory(saved);
    std::printf("folder scan growth, 20000 vs 10000 files: %.2fx (goal <= 2.5x)\n",
                scanned[1] / scanned[0]);
    if (scanOnly) return 0;

    // A scan into a playlist of 40,000 rows that a screen reader has read through: every cell
    // has an accessible object that each added row makes the view update.
    {
        const std::string list = base + "/read.m3u";
        {
            std::ofstream out(list, std::ios::binary);
            for (int i = 0; i < 40000; ++i)
                out << "/music/album " << i % 400 << "/song " << i << ".mp3\n";
        }
        window.playlist->clear();
        fixed->path = list;
        window.openPlaylist();
        QCoreApplication::processEvents();
        int cells = 0;
        if (QAccessibleInterface* table =
                QAccessible::queryAccessibleInterface(window.playlistView)) {
            for (int r = 0; r < window.playlist->count(); ++r) {
                for (int c = 0; c < 2; ++c)
                    cells += table->tableInterface()->cellAt(r, c) != nullptr;
            }
        }
        const std::string small = scanFolder(base, 1000);
        platform::setCurrentDirectory(small);
        probe.start();
        const double start = bench::now();
        window.addFolderFiles("*.mp3");
        const double took = bench::now() - start;
        const double wait = probe.stop();
        platform::setCurrentDirectory(saved);
        std::printf(
            "folder scan, 1000 files, into 40000 rows with %d cells read: %.0f ms; longest wait "
            "for a click %.0f ms\n",
            cells, took * 1e3, wait);
    }

    const std::string list = base + "/big.m3u";
    {
        std::ofstream out(list, std::ios::binary);
        for (int i = 0; i < 100000; ++i) {
            out << "/home/user/Music/Artist " << i % 500 << "/Album " << i % 7 << "/"
                << (i * 7919) % 100000 << " - Song title.mp3\r\n";
        }
    }
    std::vector<double> loads, saves, perRow;
    for (int round = 0; round < 3; ++round) {
        window.playlist->clear();
        QCoreApplication::processEvents();
        const std::size_t heapBefore = bench::heapInUse();
        fixed->path = list;
        double start = bench::now();
        window.openPlaylist();
        loads.push_back(bench::now() - start);
        QCoreApplication::processEvents();  // the view lays the rows out and paints
        perRow.push_back(static_cast<double>(bench::heapInUse() - heapBefore) /
                         window.playlist->count());
        fixed->path = base + "/saved.m3u";
        start = bench::now();
        window.savePlaylist();
        saves.push_back(bench::now() - start);
    }
    std::printf("M3U of 100000 lines: load %.0f ms, save %.0f ms (goal < 1000 ms each); %d rows\n",
                bench::medianOf(loads) * 1e3, bench::medianOf(saves) * 1e3,
                window.playlist->count());
    std::size_t pathBytes = 0;
    for (int i = 0; i < window.playlist->count(); ++i) pathBytes += window.playlist->path(i).size();
    std::printf("heap per playlist row: %.0f bytes (goal <= 500; paths of %.0f bytes on average)\n",
                bench::medianOf(perRow),
                static_cast<double>(pathBytes) / std::max(1, window.playlist->count()));
    std::remove((base + "/saved.m3u").c_str());
    return 0;
}
