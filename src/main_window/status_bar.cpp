#include "status_bar.h"

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
}

void StatusBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const int n = panelCount();
    int x = 0;
    for (int i = 0; i < n; ++i) {
        const bool last = i == n - 1;
        const int w = last || widths_.empty() ? width() - x : widths_[static_cast<std::size_t>(i)];
        const QRect panel(x, 2, w - 2, height() - 2);
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
        x += w;
    }
}

}  // namespace main_window
