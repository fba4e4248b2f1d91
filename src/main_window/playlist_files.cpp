// M3U playlist files: one full path per line.

#include <QAction>
#include <QToolButton>

#include "main_window/main_window.h"
#include "platform/error_box.h"
#include "platform/file_dialogs.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "platform/text_file.h"

namespace main_window {

void MainWindow::connectPlaylistFiles() {
    bind(openPlaylistAction, &MainWindow::openPlaylist);
    bind(savePlaylistAction, &MainWindow::savePlaylist);
}

void MainWindow::openPlaylist() {
    const auto chosen = platform::fileDialogs().runFileDialog(this, openPlaylistDialog);
    platform::trimWorkingSet();  // the dialog has closed
    if (!chosen) return;
    const std::string text = platform::readWholeFile(*chosen, platform::kPlaylistFileLimit);
    PlaylistModel::NewRows rows;
    for (std::string& line : platform::splitLines(text)) {
        // Comments and directives of the format (#EXTM3U, #EXTINF:...) and empty lines name
        // no file. Every other line is a path, taken exactly as written.
        if (line.empty() || line.front() == '#') continue;
        const auto split = platform::paths::split(line);
        rows.emplace_back(std::string(split.folder), std::string(split.name));
    }
    playlist->addRows(std::move(rows));
    playButton->setEnabled(true);
}

void MainWindow::savePlaylist() {
    const auto chosen = platform::fileDialogs().runFileDialog(this, savePlaylistDialog);
    platform::trimWorkingSet();  // the dialog has closed
    if (!chosen) return;
    std::string text;
    for (int i = 0; i < playlist->count(); ++i) {
        text.append(playlist->path(i)).append("\r\n");
    }
    platform::writeWholeFile(*chosen, text);
}

}  // namespace main_window
