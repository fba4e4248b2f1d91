// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/caption_delegate.h"

#include <QLineEdit>
#include <QPointer>
#include <QTimer>

#include "platform/code_page.h"
#include "platform/error_box.h"
#include "platform/message_box.h"

namespace main_window {

void CaptionDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                   const QModelIndex& index) const {
    const auto* line = qobject_cast<QLineEdit*>(editor);
    if (line == nullptr) {
        QStyledItemDelegate::setModelData(editor, model, index);
        return;
    }
    const QString typed = line->text();
    // Unchanged text keeps the bytes, even those the code page does not show as they are.
    if (typed == index.data(Qt::EditRole).toString()) return;
    if (const auto bytes = platform::fromDisplay(typed)) {
        model->setData(index, QByteArray(bytes->data(), qsizetype(bytes->size())), Qt::EditRole);
        return;
    }
    // After the editor has closed: a modal box while it is still open would take its focus
    // and end the edit a second time.
    QPointer<QWidget> owner = editor->window();
    QTimer::singleShot(0, owner, [owner, typed] {
        platform::runGuarded([&] {
            platform::messageBox(owner, refusalText(typed), QStringLiteral(u"错误"),
                                 platform::MB_OK | platform::MB_ICONERROR);
        });
    });
}

QString CaptionDelegate::refusalText(const QString& typed) {
    QString offending;
    for (qsizetype i = 0; i < typed.size(); ++i) {
        const qsizetype length = typed[i].isHighSurrogate() && i + 1 < typed.size() ? 2 : 1;
        const QStringView character = QStringView(typed).mid(i, length);
        if (!platform::fromDisplay(character)) {
            offending = character.toString();
            break;
        }
        i += length - 1;
    }
    return QStringLiteral(u"文件名“") + typed + QStringLiteral(u"”中的字符“") + offending +
           QStringLiteral(u"”不能用系统字符集 ") +
           QString::fromStdString(platform::CodePage::active().charset()) +
           QStringLiteral(u" 表示，文件名未更改。");
}

}  // namespace main_window
