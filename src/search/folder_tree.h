// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folder tree of the search dialog: folders only, a desktop node on top (the user's
// desktop folder, then its subfolders, the home folder and the file-system root), filled one
// level at a time as nodes open. Paths are kept as the file system's bytes beside the shown
// names, so a name that is not valid in the code page still searches the right folder.
// UI thread only.

#include <QTreeWidget>

#include <string>

class FolderTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit FolderTree(QWidget* parent = nullptr);

    // Builds the tree anew: the desktop node, selected and opened one level.
    void rebuild();
    // The selected folder's full path: "/" for the root, other folders without a final
    // separator; empty when nothing is selected.
    std::string selectedPath() const;
    // The node of `path` among the loaded nodes, or null.
    QTreeWidgetItem* findLoaded(const std::string& path) const;
    // Loads the subfolders of `item` if not yet loaded.
    void populate(QTreeWidgetItem* item);

    static std::string pathOf(const QTreeWidgetItem* item);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const std::string& path,
                             const QString& shown);
};
