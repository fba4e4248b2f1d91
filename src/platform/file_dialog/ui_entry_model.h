// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The file dialog's list: the entries of one folder in columns 名称, 大小, 类型 and 修改日期,
// sortable by each. Folders stay first in either order; ties go by name, and names compare in
// the locale's collation of their bytes. Sizes and dates are shown in the locale's formats.
//
// UI thread only; owned by the dialog.

#include <QAbstractTableModel>
#include <QCollator>
#include <QLocale>

#include <vector>

#include "folder_entries.h"

namespace platform::file_dialog {

class EntryModel final : public QAbstractTableModel {
public:
    enum Column { Name, Size, Type, Written, ColumnCount };

    explicit EntryModel(QObject* parent);

    // Replaces the entries, in the current sort order.
    void setEntries(std::vector<FolderEntry> entries);
    const FolderEntry& entry(int row) const { return entries_[std::size_t(row)]; }
    int count() const { return int(entries_.size()); }
    // The first row shown as `text`, or -1.
    int rowShownAs(const QString& text) const;
    // The row of the entry named `name` (bytes), or -1.
    int rowNamed(const std::string& name) const;

    int rowCount(const QModelIndex& parent) const override;
    int columnCount(const QModelIndex& parent) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Keeps the view's current and selected rows on their entries.
    void sort(int column, Qt::SortOrder order) override;

private:
    bool before(const FolderEntry& a, const FolderEntry& b) const;

    std::vector<FolderEntry> entries_;
    int column_ = Name;
    Qt::SortOrder order_ = Qt::AscendingOrder;
    QLocale locale_;  // the user's, for sizes and dates
    QCollator typeOrder_;
};

}  // namespace platform::file_dialog
