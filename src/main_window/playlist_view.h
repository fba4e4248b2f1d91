// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The playlist's view: a table of rows, moved through as a list is. Tab and Shift+Tab (and
// Ctrl+Tab, which leaves any control) go to the next and previous control instead of walking
// the cells, and Home and End go to the first and last row.
//
// UI thread only.

#include <QTableView>

namespace main_window {

class PlaylistView final : public QTableView {
    Q_OBJECT
public:
    explicit PlaylistView(QWidget* parent = nullptr);

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace main_window
