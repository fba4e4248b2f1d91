// SPDX-License-Identifier: GPL-3.0-or-later
#include "playlist_model.h"

#include <algorithm>
#include <functional>

#include "platform/code_page.h"
#include "platform/collation.h"

namespace main_window {

PlaylistRow::PlaylistRow(std::string_view folder, std::string_view caption)
    : key_(platform::collationKey(caption)), nameAt_(folder.size()) {
    path_.reserve(folder.size() + caption.size());
    path_.append(folder).append(caption);
}

void PlaylistRow::setCaption(std::string_view caption) {
    path_.resize(nameAt_);
    path_.append(caption);
    path_.shrink_to_fit();
    key_ = platform::collationKey(caption);
}

std::size_t PlaylistModel::PathHash::operator()(std::string_view path) const {
    return std::hash<std::string_view>{}(path);
}

PlaylistModel::PlaylistModel(QObject* parent) : SortedRowsModel(parent) {}

void PlaylistModel::forget(const PlaylistRow* r) {
    auto [first, last] = byPath_.equal_range(r);
    for (; first != last; ++first) {
        if (*first == r) {
            byPath_.erase(first);
            return;
        }
    }
}

int PlaylistModel::addRow(std::string_view folder, std::string_view caption) {
    auto* r = new PlaylistRow(folder, caption);
    byPath_.insert(r);
    // A row is created at the end with an empty caption; setting a caption re-sorts the list.
    if (caption.empty()) {
        appendUnsorted({r});
        return count() - 1;
    }
    settleTail();
    const std::size_t at = insertionPoint(r->key());
    mergeSorted({r});
    return static_cast<int>(at);
}

void PlaylistModel::addRows(NewRows rows) {
    std::vector<PlaylistRow*> fresh;
    fresh.reserve(rows.size());
    for (auto& [folder, caption] : rows) {
        fresh.push_back(new PlaylistRow(folder, caption));
        byPath_.insert(fresh.back());
    }
    // One by one, each row with a caption re-sorts everything before it; the empty captions
    // after the last such row stay at the end.
    const auto lastSorting = std::find_if(fresh.rbegin(), fresh.rend(), [](const PlaylistRow* r) {
                                 return !r->caption().empty();
                             }).base();
    if (lastSorting != fresh.begin()) {
        settleTail();
        std::vector<PlaylistRow*> sorting(fresh.begin(), lastSorting);
        sortByKey(sorting);
        mergeSorted(std::move(sorting));
    }
    appendUnsorted({lastSorting, fresh.end()});
}

void PlaylistModel::settleTail() {
    if (sorted_ == rows_.size()) return;
    // Empty captions sort before every other caption: the tail goes after those at the top.
    const std::size_t top = insertionPoint(std::string());
    if (top < sorted_) {
        std::vector<int> from;
        from.reserve(rows_.size());
        const auto take = [&from](std::size_t first, std::size_t last) {
            for (std::size_t i = first; i < last; ++i) from.push_back(static_cast<int>(i));
        };
        take(0, top);
        take(sorted_, rows_.size());
        take(top, sorted_);
        permute(from);
    }
    sorted_ = rows_.size();
}

int PlaylistModel::setCaption(int index, std::string_view caption) {
    PlaylistRow* r = rows_[static_cast<std::size_t>(index)];
    if (r->caption() == caption) return index;
    forget(r);
    r->setCaption(caption);
    byPath_.insert(r);
    // The whole list re-sorts: the waiting empty captions go to the top, and the row goes
    // after the rows that do not sort after it.
    std::vector<int> from;
    from.reserve(rows_.size());
    std::vector<int> tail;
    for (int i = 0; i < count(); ++i) {
        if (i == index) continue;
        (static_cast<std::size_t>(i) < sorted_ ? from : tail).push_back(i);
    }
    const auto keyAt = [this](int i) -> const std::string& {
        return rows_[static_cast<std::size_t>(i)]->key();
    };
    const auto emptyEnd =
        std::upper_bound(from.begin(), from.end(), std::string(),
                         [&](const std::string& k, int i) { return k < keyAt(i); });
    from.insert(emptyEnd, tail.begin(), tail.end());
    const auto place = std::upper_bound(from.begin(), from.end(), r->key(),
                                        [&](const std::string& k, int i) { return k < keyAt(i); });
    const auto to = static_cast<int>(place - from.begin());
    from.insert(place, index);
    sorted_ = rows_.size();
    permute(from);
    Q_EMIT dataChanged(this->index(to, 0), this->index(to, 0));
    return to;
}

void PlaylistModel::removeRow(int index) {
    forget(rows_[static_cast<std::size_t>(index)]);
    eraseRows(index, index);
}

void PlaylistModel::clear() {
    byPath_.clear();
    eraseAll();
}

int PlaylistModel::findPath(std::string_view path) const {
    if (!containsPath(path)) return -1;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i]->path() == path) return static_cast<int>(i);
    }
    return -1;
}

int PlaylistModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

int PlaylistModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant PlaylistModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count()) return {};
    const PlaylistRow& r = row(index.row());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return index.column() == 0 ? platform::toDisplay(r.caption())
                                       : platform::toDisplayPath(r.folder());
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(index.column() == 0 ? Qt::AlignLeft | Qt::AlignVCenter
                                                           : Qt::AlignCenter);
        default:
            return {};
    }
}

bool PlaylistModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || index.column() != 0) return false;
    // The caption's bytes as the editor's delegate gives them, or text through the code page;
    // text the code page cannot hold changes nothing.
    std::optional<std::string> bytes =
        value.typeId() == QMetaType::QByteArray
            ? std::optional<std::string>(value.toByteArray().toStdString())
            : platform::fromDisplay(value.toString());
    if (!bytes) return false;
    setCaption(index.row(), std::move(*bytes));
    return true;
}

Qt::ItemFlags PlaylistModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == 0) f |= Qt::ItemIsEditable;
    return f;
}

QVariant PlaylistModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) {
        return section == 0 ? QStringLiteral(u"文件名") : QStringLiteral(u"路径");
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(section == 0 ? Qt::AlignLeft | Qt::AlignVCenter
                                                : Qt::AlignCenter);
    }
    return {};
}

}  // namespace main_window
