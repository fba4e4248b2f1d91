// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/result_list.h"

#include <utility>

#include "platform/code_page.h"
#include "platform/collation.h"

namespace {

// The longest a line found waits before it shows: the list repaints at most this often.
constexpr int kFlushIntervalMs = 50;

}  // namespace

ResultLine::ResultLine(std::string path)
    : path_(std::move(path)), key_(platform::collationKey(path_)) {}

ResultListModel::ResultListModel(QObject* parent) : SortedRowsModel(parent) {
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(kFlushIntervalMs);
    connect(&flushTimer_, &QTimer::timeout, this, &ResultListModel::flush);
}

ResultListModel::~ResultListModel() {
    for (ResultLine* l : waiting_) delete l;
}

void ResultListModel::append(std::string path) {
    waiting_.push_back(new ResultLine(std::move(path)));
    if (!flushTimer_.isActive()) flushTimer_.start();
}

void ResultListModel::flush() {
    flushTimer_.stop();
    if (waiting_.empty()) return;
    std::vector<ResultLine*> batch = std::move(waiting_);
    waiting_.clear();
    sortByKey(batch);
    mergeSorted(std::move(batch));
}

std::vector<std::string> ResultListModel::lines() const {
    std::vector<std::string> out;
    out.reserve(rows_.size());
    for (const ResultLine* l : rows_) out.push_back(l->path());
    return out;
}

void ResultListModel::removeLines(const std::vector<int>& rows) {
    eraseRowsAt(rows);
}

void ResultListModel::clear() {
    flushTimer_.stop();
    for (ResultLine* l : waiting_) delete l;
    waiting_.clear();
    eraseAll();
}

int ResultListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count() || role != Qt::DisplayRole) return {};
    const std::string& path = line(index.row());
    return platform::toDisplayPath(path);
}
