// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/folder_tree.h"

#include <QFileIconProvider>
#include <QHeaderView>
#include <QMouseEvent>
#include <QStandardPaths>

#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "platform/code_page.h"
#include "platform/collation.h"
#include "platform/dir_listing.h"
#include "platform/error_box.h"
#include "platform/paths.h"

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kLoadedRole = Qt::UserRole + 1;

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The desktop and home folders come from Qt, which reads file names as UTF-8.
std::string bytesOf(const QString& path) {
    return platform::qtPathBytes(path);
}

QString shownName(const std::string& path) {
    return platform::toDisplay(platform::paths::fileName(path));
}

const QIcon& folderIcon() {
    static const QIcon icon = QFileIconProvider().icon(QFileIconProvider::Folder);
    return icon;
}

}  // namespace

FolderTree::FolderTree(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    // The hidden header still reaches screen readers; without a label it would read "1".
    setHeaderLabel(QString());
    setIndentation(19);
    setRootIsDecorated(false);  // no lines to the root
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QTreeWidget::itemExpanded, this,
            platform::guarded([this](QTreeWidgetItem* item) { populate(item); }));
}

std::string FolderTree::pathOf(const QTreeWidgetItem* item) {
    if (item == nullptr) return {};
    return item->data(0, kPathRole).toByteArray().toStdString();
}

QTreeWidgetItem* FolderTree::addNode(QTreeWidgetItem* parent, const std::string& path,
                                     const QString& shown) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, shown);
    item->setIcon(0, folderIcon());
    item->setData(0, kPathRole, QByteArray::fromStdString(path));
    item->setData(0, kLoadedRole, false);
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

void FolderTree::rebuild() {
    clear();
    std::string desktop =
        bytesOf(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    const std::string home =
        bytesOf(QStandardPaths::writableLocation(QStandardPaths::HomeLocation));
    if (!isFolder(desktop)) desktop = home;
    QTreeWidgetItem* top = addNode(nullptr, desktop, shownName(desktop));
    populate(top);
    // Beside the desktop's own folders, as the shell's desktop shows them: home and the root.
    if (home != desktop && isFolder(home)) addNode(top, home, shownName(home));
    addNode(top, "/", QStringLiteral(u"/"));
    setCurrentItem(top);
    top->setSelected(true);
    expandItem(top);
}

void FolderTree::populate(QTreeWidgetItem* item) {
    if (item == nullptr || item->data(0, kLoadedRole).toBool()) return;
    item->setData(0, kLoadedRole, true);
    const std::string path = pathOf(item);
    std::vector<std::string> names;
    platform::DirListing listing(path, "*");
    while (listing.next()) {
        // Hidden folders stay hidden, as in the shell's view.
        if (listing.name().front() == '.' || !listing.isDirectory()) continue;
        names.emplace_back(listing.name());
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const int order = platform::collate(a, b);
        return order != 0 ? order < 0 : a < b;
    });
    const std::string prefix = platform::paths::withTrailingSeparator(path);
    for (const std::string& name : names) addNode(item, prefix + name, shownName(name));
    if (item->childCount() == 0) {
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    }
}

std::string FolderTree::selectedPath() const {
    return pathOf(currentItem());
}

QTreeWidgetItem* FolderTree::findLoaded(const std::string& path) const {
    std::vector<QTreeWidgetItem*> pending;
    for (int i = 0; i < topLevelItemCount(); ++i) pending.push_back(topLevelItem(i));
    while (!pending.empty()) {
        QTreeWidgetItem* item = pending.back();
        pending.pop_back();
        if (pathOf(item) == path) return item;
        for (int i = 0; i < item->childCount(); ++i) pending.push_back(item->child(i));
    }
    return nullptr;
}

void FolderTree::mousePressEvent(QMouseEvent* event) {
    // A right click selects the folder under the pointer, like a left one.
    if (event->button() == Qt::RightButton) {
        if (QTreeWidgetItem* item = itemAt(event->position().toPoint())) setCurrentItem(item);
    }
    QTreeWidget::mousePressEvent(event);
}
