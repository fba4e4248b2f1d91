// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui_name_completer.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStandardItemModel>

#include <algorithm>

namespace platform::file_dialog {
namespace {

constexpr int kPathRole = Qt::UserRole;

}  // namespace

NameCompleter::NameCompleter(QLineEdit* field, std::function<std::string()> folder,
                             Lister entriesOf, QObject* parent)
    : QObject(parent),
      field_(field),
      folder_(std::move(folder)),
      entriesOf_(std::move(entriesOf)),
      completer_(new QCompleter(this)),
      candidates_(new QStandardItemModel(this)) {
    completer_->setModel(candidates_);
    completer_->setWidget(field_);
    completer_->setCompletionMode(QCompleter::PopupCompletion);
    completer_->setCaseSensitivity(Qt::CaseSensitive);
    completer_->setFilterMode(Qt::MatchStartsWith);
    completer_->setModelSorting(QCompleter::UnsortedModel);
    completer_->setMaxVisibleItems(10);
    completer_->popup()->setAccessibleName(QStringLiteral(u"补全"));
    // Installed after the completer's own filter, so it sees the pop-up's keys first.
    completer_->popup()->installEventFilter(this);
    connect(field_, &QLineEdit::textEdited, this, &NameCompleter::onEdited);
    connect(completer_, qOverload<const QModelIndex&>(&QCompleter::activated), this,
            [this](const QModelIndex& index) {
                const QString text = index.data(Qt::DisplayRole).toString();
                taken_ = KnownText{text, index.data(kPathRole).toByteArray().toStdString()};
                field_->setText(text);
            });
}

bool NameCompleter::eventFilter(QObject* watched, QEvent* event) {
    // Return with no completion chosen is meant for the dialog: the pop-up would only close.
    if (watched == completer_->popup() && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            !completer_->popup()->currentIndex().isValid()) {
            completer_->popup()->hide();
            QKeyEvent again(key->type(), key->key(), key->modifiers(), key->text());
            QCoreApplication::sendEvent(field_, &again);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

std::optional<KnownText> NameCompleter::taken() const {
    const QString text = field_->text();
    if (taken_ &&
        (text == taken_->text || (taken_->text.endsWith(u'/') && text.startsWith(taken_->text))))
        return taken_;
    return std::nullopt;
}

void NameCompleter::reset() {
    listedFor_.reset();
    taken_.reset();
}

void NameCompleter::onEdited(const QString& text) {
    if (text.isEmpty() || text.contains(u'*') || text.contains(u'?')) {
        completer_->popup()->hide();
        return;
    }
    const QString folderText = text.left(text.lastIndexOf(u'/') + 1);
    // Hidden names are offered once their dot is typed, as the desktop's fields do.
    const bool hidden = QStringView(text).mid(folderText.size()).startsWith(u'.');
    const QString key = folderText + (hidden ? QStringLiteral("\n.") : QString());
    if (listedFor_ != key) {
        listedFor_ = key;
        list(folderText, hidden);
    }
    completer_->setCompletionPrefix(text);
    const bool onlyItself =
        completer_->completionCount() == 1 && completer_->currentCompletion() == text;
    if (completer_->completionCount() > 0 && !onlyItself) {
        completer_->complete();
    } else {
        completer_->popup()->hide();
    }
}

void NameCompleter::list(const QString& folderText, bool hidden) {
    candidates_->clear();
    std::string folder = folder_();
    if (!folderText.isEmpty()) {
        const auto known = taken();
        const TypedPath typed = resolveTyped(folderText, folder, known ? &*known : nullptr);
        if (typed.path.empty() || !isFolder(typed.path)) return;
        folder = typed.path;
    }
    std::vector<FolderEntry> entries = entriesOf_(folder, hidden);
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
        return a.folder != b.folder ? a.folder : a.key < b.key;
    });
    for (const FolderEntry& e : entries) {
        auto* item =
            new QStandardItem(folderText + e.shown + (e.folder ? QStringLiteral("/") : QString()));
        item->setData(QByteArray::fromStdString(childOf(folder, e.name)), kPathRole);
        candidates_->appendRow(item);
    }
}

}  // namespace platform::file_dialog
