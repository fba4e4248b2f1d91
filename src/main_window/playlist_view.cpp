// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/playlist_view.h"

#include <QKeyEvent>

namespace main_window {

PlaylistView::PlaylistView(QWidget* parent) : QTableView(parent) {
    setTabKeyNavigation(false);
}

QModelIndex PlaylistView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    // A table's Home and End go to the first and last cell of the row; the rows are what the
    // user moves through here.
    if ((action == MoveHome || action == MoveEnd) && model() != nullptr &&
        model()->rowCount(rootIndex()) > 0) {
        const int column = currentIndex().isValid() ? currentIndex().column() : 0;
        const int row = action == MoveHome ? 0 : model()->rowCount(rootIndex()) - 1;
        return model()->index(row, column, rootIndex());
    }
    return QTableView::moveCursor(action, modifiers);
}

void PlaylistView::keyPressEvent(QKeyEvent* event) {
    const bool tab = event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab;
    if (tab && (event->modifiers() & Qt::ControlModifier)) {
        const bool back =
            event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
        focusNextPrevChild(!back);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

}  // namespace main_window
