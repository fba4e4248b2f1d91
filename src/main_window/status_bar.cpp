#include "status_bar.h"

#include <QAccessible>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace main_window {

StatusBar::StatusBar(std::vector<int> widths, QWidget* parent)
    : QWidget(parent),
      widths_(std::move(widths)),
      texts_(std::max<std::size_t>(1, widths_.size())) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void StatusBar::setPanelText(int index, const QString& text) {
    QString& slot = texts_[static_cast<std::size_t>(index)];
    if (slot == text) return;
    slot = text;
    update();
    // Tells assistive tools that the panel reads differently now (its accessible name is its
    // text); a screen reader hears the new now-playing text without moving to the bar.
    if (QAccessible::isActive()) {
        QAccessibleEvent changed(this, QAccessible::NameChanged);
        changed.setChild(index);
        QAccessible::updateAccessibility(&changed);
    }
    Q_EMIT panelTextChanged(index);
}

QRect StatusBar::panelRect(int index) const {
    int x = 0;
    for (int i = 0; i < index; ++i) x += widths_.empty() ? 0 : widths_[static_cast<std::size_t>(i)];
    const bool last = index == panelCount() - 1;
    const int w = last || widths_.empty() ? width() - x : widths_[static_cast<std::size_t>(index)];
    return {x, 2, w - 2, height() - 2};
}

void StatusBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    for (int i = 0; i < panelCount(); ++i) {
        const QRect panel = panelRect(i);
        // A sunken frame per panel, drawn in the palette's shades.
        p.setPen(palette().color(QPalette::Dark));
        p.drawLine(panel.topLeft(), panel.topRight());
        p.drawLine(panel.topLeft(), panel.bottomLeft());
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(panel.bottomLeft(), panel.bottomRight());
        p.drawLine(panel.topRight(), panel.bottomRight());
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(panel.adjusted(3, 0, -2, 0),
                   Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                   texts_[static_cast<std::size_t>(i)]);
    }
}

}  // namespace main_window
