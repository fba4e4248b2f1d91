// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The search dialog's result lines: the full path of every file found, as the file system's
// bytes, kept in the locale's collation order of the path (the design's sorted list box). The
// finder reports files one at a time; they wait in a batch that joins the list at most every
// 50 ms, so that the view (and through it the accessibility bridge) is told a few times a
// second however fast files are found, and a line's cost does not grow with the list.
//
// UI thread only.

#include <QAbstractListModel>
#include <QTimer>

#include <string>
#include <vector>

#include "platform/sorted_rows.h"

// One line: a full path and its collation key.
class ResultLine {
public:
    explicit ResultLine(std::string path);
    const std::string& path() const { return path_; }
    const std::string& key() const { return key_; }

private:
    std::string path_;
    std::string key_;
};

class ResultListModel final : public platform::SortedRowsModel<ResultLine, QAbstractListModel> {
    Q_OBJECT
public:
    explicit ResultListModel(QObject* parent = nullptr);
    ~ResultListModel() override;

    // Takes a line found. It joins the list, in the order found among equal lines, within
    // 50 ms or at the next flush.
    void append(std::string path);
    // Puts the waiting lines into the list now.
    void flush();
    bool hasWaitingLines() const { return !waiting_.empty(); }

    const std::string& line(int row) const { return rows_[static_cast<std::size_t>(row)]->path(); }
    // The lines in list order (without those still waiting).
    std::vector<std::string> lines() const;
    // Removes the lines at `rows` (ascending, without repeats) in one batch.
    void removeLines(const std::vector<int>& rows);
    // Removes every line, the waiting ones too.
    void clear();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    std::vector<ResultLine*> waiting_;  // owned, in the order found
    QTimer flushTimer_;
};
