// SPDX-License-Identifier: GPL-3.0-or-later
#include "status_bar.h"

#include <QAccessible>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace main_window {
namespace {

// Inside a panel: 2 pixels between panels, 3 before the text and 2 after it.
constexpr int kPanelGap = 2;
constexpr int kTextLeft = 3;
constexpr int kTextRight = 2;

}  // namespace

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
    const int n = panelCount();
    std::vector<int> w(static_cast<std::size_t>(n));
    int used = 0;
    for (int i = 0; i + 1 < n; ++i) {
        w[std::size_t(i)] = i < int(widths_.size()) ? widths_[std::size_t(i)] : 0;
        used += w[std::size_t(i)];
    }
    w.back() = width() - used;
    // Trailing blanks need no room: the total time ends in four.
    for (int i = 1; i < n; ++i) {
        const QString shown = texts_[std::size_t(i)];
        qsizetype end = shown.size();
        while (end > 0 && shown[end - 1] == u' ') --end;
        const int needed =
            fontMetrics().horizontalAdvance(shown.left(end)) + kTextLeft + kTextRight + kPanelGap;
        if (needed > w[std::size_t(i)]) {
            w.front() -= needed - w[std::size_t(i)];
            w[std::size_t(i)] = needed;
        }
    }
    int x = 0;
    for (int i = 0; i < index; ++i) x += w[std::size_t(i)];
    return {x, 2, w[std::size_t(index)] - kPanelGap, height() - 2};
}

void StatusBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const int n = panelCount();
    for (int i = 0; i < n; ++i) {
        const QRect panel = panelRect(i);
        // A sunken frame per panel, drawn in the palette's shades.
        p.setPen(palette().color(QPalette::Dark));
        p.drawLine(panel.topLeft(), panel.topRight());
        p.drawLine(panel.topLeft(), panel.bottomLeft());
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(panel.bottomLeft(), panel.bottomRight());
        p.drawLine(panel.topRight(), panel.bottomRight());
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(panel.adjusted(kTextLeft, 0, -kTextRight, 0),
                   Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                   texts_[static_cast<std::size_t>(i)]);
    }
}

}  // namespace main_window
