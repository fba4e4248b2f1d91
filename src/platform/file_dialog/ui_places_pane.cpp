// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui_places_pane.h"

#include <QFileIconProvider>
#include <QKeyEvent>
#include <QSocketNotifier>
#include <QStyle>

#include <fcntl.h>
#include <unistd.h>

#include "dialog_paths.h"
#include "platform/code_page.h"

namespace platform::file_dialog {
namespace {

QIcon iconOf(Place::Kind kind, const QStyle* style) {
    static const QFileIconProvider icons;
    switch (kind) {
        case Place::Kind::Home:
            return style->standardIcon(QStyle::SP_DirHomeIcon);
        case Place::Kind::Drive:
            return icons.icon(QFileIconProvider::Drive);
        case Place::Kind::Computer:
            return icons.icon(QFileIconProvider::Computer);
        default:
            return icons.icon(QFileIconProvider::Folder);
    }
}

}  // namespace

PlacesPane::PlacesPane(QWidget* parent) : QListWidget(parent) {
    setObjectName(QStringLiteral("placesPane"));
    setAccessibleName(QStringLiteral(u"位置"));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideRight);
    // The list's icon size: the style's folder icon is otherwise drawn at its large size.
    const int icon = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    setIconSize(QSize(icon, icon));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    connect(this, &QListWidget::itemClicked, this, &PlacesPane::choose);

    // The kernel flags the mount table (POLLPRI) whenever a file system is mounted or unmounted.
    mountTable_ = ::open(kMountTable, O_RDONLY | O_CLOEXEC);
    if (mountTable_ >= 0) {
        mountWatch_ = new QSocketNotifier(mountTable_, QSocketNotifier::Exception, this);
        connect(mountWatch_, &QSocketNotifier::activated, this, [this] { refresh(); });
    }
    refresh();
}

PlacesPane::~PlacesPane() {
    delete mountWatch_;
    if (mountTable_ >= 0) ::close(mountTable_);
}

bool PlacesPane::refresh() {
    std::vector<Place> places = readPlaces();
    if (places == places_) return false;
    const QByteArray current =
        currentItem() ? currentItem()->data(kPathRole).toByteArray() : QByteArray();
    places_ = std::move(places);
    QSignalBlocker quiet(this);
    clear();
    for (const Place& p : places_) {
        auto* item = new QListWidgetItem(iconOf(p.kind, style()), p.label, this);
        const QByteArray path = QByteArray::fromStdString(p.path);
        item->setData(kPathRole, path);
        item->setData(Qt::ToolTipRole, toDisplayPath(p.path));
        item->setData(Qt::AccessibleDescriptionRole, toDisplayPath(p.path));
        if (path == current) setCurrentItem(item);
    }
    updateGeometry();
    emit placesChanged();
    return true;
}

void PlacesPane::markFolder(const std::string& folder) {
    QSignalBlocker quiet(this);
    for (int i = 0; i < count(); ++i) {
        if (item(i)->data(kPathRole).toByteArray().toStdString() == folder) {
            setCurrentRow(i);
            return;
        }
    }
    clearSelection();
}

QSize PlacesPane::sizeHint() const {
    const int content = count() > 0 ? sizeHintForColumn(0) : 100;
    return QSize(std::clamp(content + 2 * frameWidth() + 8, 110, 200),
                 QListWidget::sizeHint().height());
}

void PlacesPane::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
        event->key() == Qt::Key_Space) {
        choose(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

void PlacesPane::focusInEvent(QFocusEvent* event) {
    // Reached by Tab with no place marked, the cursor starts on the first.
    if (currentRow() < 0 && count() > 0) setCurrentRow(0);
    QListWidget::focusInEvent(event);
}

void PlacesPane::choose(const QListWidgetItem* item) {
    if (item != nullptr) emit placeChosen(item->data(kPathRole).toByteArray());
}

}  // namespace platform::file_dialog
