// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A combo box that a screen reader names by its label. Qt's own accessible combo box on Linux
// reports its current text as its name (the label is left to a relation that not every reader
// follows), so the path box and the type box would be read as a path and a filter. This one's
// name is its accessible name (set from its label) and its value the current text.
//
// UI thread only.

#include <QComboBox>

class QLabel;

namespace platform::file_dialog {

class LabelledComboBox final : public QComboBox {
    Q_OBJECT
public:
    // Named by `label`'s text without its access key and colon ("查找范围(&I)：" -> "查找范围"),
    // and that label's buddy.
    explicit LabelledComboBox(QLabel* label);
};

// The text of a label as a name: without its access key "(&X)" and its final colon.
QString nameOfLabel(const QString& text);

}  // namespace platform::file_dialog
