// How the playlist scales: a folder scan of 10,000 and 20,000 files against `ls -f` on the same
// folder, and loading and saving an M3U file of 100,000 lines.
//
// The scan must stay near-linear (20,000 files at most 2.5x the time of 10,000) while every
// added row is visible in sorted order at once and events are processed per match.

#include <QApplication>

#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "main_window/main_window.h"
#include "platform/file_dialogs.h"
#include "platform/system.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

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

double seconds(const std::function<void()>& f, int runs) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

fs::path makeFolder(const fs::path& root, int files) {
    const fs::path dir = root / ("f" + std::to_string(files));
    fs::create_directories(dir);
    char name[64];
    for (int i = 0; i < files; ++i) {
        // Names in a scrambled order, so that rows do not arrive already sorted.
        std::snprintf(name, sizeof name, "track %05d.mp3", (i * 7919) % files);
        std::ofstream(dir / name);
    }
    return dir;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("SDL_AUDIODRIVER", "dummy");
    QApplication app(argc, argv);
    auto dialogs = std::make_unique<FixedDialogs>();
    FixedDialogs* fixed = dialogs.get();
    platform::setFileDialogService(std::move(dialogs));
    main_window::MainWindow window;
    window.show();  // a shown window repaints, as it does for a user

    const fs::path root =
        fs::temp_directory_path() / ("vorela-bench-" + std::to_string(::getpid()));
    fs::create_directories(root);
    const std::string saved = platform::currentDirectory();

    double scan[2] = {0, 0};
    int index = 0;
    for (int files : {10000, 20000}) {
        const fs::path dir = makeFolder(root, files);
        const std::string ls = "ls -f '" + dir.string() + "' > /dev/null";
        const double tls = seconds([&] { (void)std::system(ls.c_str()); }, 5);
        platform::setCurrentDirectory(dir.string());
        const double t = seconds(
            [&] {
                window.playlist->clear();
                window.addFolderFiles("*.mp3");
            },
            3);
        scan[index++] = t;
        std::printf("folder scan, %5d files: %7.1f ms  (ls -f %5.1f ms, ratio %.1fx)\n", files,
                    t * 1e3, tls * 1e3, t / tls);
    }
    platform::setCurrentDirectory(saved);
    std::printf("folder scan growth, 20000 vs 10000 files: %.2fx (goal <= 2.5x)\n",
                scan[1] / scan[0]);

    const fs::path list = root / "big.m3u";
    {
        std::ofstream out(list, std::ios::binary);
        for (int i = 0; i < 100000; ++i)
            out << "/music/album " << i % 500 << "/song " << (i * 7919) % 100000 << ".mp3\r\n";
    }
    fixed->path = list.string();
    const double load = seconds(
        [&] {
            window.playlist->clear();
            window.openPlaylist();
        },
        3);
    fixed->path = (root / "saved.m3u").string();
    const double save = seconds([&] { window.savePlaylist(); }, 3);
    std::printf("M3U of 100000 lines: load %.0f ms, save %.0f ms (goal < 1000 ms each)\n",
                load * 1e3, save * 1e3);
    fs::remove_all(root);
    return 0;
}
