#pragma once
// The rows of the playlist `playlistView`: caption (the file name) and folder (ending in the
// separator), both byte strings in the system code page. The rows are the playlist; there is no
// other track store. They are kept in ascending caption order under the locale's collation: every
// row that is added, and every caption that changes, goes straight to its place, and nothing else
// (folders, removals, selection) moves a row. Rows with equal captions stay next to each other,
// the newer one after the older ones.
//
// UI thread only.

#include <QAbstractTableModel>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace main_window {

struct PlaylistRow {
    std::string caption;  // column 0, "文件名"
    std::string folder;   // column 1, "路径" (sub-item 0)
    std::string key;      // collation key of the caption

    std::string path() const { return folder + caption; }
};

class PlaylistModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit PlaylistModel(QObject* parent = nullptr);
    ~PlaylistModel() override;
    PlaylistModel(const PlaylistModel&) = delete;
    PlaylistModel& operator=(const PlaylistModel&) = delete;

    int count() const { return static_cast<int>(rows_.size()); }
    const PlaylistRow& row(int index) const { return *rows_[static_cast<std::size_t>(index)]; }
    std::string path(int index) const { return row(index).path(); }

    // Adds one row and returns its index after sorting.
    int addRow(std::string_view folder, std::string_view caption);
    // Adds many rows at once; the result is the order that adding them one by one gives.
    void addRows(std::vector<std::pair<std::string, std::string>> folderAndCaption);
    // Sets a caption; when it differs from the old one the row moves to its sorted place.
    // Returns the row's index afterwards.
    int setCaption(int index, std::string caption);
    void removeRow(int index);
    void clear();

    // Index of the first row, from the top, whose full path equals `path` (exact bytes);
    // -1 when none.
    int findPath(std::string_view path) const;
    bool containsPath(std::string_view path) const {
        return pathCount_.count(std::string(path)) != 0;
    }

    // QAbstractItemModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    // The index where a row with collation key `key` goes: after every row that does not sort
    // after it.
    std::size_t insertionPoint(const std::string& key) const;
    void countPath(const PlaylistRow& r, int delta);

    // Owned rows in list order. Plain pointers, so that inserting into a long list moves
    // pointers with one memmove instead of moving owners one by one; the model deletes them.
    std::vector<PlaylistRow*> rows_;
    // Full path -> number of rows with it; answers duplicate tests in constant time.
    std::unordered_map<std::string, int> pathCount_;
};

}  // namespace main_window
