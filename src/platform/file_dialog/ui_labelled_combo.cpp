// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui_labelled_combo.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QLabel>
#include <QRegularExpression>

namespace platform::file_dialog {
namespace {

// The value is offered as read-only text too: with the name taken by the label, that is where
// an AT-SPI reader finds which entry is chosen.
class LabelledComboAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit LabelledComboAccessible(QComboBox* combo)
        : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(int start, int end) const override { return value().mid(start, end - start); }
    int characterCount() const override { return int(value().size()); }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* start, int* end) const override {
        *start = *end = 0;
        return {};
    }

    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Value ? value() : QAccessibleWidget::text(t);
    }
    // The pop-up list, as Qt's own combo box offers it.
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(combo()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child != nullptr && child->object() == combo()->view() ? 0 : -1;
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = combo()->view()->isVisible();
        return s;
    }
    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction()) combo()->showPopup();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QComboBox* combo() const { return static_cast<QComboBox*>(widget()); }
    QString value() const { return combo()->currentText(); }
};

QAccessibleInterface* labelledComboFactory(const QString& className, QObject* object) {
    if (className == QLatin1String(LabelledComboBox::staticMetaObject.className()) &&
        object->isWidgetType())
        return new LabelledComboAccessible(static_cast<LabelledComboBox*>(object));
    return nullptr;
}

}  // namespace

QString nameOfLabel(const QString& text) {
    static const QRegularExpression accessKey(QStringLiteral(u"\\(&.\\)|[：:]$"));
    return QString(text).remove(accessKey).trimmed();
}

LabelledComboBox::LabelledComboBox(QLabel* label) {
    static const bool installed = [] {
        QAccessible::installFactory(labelledComboFactory);
        return true;
    }();
    Q_UNUSED(installed);
    setAccessibleName(nameOfLabel(label->text()));
    label->setBuddy(this);
}

}  // namespace platform::file_dialog
