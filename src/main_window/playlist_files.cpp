// SPDX-License-Identifier: GPL-3.0-or-later
// M3U playlist files: one full path per line.

#include <QAction>
#include <QToolButton>

#include "main_window/main_window.h"
#include "platform/code_page.h"
#include "platform/error_box.h"
#include "platform/file_dialogs.h"
#include "platform/message_box.h"
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
    // A line cannot hold a line break: such a path would be read back as two rows, the second
    // a bare name that plays (and deletes) another file. Those rows are left out and named.
    std::string text;
    std::vector<std::string> unwritable;
    for (int i = 0; i < playlist->count(); ++i) {
        const std::string& path = playlist->path(i);
        if (path.find_first_of("\r\n") != std::string::npos) {
            unwritable.push_back(path);
            continue;
        }
        text.append(path).append("\r\n");
    }
    platform::writeWholeFile(*chosen, text);
    if (unwritable.empty()) return;
    QString names;
    constexpr std::size_t kNamesShown = 10;
    for (std::size_t i = 0; i < std::min(unwritable.size(), kNamesShown); ++i) {
        QString shown = platform::toDisplayPath(unwritable[i]);
        shown.replace(QLatin1Char('\r'), QChar(0x21B5)).replace(QLatin1Char('\n'), QChar(0x21B5));
        names += QLatin1Char('\n') + shown;
    }
    if (unwritable.size() > kNamesShown) names += QStringLiteral(u"\n……");
    platform::messageBox(
        this,
        QStringLiteral(u"播放列表已保存，但以下 %1 个文件的路径含有换行符，播放列表的一行写不下，"
                       u"没有写入：")
                .arg(unwritable.size()) +
            names,
        QStringLiteral(u"保存播放列表"), platform::MB_OK | platform::MB_ICONINFORMATION);
}

}  // namespace main_window
