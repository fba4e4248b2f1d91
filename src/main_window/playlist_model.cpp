#include "playlist_model.h"

#include <algorithm>

#include "platform/code_page.h"
#include "platform/collation.h"

namespace main_window {

PlaylistModel::PlaylistModel(QObject* parent) : QAbstractTableModel(parent) {}

PlaylistModel::~PlaylistModel() {
    for (PlaylistRow* r : rows_) delete r;
}

std::size_t PlaylistModel::insertionPoint(const std::string& key) const {
    const auto it =
        std::upper_bound(rows_.begin(), rows_.end(), key,
                         [](const std::string& k, const PlaylistRow* r) { return k < r->key; });
    return static_cast<std::size_t>(it - rows_.begin());
}

void PlaylistModel::countPath(const PlaylistRow& r, int delta) {
    const std::string p = r.path();
    const int n = (pathCount_[p] += delta);
    if (n <= 0) pathCount_.erase(p);
}

int PlaylistModel::addRow(std::string_view folder, std::string_view caption) {
    auto r = std::make_unique<PlaylistRow>();
    r->caption = std::string(caption);
    r->folder = std::string(folder);
    r->key = platform::collationKey(caption);
    // A row is created at the end with an empty caption; an empty caption therefore changes
    // nothing and the row stays at the end.
    const std::size_t at = r->caption.empty() ? rows_.size() : insertionPoint(r->key);
    beginInsertRows({}, static_cast<int>(at), static_cast<int>(at));
    countPath(*r, +1);
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), r.release());
    endInsertRows();
    return static_cast<int>(at);
}

void PlaylistModel::addRows(std::vector<std::pair<std::string, std::string>> folderAndCaption) {
    if (folderAndCaption.empty()) return;
    std::vector<PlaylistRow*> fresh;
    fresh.reserve(folderAndCaption.size());
    for (auto& [folder, caption] : folderAndCaption) {
        auto r = std::make_unique<PlaylistRow>();
        r->key = platform::collationKey(caption);
        r->caption = std::move(caption);
        r->folder = std::move(folder);
        countPath(*r, +1);
        fresh.push_back(r.release());
    }
    // Adding one by one puts each row after its equals, so a stable sort of the new rows
    // merged after the old ones on ties gives the same order in O(n log n).
    beginResetModel();
    auto byKey = [](const PlaylistRow* a, const PlaylistRow* b) { return a->key < b->key; };
    std::stable_sort(fresh.begin(), fresh.end(), byKey);
    std::vector<PlaylistRow*> merged;
    merged.reserve(rows_.size() + fresh.size());
    std::merge(rows_.begin(), rows_.end(), fresh.begin(), fresh.end(), std::back_inserter(merged),
               byKey);
    rows_ = std::move(merged);
    endResetModel();
}

int PlaylistModel::setCaption(int index, std::string caption) {
    PlaylistRow* r = rows_[static_cast<std::size_t>(index)];
    if (r->caption == caption) return index;
    countPath(*r, -1);
    r->caption = std::move(caption);
    r->key = platform::collationKey(r->caption);
    countPath(*r, +1);
    // The row's place among the others (found without it), then the move there.
    rows_.erase(rows_.begin() + index);
    const int to = static_cast<int>(insertionPoint(r->key));
    rows_.insert(rows_.begin() + index, r);
    if (to != index) {
        beginMoveRows({}, index, index, {}, to > index ? to + 1 : to);
        const auto b = rows_.begin();
        if (to > index) {
            std::rotate(b + index, b + index + 1, b + to + 1);
        } else {
            std::rotate(b + to, b + index, b + index + 1);
        }
        endMoveRows();
    }
    Q_EMIT dataChanged(this->index(to, 0), this->index(to, 0));
    return to;
}

void PlaylistModel::removeRow(int index) {
    beginRemoveRows({}, index, index);
    PlaylistRow* r = rows_[static_cast<std::size_t>(index)];
    countPath(*r, -1);
    rows_.erase(rows_.begin() + index);
    delete r;
    endRemoveRows();
}

void PlaylistModel::clear() {
    beginResetModel();
    for (PlaylistRow* r : rows_) delete r;
    rows_.clear();
    pathCount_.clear();
    endResetModel();
}

int PlaylistModel::findPath(std::string_view path) const {
    if (!containsPath(path)) return -1;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const PlaylistRow& r = *rows_[i];
        if (r.folder.size() + r.caption.size() == path.size() &&
            path.substr(0, r.folder.size()) == r.folder &&
            path.substr(r.folder.size()) == r.caption) {
            return static_cast<int>(i);
        }
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
    const std::string& text = index.column() == 0 ? r.caption : r.folder;
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return platform::toDisplay(text);
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
