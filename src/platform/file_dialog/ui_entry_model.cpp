// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui_entry_model.h"

#include <QDateTime>
#include <QFileIconProvider>
#include <QLocale>

#include <algorithm>
#include <numeric>

namespace platform::file_dialog {
namespace {

constexpr qint64 kSecondsFrom1601To1970 = 11'644'473'600LL;

QDateTime localTime(FileTime written) {
    return QDateTime::fromSecsSinceEpoch(qint64(written / 10'000'000) - kSecondsFrom1601To1970);
}

}  // namespace

EntryModel::EntryModel(QObject* parent)
    : QAbstractTableModel(parent), locale_(QLocale::system()), typeOrder_(locale_) {}

bool EntryModel::before(const FolderEntry& a, const FolderEntry& b) const {
    if (a.folder != b.folder) return a.folder;
    int order = 0;
    switch (column_) {
        case Size:
            order = a.size < b.size ? -1 : a.size > b.size ? 1 : 0;
            break;
        case Type:
            order = typeOrder_.compare(a.type, b.type);
            break;
        case Written:
            order = a.written < b.written ? -1 : a.written > b.written ? 1 : 0;
            break;
        default:
            break;
    }
    if (order == 0) order = a.key != b.key ? (a.key < b.key ? -1 : 1) : a.name.compare(b.name);
    return order_ == Qt::AscendingOrder ? order < 0 : order > 0;
}

void EntryModel::setEntries(std::vector<FolderEntry> entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [this](const FolderEntry& a, const FolderEntry& b) { return before(a, b); });
    beginResetModel();
    entries_ = std::move(entries);
    endResetModel();
}

void EntryModel::sort(int column, Qt::SortOrder order) {
    column_ = column;
    order_ = order;
    std::vector<int> byNewRow(entries_.size());
    std::iota(byNewRow.begin(), byNewRow.end(), 0);
    std::stable_sort(byNewRow.begin(), byNewRow.end(), [this](int a, int b) {
        return before(entries_[std::size_t(a)], entries_[std::size_t(b)]);
    });
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(entries_.size());
    std::vector<FolderEntry> sorted;
    sorted.reserve(entries_.size());
    for (std::size_t row = 0; row < byNewRow.size(); ++row) {
        newRowOf[std::size_t(byNewRow[row])] = int(row);
        sorted.push_back(std::move(entries_[std::size_t(byNewRow[row])]));
    }
    entries_ = std::move(sorted);
    for (const QModelIndex& old : persistentIndexList())
        changePersistentIndex(old, index(newRowOf[std::size_t(old.row())], old.column()));
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int EntryModel::rowShownAs(const QString& text) const {
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [&](const FolderEntry& e) { return e.shown == text; });
    return found == entries_.end() ? -1 : int(found - entries_.begin());
}

int EntryModel::rowNamed(const std::string& name) const {
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [&](const FolderEntry& e) { return e.name == name; });
    return found == entries_.end() ? -1 : int(found - entries_.begin());
}

int EntryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

int EntryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant EntryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count()) return {};
    const FolderEntry& e = entry(index.row());
    if (role == Qt::DecorationRole && index.column() == Name) {
        static const QFileIconProvider icons;
        return icons.icon(e.folder ? QFileIconProvider::Folder : QFileIconProvider::File);
    }
    if (role == Qt::TextAlignmentRole && index.column() == Size)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case Name:
            return e.shown;
        case Size:
            return e.folder ? QString()
                            : locale_.formattedDataSize(qint64(e.size), 1,
                                                        QLocale::DataSizeTraditionalFormat);
        case Type:
            return e.type;
        default:
            return locale_.toString(localTime(e.written), QLocale::ShortFormat);
    }
}

QVariant EntryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case Name:
            return QStringLiteral(u"名称");
        case Size:
            return QStringLiteral(u"大小");
        case Type:
            return QStringLiteral(u"类型");
        default:
            return QStringLiteral(u"修改日期");
    }
}

}  // namespace platform::file_dialog
