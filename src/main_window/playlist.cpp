// SPDX-License-Identifier: GPL-3.0-or-later
// The list's row commands: selection-driven enabling, remove, clear, delete from disk and the
// file properties.

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QShortcut>
#include <QPersistentModelIndex>
#include <QTableView>

#include <algorithm>
#include <functional>
#include <vector>

#include "main_window/main_window.h"
#include "platform/code_page.h"
#include "platform/error_box.h"
#include "platform/message_box.h"
#include "platform/shell.h"
#include "platform/system.h"
#include "playback/device_loader.h"
#include "playback/media_player.h"

namespace main_window {
namespace {

// The selected rows, bottom first. Taken once, before anything is removed: as a selected row
// goes the view moves its current row, and with it the selection, to a neighbour, which must
// not be removed in turn.
std::vector<int> selectedRowsBottomUp(const QItemSelectionModel& selection) {
    std::vector<int> rows;
    for (const QModelIndex& index : selection.selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

}  // namespace

void MainWindow::connectPlaylist() {
    connect(playlistView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            platform::guarded(this, &MainWindow::onSelectionChanged));
    // Removing the selected row (or every row) takes the selection with it; the row commands
    // follow that too.
    connect(playlist, &QAbstractItemModel::rowsRemoved, this,
            platform::guarded(this, &MainWindow::onSelectionChanged));
    connect(playlist, &QAbstractItemModel::modelReset, this,
            platform::guarded(this, &MainWindow::onSelectionChanged));
    // What playing a row needs is loaded on a worker as soon as the list has the row, so that
    // the first play does not wait for it on this thread.
    connect(playlist, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                for (int row = first; row <= last; ++row)
                    playback::prepareToPlay(playlist->path(row));
            });
    // Return (or Enter) on the list plays the row under the focus mark, as a double click on it
    // does; not while a caption is being edited, when the editor has the keys.
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(key, playlistView, nullptr, nullptr, Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this,
                platform::guarded(this, &MainWindow::playFocusedRow));
    }
    connect(playlistView, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        playlistMenu->popup(playlistView->viewport()->mapToGlobal(at));
    });
    bind(removeRowAction, &MainWindow::removeSelectedRows);
    bind(clearListAction, &MainWindow::clearPlaylist);
    bind(deleteFileAction, &MainWindow::deleteSelectedFile);
    bind(fileInfoAction, &MainWindow::showFileInfo);
}

void MainWindow::onSelectionChanged() {
    const bool selected = selectedRow() != -1;
    for (QAction* item : {playRowAction, removeRowAction, deleteFileAction, fileInfoAction})
        item->setEnabled(selected);
}

void MainWindow::playFocusedRow() {
    // Tabbing into the list puts the focus mark on a row without selecting it; the play command
    // takes the selected row, so the focused one becomes it first.
    const QModelIndex focused = playlistView->currentIndex();
    if (focused.isValid()) selectRow(focused.row());
    play();
}

void MainWindow::removeSelectedRows() {
    const std::vector<int> rows = selectedRowsBottomUp(*playlistView->selectionModel());
    // One update of the list, redrawn once at the end.
    playlistView->setUpdatesEnabled(false);
    for (const int row : rows) playlist->removeRow(row);
    // The view moves the selection to a neighbour of a row that goes; the user chose none.
    if (!rows.empty()) playlistView->selectionModel()->clearSelection();
    playlistView->setUpdatesEnabled(true);
}

void MainWindow::clearPlaylist() {
    playlist->clear();
}

void MainWindow::deleteSelectedFile() {
    // The row the user chose. The box below runs the event loop, where the end of a track can
    // select and play the next row: that one must not be deleted instead.
    const int chosen = selectedRow();
    if (chosen == -1) return;
    const QPersistentModelIndex target = playlist->index(chosen, 0);
    if (platform::messageBox(
            this, QStringLiteral(u"确实要删除此文件吗？"), QStringLiteral(u"确认删除"),
            platform::MB_YESNO | platform::MB_ICONINFORMATION) != platform::IDYES) {
        return;
    }
    if (player->mode() == playback::PlayerMode::Playing) stop();
    if (!target.isValid()) return;  // the row went while the box was open
    const std::string path = playlist->path(target.row());
    try {
        platform::deleteFile(path);  // a file that is already gone just loses its row
    } catch (const platform::SystemError& error) {
        // The file is still there: say why, and keep its row.
        platform::messageBox(this,
                             QStringLiteral(u"无法删除文件 \"") + platform::toDisplayPath(path) +
                                 QStringLiteral(u"\"：") + platform::errorMessage(error),
                             QStringLiteral(u"错误"), platform::MB_OK | platform::MB_ICONERROR);
        return;
    }
    // The selection goes with the row, unless the advance chose another one meanwhile.
    const bool selected = playlistView->selectionModel()->isRowSelected(target.row(), {});
    playlist->removeRow(target.row());
    if (selected) playlistView->selectionModel()->clearSelection();
}

void MainWindow::showFileInfo() {
    const int selected = selectedRow();
    if (selected != -1) platform::showFileProperties(playlist->path(selected));
}

}  // namespace main_window
