// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QWindow>

#include <vector>

#include "lyrics/lyrics_window.h"
#include "main_window/status_bar.h"

namespace main_window {
namespace {

// One panel of the status bar: a read-only text whose name is what the panel shows. It has no
// object of its own; the bar's interface creates it and deletes it.
class StatusPanelAccessible final : public QAccessibleInterface {
public:
    StatusPanelAccessible(StatusBar* bar, int index) : bar_(bar), index_(index) {}

    bool isValid() const override { return bar_ != nullptr && index_ < bar_->panelCount(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return bar_ ? bar_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(bar_.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override {
        if (!isValid() || t != QAccessible::Name) return {};
        return bar_->panelText(index_);
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid()) return {};
        const QRect r = bar_->panelRect(index_);
        return {bar_->mapToGlobal(r.topLeft()), r.size()};
    }
    QAccessible::Role role() const override { return QAccessible::StaticText; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.readOnly = true;
        if (!bar_ || !bar_->isVisible()) s.invisible = true;
        return s;
    }

private:
    QPointer<StatusBar> bar_;
    int index_;
};

class StatusBarAccessible final : public QAccessibleWidget {
public:
    explicit StatusBarAccessible(StatusBar* bar) : QAccessibleWidget(bar, QAccessible::StatusBar) {}
    ~StatusBarAccessible() override {
        for (QAccessible::Id id : panelIds_) QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return bar()->panelCount(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount()) return nullptr;
        while (static_cast<int>(panelIds_.size()) <= index) {
            auto* panel = new StatusPanelAccessible(bar(), static_cast<int>(panelIds_.size()));
            panelIds_.push_back(QAccessible::registerAccessibleInterface(panel));
        }
        return QAccessible::accessibleInterface(panelIds_[static_cast<std::size_t>(index)]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (int i = 0; i < static_cast<int>(panelIds_.size()); ++i) {
            if (QAccessible::accessibleInterface(panelIds_[static_cast<std::size_t>(i)]) == child)
                return i;
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const QPoint at = bar()->mapFromGlobal(QPoint(x, y));
        for (int i = 0; i < childCount(); ++i) {
            if (bar()->panelRect(i).contains(at)) return child(i);
        }
        return nullptr;
    }

private:
    StatusBar* bar() const { return static_cast<StatusBar*>(widget()); }
    // Created on first request, in panel order; deleted with this interface.
    mutable std::vector<QAccessible::Id> panelIds_;
};

class ClickingCheckBoxAccessible final : public QAccessibleWidget {
public:
    explicit ClickingCheckBoxAccessible(QCheckBox* box)
        : QAccessibleWidget(box, QAccessible::CheckBox) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && box()->accessibleName().isEmpty()) {
            QString shown = box()->text();
            shown.remove(u'&');
            return shown;
        }
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = box()->checkState() == Qt::Checked;
        s.checkStateMixed = box()->checkState() == Qt::PartiallyChecked;
        return s;
    }
    QStringList actionNames() const override {
        return QStringList{toggleAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action != toggleAction() && action != pressAction()) {
            QAccessibleWidget::doAction(action);
            return;
        }
        // A click a moment later, as Qt presses buttons: the handler may run for a while (the
        // lyrics window fades in) and must not hold the assistive tool's call meanwhile.
        if (box()->isEnabled()) box()->animateClick();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QCheckBox* box() const { return static_cast<QCheckBox*>(widget()); }
};

// A label that shows only blanks (the design's spacer beside the progress label) has nothing
// to say: assistive tools are told it is not there, so screen readers skip it.
class BlankableLabelAccessible final : public QAccessibleWidget {
public:
    explicit BlankableLabelAccessible(QLabel* label)
        : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && label()->accessibleName().isEmpty()) return label()->text();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        if (label()->text().trimmed().isEmpty()) s.invisible = true;
        return s;
    }

private:
    QLabel* label() const { return static_cast<QLabel*>(widget()); }
};

QAccessibleInterface* makeInterface(const QString&, QObject* object) {
    if (auto* bar = qobject_cast<StatusBar*>(object)) return new StatusBarAccessible(bar);
    if (auto* box = qobject_cast<QCheckBox*>(object)) return new ClickingCheckBoxAccessible(box);
    if (auto* label = qobject_cast<QLabel*>(object); label && label->text().trimmed().isEmpty())
        return new BlankableLabelAccessible(label);
    // A plain top-level widget reads as a "filler"; the lyrics window is a window of its own.
    if (auto* lyricsWindow = qobject_cast<lyrics::LyricsWindow*>(object))
        return new QAccessibleWidget(lyricsWindow, QAccessible::Window);
    return nullptr;
}

}  // namespace

void installAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(makeInterface);
        return true;
    }();
    (void)installed;
}

}  // namespace main_window
