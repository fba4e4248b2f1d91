// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The in-place editor of a playlist caption. Captions are bytes in the system code page; the
// editor shows them as text and gives the model the bytes of what was typed, through the same
// code page. A name with a character the code page cannot hold is refused with a message box
// and the caption stays as it was: the bytes never get a silent "?".
//
// UI thread only.

#include <QStyledItemDelegate>

namespace main_window {

class CaptionDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

    // The text of the refusal for `typed`, naming its first character that the active code
    // page cannot hold.
    static QString refusalText(const QString& typed);
};

}  // namespace main_window
