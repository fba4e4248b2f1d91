// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The completion pop-up of the file dialog's name field: while a name or a path is typed, the
// entries of the folder being typed in that start with what follows its last separator, as the
// list would show them (folders with a final separator). A completion taken fills the field
// and is remembered with its exact bytes, so two names that are shown alike (a UTF-8 and a GBK
// 音乐 under a UTF-8 locale) stay apart.
//
// UI thread only; a child of the dialog, watching a field the dialog owns.

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dialog_paths.h"
#include "folder_entries.h"

class QCompleter;
class QLineEdit;
class QStandardItemModel;

namespace platform::file_dialog {

class NameCompleter final : public QObject {
    Q_OBJECT
public:
    // `folder` gives the folder the dialog lists; `entriesOf` lists a folder as the dialog
    // does (its patterns), with or without hidden names.
    using Lister = std::function<std::vector<FolderEntry>(const std::string& folder, bool hidden)>;
    NameCompleter(QLineEdit* field, std::function<std::string()> folder, Lister entriesOf,
                  QObject* parent);

    // The completion taken last, while the field still holds it (or, for a folder, begins
    // with it).
    std::optional<KnownText> taken() const;
    // Forgets what was listed (the dialog went elsewhere or changed its patterns).
    void reset();
    QCompleter* completer() const { return completer_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onEdited(const QString& text);
    void list(const QString& folderText, bool hidden);

    QLineEdit* field_;
    std::function<std::string()> folder_;
    Lister entriesOf_;
    QCompleter* completer_;
    QStandardItemModel* candidates_;
    std::optional<QString> listedFor_;  // the folder text (and hidden or not) listed
    std::optional<KnownText> taken_;
};

}  // namespace platform::file_dialog
