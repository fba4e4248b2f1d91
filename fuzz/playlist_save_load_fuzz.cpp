// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for saving and loading the playlist with names of any bytes: the input's first
// byte picks the locale; the rest, split at NUL bytes (which no name holds), are file names in
// a folder, added as a scan or a drop adds them. The main window's save command writes them,
// its load command reads the file back into an empty list. Then:
// - every row whose path a line can hold comes back exactly, and no other row comes back: a
//   name with a line break must never turn into other rows (another file, played and deleted);
// - the save names the rows it left out in a box, and only then.
#include <QAction>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "playlist_window.h"
#include "main_window/playlist_model.h"
#include "platform/paths.h"

namespace {

using Paths = std::vector<std::string>;

Paths pathsOf(const main_window::PlaylistModel& model) {
    Paths out;
    for (int i = 0; i < model.count(); ++i) out.push_back(model.path(i));
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz_support::PlaylistWindow w;
    if (size == 0) return 0;
    fuzz_support::useLocale(data[0]);
    const std::string_view names(reinterpret_cast<const char*>(data) + 1, size - 1);
    main_window::MainWindow& window = *w.window;
    window.clearListAction->trigger();

    main_window::PlaylistModel::NewRows rows;
    Paths writable;
    bool anyUnwritable = false;
    for (std::size_t start = 0; start <= names.size();) {
        const std::size_t end = std::min(names.find('\0', start), names.size());
        const std::string path = "/music/" + std::string(names.substr(start, end - start));
        const platform::paths::Split split = platform::paths::split(path);
        rows.emplace_back(std::string(split.folder), std::string(split.name));
        if (path.find_first_of("\r\n") == std::string::npos) {
            writable.push_back(path);
        } else {
            anyUnwritable = true;
        }
        start = end + 1;
    }
    window.addRows(std::move(rows));

    const int boxesBefore = w.boxes->shown;
    window.savePlaylistAction->trigger();
    fuzz_support::check((w.boxes->shown > boxesBefore) == anyUnwritable,
                        "the save names the rows it leaves out, and only then");
    window.clearListAction->trigger();
    window.openPlaylistAction->trigger();
    std::sort(writable.begin(), writable.end());
    fuzz_support::check(pathsOf(*window.playlist) == writable,
                        "every row a line can hold comes back, and nothing else");
    return 0;
}
