#include "ui_labelled_combo.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QLabel>
#include <QRegularExpression>

namespace platform::file_dialog {
namespace {

class LabelledComboAccessible final : public QAccessibleWidget {
public:
    explicit LabelledComboAccessible(QComboBox* combo)
        : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return combo()->currentText();
        return QAccessibleWidget::text(t);
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
