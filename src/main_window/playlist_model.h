// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rows of the playlist `playlistView`: caption (the file name) and folder (ending in the
// separator), both byte strings in the system code page. The rows are the playlist; there is no
// other track store. They are kept in ascending caption order under the locale's collation:
// every row that is added, and every caption that changes, goes straight to its place, and
// nothing else (folders, removals, selection) moves a row. Rows with equal captions stay next
// to each other, the newer one after the older ones.
//
// A row added with an empty caption changes no caption, so nothing re-sorts: it stays at the
// end until the next row with a caption is added (or a caption is edited), which puts it at the
// top with the other empty captions. Adding many rows at once gives exactly the order that
// adding them one by one gives, with a handful of model signals instead of one per row (each
// signal reaches the views and the accessibility bridge).
//
// UI thread only.

#include <QAbstractTableModel>

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/sorted_rows.h"

namespace main_window {

// One row. The full path is held once; the caption is its tail from `nameAt_`.
class PlaylistRow {
public:
    PlaylistRow(std::string_view folder, std::string_view caption);

    std::string_view caption() const {
        return std::string_view(path_).substr(nameAt_);
    }  // "文件名"
    std::string_view folder() const {
        return std::string_view(path_).substr(0, nameAt_);
    }                                                  // "路径"
    const std::string& path() const { return path_; }  // folder followed by caption
    // The caption's collation key: byte order of keys is the locale's order of captions.
    const std::string& key() const { return key_; }

    void setCaption(std::string_view caption);

private:
    std::string path_;
    std::string key_;
    std::size_t nameAt_;
};

class PlaylistModel final : public platform::SortedRowsModel<PlaylistRow, QAbstractTableModel> {
    Q_OBJECT
public:
    // Rows to add: (folder, caption) each.
    using NewRows = std::vector<std::pair<std::string, std::string>>;

    explicit PlaylistModel(QObject* parent = nullptr);

    const PlaylistRow& row(int index) const { return *rows_[static_cast<std::size_t>(index)]; }
    const std::string& path(int index) const { return row(index).path(); }

    // Adds one row and returns its index after sorting.
    int addRow(std::string_view folder, std::string_view caption);
    // Adds many rows at once, in the order adding them one by one would give.
    void addRows(NewRows rows);
    // Sets a caption; when it differs from the old one the row moves to its sorted place.
    // Returns the row's index afterwards.
    int setCaption(int index, std::string_view caption);
    void removeRow(int index);
    void clear();

    // Index of the first row, from the top, whose full path equals `path` (exact bytes);
    // -1 when none.
    int findPath(std::string_view path) const;
    bool containsPath(std::string_view path) const { return byPath_.count(path) != 0; }

    // QAbstractItemModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    // Duplicate tests look rows up by full path without keeping a second copy of it.
    struct PathHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view path) const;
        std::size_t operator()(const PlaylistRow* r) const { return (*this)(r->path()); }
    };
    struct PathEqual {
        using is_transparent = void;
        static std::string_view of(std::string_view path) { return path; }
        static std::string_view of(const PlaylistRow* r) { return r->path(); }
        template <class A, class B>
        bool operator()(const A& a, const B& b) const {
            return of(a) == of(b);
        }
    };

    void forget(const PlaylistRow* r);
    // The waiting empty-caption rows (those after sorted_) go to the top, after the empty
    // captions already there.
    void settleTail();

    std::unordered_multiset<const PlaylistRow*, PathHash, PathEqual> byPath_;
};

}  // namespace main_window
