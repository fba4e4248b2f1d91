// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for loading M3U playlists into the playlist: the input (after its first byte,
// which picks the locale) is written to a file and loaded through the main window's
// open-playlist command, as a user's file would be. Then:
// - every row names a path that the file holds;
// - the model gives the rows the order that adding them one by one gives, also when some rows
//   were in the list before.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <QAction>

#include "fuzz_support.h"
#include "playlist_window.h"
#include "main_window/playlist_model.h"

namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;  // folder, caption

Rows rowsOf(const main_window::PlaylistModel& model) {
    Rows out;
    for (int i = 0; i < model.count(); ++i)
        out.emplace_back(model.row(i).folder(), model.row(i).caption());
    return out;
}

void reportDifference(const Rows& bulk, const Rows& oneByOne) {
    std::fprintf(stderr, "bulk load gives %zu rows, one by one %zu\n", bulk.size(),
                 oneByOne.size());
    for (std::size_t i = 0; i < std::max(bulk.size(), oneByOne.size()); ++i) {
        const auto at = [i](const Rows& r) {
            return i < r.size() ? "\"" + r[i].first + "\" \"" + r[i].second + "\"" : "-";
        };
        std::fprintf(stderr, "%4zu %s | %s\n", i, at(bulk).c_str(), at(oneByOne).c_str());
    }
}

// The model's promise: `before` added one by one, then `loaded` at once, orders the rows as
// adding all of them one by one does.
void checkBulkOrder(const Rows& before, const Rows& loaded) {
    main_window::PlaylistModel bulk;
    main_window::PlaylistModel oneByOne;
    for (const auto& [folder, caption] : before) {
        bulk.addRow(folder, caption);
        oneByOne.addRow(folder, caption);
    }
    bulk.addRows(loaded);
    for (const auto& [folder, caption] : loaded) oneByOne.addRow(folder, caption);
    const Rows a = rowsOf(bulk);
    const Rows b = rowsOf(oneByOne);
    if (a != b) reportDifference(a, b);
    fuzz_support::check(a == b, "a bulk load orders rows as adding them one by one does");
    for (int i = 0; i < bulk.count(); ++i) {
        fuzz_support::check(bulk.containsPath(bulk.path(i)), "every row's path is known");
        fuzz_support::check(bulk.findPath(bulk.path(i)) <= i, "findPath finds the first row");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz_support::PlaylistWindow loader;
    if (size == 0) return 0;
    fuzz_support::useLocale(data[0]);
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    fuzz_support::putFile(loader.path, text);

    main_window::MainWindow& window = *loader.window;
    window.clearListAction->trigger();
    const int boxesBefore = loader.boxes->shown;
    window.openPlaylistAction->trigger();
    fuzz_support::check(loader.boxes->shown == boxesBefore, "a readable playlist loads silently");

    // Every row is a path of the file: its folder and caption, joined, appear in the text.
    const Rows loaded = rowsOf(*window.playlist);
    std::size_t lineEnds = 0;
    for (char c : text) lineEnds += c == '\n' || c == '\r';
    fuzz_support::check(loaded.size() <= lineEnds + 1, "no more rows than lines");
    std::vector<std::pair<std::size_t, std::size_t>> fileOrder;  // where in the text, row
    for (std::size_t i = 0; i < loaded.size(); ++i) {
        const std::string path = loaded[i].first + loaded[i].second;
        const std::size_t at = text.find(path);
        fuzz_support::check(at != std::string_view::npos, "every row is a line of the file");
        fileOrder.emplace_back(at, i);
    }

    // The same rows, in about the order the file gives them, against the model's promise:
    // all at once, and half of them after the other half.
    std::stable_sort(fileOrder.begin(), fileOrder.end());
    Rows inFileOrder;
    for (const auto& [at, i] : fileOrder) inFileOrder.push_back(loaded[i]);
    checkBulkOrder({}, inFileOrder);
    const auto half = static_cast<std::ptrdiff_t>(inFileOrder.size() / 2);
    checkBulkOrder(Rows(inFileOrder.begin(), inFileOrder.begin() + half),
                   Rows(inFileOrder.begin() + half, inFileOrder.end()));
    return 0;
}
