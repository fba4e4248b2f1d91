// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pane of places beside the file dialog's list: 主目录, the user's folders, bookmarks,
// drives and 计算机. A click, or Return or Space on the item under the cursor, goes there; the
// arrow keys only move the cursor. The pane reads the places again when the mount table
// changes (a USB stick plugged in while the dialog is open) and when the dialog asks.
//
// UI thread only; the pane owns its descriptor of the mount table.

#include <QListWidget>

#include <string>
#include <vector>

#include "places.h"

class QSocketNotifier;

namespace platform::file_dialog {

class PlacesPane final : public QListWidget {
    Q_OBJECT
public:
    // Each item's data in this role is its place's path (bytes).
    static constexpr int kPathRole = Qt::UserRole;

    explicit PlacesPane(QWidget* parent = nullptr);
    ~PlacesPane() override;

    // Reads the places again; the list changes only when they did, and then this says so.
    bool refresh();
    const std::vector<Place>& places() const { return places_; }
    // Puts the cursor on the place that is `folder`, if one is, without going there.
    void markFolder(const std::string& folder);

    QSize sizeHint() const override;

signals:
    // `path` is the place's bytes.
    void placeChosen(const QByteArray& path);
    // The places were read again and differ from before.
    void placesChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void choose(const QListWidgetItem* item);

    std::vector<Place> places_;
    int mountTable_ = -1;
    QSocketNotifier* mountWatch_ = nullptr;
};

}  // namespace platform::file_dialog
