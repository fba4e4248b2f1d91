// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rows of an item model kept in collation order, as the system's sorted list controls keep
// their items: a row goes after every row that does not sort after it, so rows with equal keys
// stay in the order they came. A batch of rows, however large, reaches the views (and through
// them the accessibility bridge) as a handful of model signals instead of one per row, and an
// insertion never costs more than a pass over the rows however many accessible cells a screen
// reader holds.
//
// `Row` has `const std::string& key() const`, a collation key (platform/collation.h). The model
// owns its rows. UI thread only, like every item model.

#include <QAbstractItemModel>
#include <QAccessible>

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <string>
#include <vector>

namespace platform {

template <class Row, class Base>
class SortedRowsModel : public Base {
public:
    using Base::Base;
    ~SortedRowsModel() override {
        for (Row* r : rows_) delete r;
    }
    SortedRowsModel(const SortedRowsModel&) = delete;
    SortedRowsModel& operator=(const SortedRowsModel&) = delete;

    int count() const { return static_cast<int>(rows_.size()); }

protected:
    static bool keyLess(const Row* a, const Row* b) { return a->key() < b->key(); }
    static void sortByKey(std::vector<Row*>& rows) {
        std::stable_sort(rows.begin(), rows.end(), keyLess);
    }

    // Index among the sorted rows [0, sorted_) where a row with `key` goes: after every row
    // that does not sort after it.
    std::size_t insertionPoint(const std::string& key) const {
        const auto it =
            std::upper_bound(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(sorted_),
                             key, [](const std::string& k, const Row* r) { return k < r->key(); });
        return static_cast<std::size_t>(it - rows_.begin());
    }

    // Puts `fresh` (sorted by key, stable) among the sorted rows, each after the rows that do
    // not sort after it. Every row must be sorted before (sorted_ == rows_.size()).
    void mergeSorted(std::vector<Row*> fresh) {
        if (fresh.empty()) return;
        // New rows that land between the same two old rows form one run.
        struct Run {
            std::size_t oldBefore;
            std::size_t size;
        };
        std::vector<Run> runs;
        const auto sortedEnd = rows_.begin() + static_cast<std::ptrdiff_t>(sorted_);
        auto at = rows_.begin();
        for (const Row* r : fresh) {
            at = std::upper_bound(at, sortedEnd, r, keyLess);
            const auto oldBefore = static_cast<std::size_t>(at - rows_.begin());
            if (!runs.empty() && runs.back().oldBefore == oldBefore) {
                ++runs.back().size;
            } else if (runs.size() < kMaxSeparateInserts) {
                runs.push_back({oldBefore, 1});
            } else {
                runs.clear();
                break;
            }
        }
        // With the accessibility bridge on, each insertion also makes the view's accessible
        // table rebuild its cache of the cells a screen reader has asked for (each cell holds a
        // persistent index): when a reader has gone through a long list, one insertion costs
        // more than merging the whole list, which also empties that cache.
        const bool costlyInserts =
            QAccessible::isActive() &&
            runs.size() * static_cast<std::size_t>(this->persistentIndexList().size()) >
                rows_.size();
        if (!runs.empty() && !costlyInserts) {
            // A few places: one insertion each, which views take without a new layout.
            auto next = fresh.begin();
            std::size_t inserted = 0;
            for (const Run& run : runs) {
                const auto first = static_cast<int>(run.oldBefore + inserted);
                this->beginInsertRows({}, first, first + static_cast<int>(run.size) - 1);
                const auto end = next + static_cast<std::ptrdiff_t>(run.size);
                rows_.insert(rows_.begin() + first, next, end);
                sorted_ += run.size;
                this->endInsertRows();
                next = end;
                inserted += run.size;
            }
            return;
        }
        // Many places (or many readers): append them all, then merge old and new rows in one
        // layout change, so that the cost does not depend on where the rows land.
        const std::size_t oldCount = rows_.size();
        appendUnsorted(std::move(fresh));
        std::vector<int> from(rows_.size());
        std::iota(from.begin(), from.end(), 0);
        std::inplace_merge(from.begin(), from.begin() + static_cast<std::ptrdiff_t>(oldCount),
                           from.end(), [this](int a, int b) {
                               return keyLess(rows_[static_cast<std::size_t>(a)],
                                              rows_[static_cast<std::size_t>(b)]);
                           });
        sorted_ = rows_.size();
        permute(from);
    }

    // Appends rows at the end, outside the sorted part.
    void appendUnsorted(std::vector<Row*> fresh) {
        if (fresh.empty()) return;
        const int first = count();
        this->beginInsertRows({}, first, first + static_cast<int>(fresh.size()) - 1);
        rows_.insert(rows_.end(), fresh.begin(), fresh.end());
        this->endInsertRows();
    }

    // Rearranges the rows as one layout change: new row i is old row from[i]. Selections and
    // current rows of the views follow their rows.
    void permute(const std::vector<int>& from) {
        Q_EMIT this->layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::vector<int> to(from.size());
        std::vector<Row*> reordered(from.size());
        for (std::size_t i = 0; i < from.size(); ++i) {
            const auto old = static_cast<std::size_t>(from[i]);
            reordered[i] = rows_[old];
            to[old] = static_cast<int>(i);
        }
        rows_ = std::move(reordered);
        movePersistentIndexes(to);
        Q_EMIT this->layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

    // Removes and deletes rows [first, last].
    void eraseRows(int first, int last) {
        this->beginRemoveRows({}, first, last);
        const auto b = rows_.begin() + first, e = rows_.begin() + last + 1;
        std::for_each(b, e, [](Row* r) { delete r; });
        rows_.erase(b, e);
        const auto removedSorted = std::clamp<std::size_t>(sorted_, static_cast<std::size_t>(first),
                                                           static_cast<std::size_t>(last) + 1) -
                                   static_cast<std::size_t>(first);
        sorted_ -= removedSorted;
        this->endRemoveRows();
    }

    // Removes and deletes the rows at `ascending`: one removal per contiguous run where there
    // are a few, else one layout change, so that removing lines scattered over a long list
    // costs one pass instead of a pass, a view update and a selection update per line.
    void eraseRowsAt(const std::vector<int>& ascending) {
        std::vector<std::pair<int, int>> runs;  // first, last
        for (const int row : ascending) {
            if (!runs.empty() && runs.back().second + 1 == row) {
                runs.back().second = row;
            } else {
                runs.emplace_back(row, row);
            }
        }
        if (runs.size() <= kMaxSeparateInserts) {
            // From the last run to the first, so that the rows still to remove keep their rows.
            for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
                eraseRows(run->first, run->second);
            }
            return;
        }
        Q_EMIT this->layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::vector<int> to(rows_.size());  // new row of each old one, -1 when it goes
        std::vector<Row*> kept;
        kept.reserve(rows_.size() - ascending.size());
        std::size_t keptSorted = 0;
        auto removed = ascending.begin();
        for (std::size_t old = 0; old < rows_.size(); ++old) {
            if (removed != ascending.end() && static_cast<std::size_t>(*removed) == old) {
                ++removed;
                to[old] = -1;
                delete rows_[old];
                continue;
            }
            to[old] = static_cast<int>(kept.size());
            kept.push_back(rows_[old]);
            if (old < sorted_) ++keptSorted;
        }
        rows_ = std::move(kept);
        sorted_ = keptSorted;
        movePersistentIndexes(to);
        Q_EMIT this->layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

    void eraseAll() {
        this->beginResetModel();
        for (Row* r : rows_) delete r;
        rows_.clear();
        sorted_ = 0;
        this->endResetModel();
    }

    // Owned rows in list order. Plain pointers, so that inserting into a long list moves
    // pointers with one memmove instead of moving owners one by one.
    std::vector<Row*> rows_;
    // Rows [0, sorted_) are in key order; any after them wait for the model's next re-sort.
    std::size_t sorted_ = 0;

private:
    // Within a layout change: every persistent index (the views' selections and current rows)
    // moves to the new row of its old one, `to[old]`, or becomes invalid where that is -1.
    void movePersistentIndexes(const std::vector<int>& to) {
        const QModelIndexList before = this->persistentIndexList();
        QModelIndexList after;
        after.reserve(before.size());
        for (const QModelIndex& i : before) {
            const int row = to[static_cast<std::size_t>(i.row())];
            after.append(row < 0 ? QModelIndex() : this->index(row, i.column()));
        }
        this->changePersistentIndexList(before, after);
    }

    // Up to this many separate places, new rows go in as one insertion per place; beyond it
    // they are appended and merged by one layout change.
    static constexpr std::size_t kMaxSeparateInserts = 8;
};

}  // namespace platform
