// The list's row commands: selection-driven enabling, remove, clear, delete from disk and the
// file properties.

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QTableView>

#include "main_window/main_window.h"
#include "platform/error_box.h"
#include "platform/message_box.h"
#include "platform/shell.h"
#include "platform/system.h"
#include "playback/media_player.h"

namespace main_window {

void TForm1::connectPlaylist() {
    connect(lv1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            platform::guarded(this, &TForm1::lv1SelectItem));
    // Removing the selected row (or every row) takes the selection with it; the row commands
    // follow that too.
    connect(playlist, &QAbstractItemModel::rowsRemoved, this,
            platform::guarded(this, &TForm1::lv1SelectItem));
    connect(playlist, &QAbstractItemModel::modelReset, this,
            platform::guarded(this, &TForm1::lv1SelectItem));
    connect(lv1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(lv1->viewport()->mapToGlobal(at)); });
    bind(N2, &TForm1::N2Click);
    bind(N6, &TForm1::N6Click);
    bind(N3, &TForm1::N3Click);
    bind(N11, &TForm1::N11Click);
}

void TForm1::lv1SelectItem() {
    const bool selected = itemIndex() != -1;
    for (QAction* item : {N1, N2, N3, N11}) item->setEnabled(selected);
}

void TForm1::N2Click() {
    // One update of the list, redrawn once at the end.
    lv1->setUpdatesEnabled(false);
    for (int i = playlist->count() - 1; i >= 0; --i) {
        if (lv1->selectionModel()->isRowSelected(i, {})) playlist->removeRow(i);
    }
    lv1->setUpdatesEnabled(true);
}

void TForm1::N6Click() {
    playlist->clear();
}

void TForm1::N3Click() {
    if (platform::messageBox(
            this, QStringLiteral(u"确实要删除此文件吗？"), QStringLiteral(u"确认删除"),
            platform::MB_YESNO | platform::MB_ICONINFORMATION) != platform::IDYES) {
        return;
    }
    if (MediaPlayer1->mode() == playback::PlayerMode::Playing) btn3Click();
    const int selected = itemIndex();
    if (selected == -1) return;
    const std::string path = playlist->path(selected);
    try {
        platform::deleteFile(path);  // a file that is already gone just loses its row
    } catch (const platform::SystemError& error) {
        // The file is still there: say why, and keep its row.
        platform::messageBox(this,
                             QStringLiteral(u"无法删除文件 \"") +
                                 QString::fromLocal8Bit(path.c_str()) + QStringLiteral(u"\"：") +
                                 platform::errorMessage(error),
                             QStringLiteral(u"错误"), platform::MB_OK | platform::MB_ICONERROR);
        return;
    }
    N2Click();
}

void TForm1::N11Click() {
    const int selected = itemIndex();
    if (selected != -1) platform::showFileProperties(playlist->path(selected));
}

}  // namespace main_window
