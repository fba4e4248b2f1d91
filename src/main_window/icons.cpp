#include "icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace main_window::icons {
namespace {

constexpr QColor kInk{40, 60, 110};
constexpr QColor kAccent{30, 140, 70};

QPainterPath triangle(QPointF a, QPointF b, QPointF c) {
    QPainterPath p;
    p.moveTo(a);
    p.lineTo(b);
    p.lineTo(c);
    p.closeSubpath();
    return p;
}

void drawNote(QPainter& p, QRectF r, QColor c) {
    p.setBrush(c);
    p.setPen(Qt::NoPen);
    const double w = r.width();
    p.drawEllipse(QRectF(r.left() + w * 0.1, r.top() + w * 0.62, w * 0.34, w * 0.26));
    p.drawEllipse(QRectF(r.left() + w * 0.56, r.top() + w * 0.52, w * 0.34, w * 0.26));
    p.drawRect(QRectF(r.left() + w * 0.36, r.top() + w * 0.12, w * 0.08, w * 0.64));
    p.drawRect(QRectF(r.left() + w * 0.82, r.top() + w * 0.04, w * 0.08, w * 0.62));
    p.drawPolygon(QPolygonF({QPointF(r.left() + w * 0.36, r.top() + w * 0.12),
                             QPointF(r.left() + w * 0.9, r.top() + w * 0.04),
                             QPointF(r.left() + w * 0.9, r.top() + w * 0.2),
                             QPointF(r.left() + w * 0.36, r.top() + w * 0.28)}));
}

void drawSpeaker(QPainter& p, QColor c) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(QPolygonF({QPointF(1, 6), QPointF(4, 6), QPointF(8, 2), QPointF(8, 14),
                             QPointF(4, 10), QPointF(1, 10)}));
}

void paint(QPainter& p, Glyph g) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    QPen line(kInk, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (g) {
        case Glyph::Play:
            p.drawPath(triangle({4, 2}, {13, 8}, {4, 14}));
            break;
        case Glyph::Pause:
            p.drawRect(QRectF(4, 3, 3, 10));
            p.drawRect(QRectF(9, 3, 3, 10));
            break;
        case Glyph::Stop:
            p.drawRect(QRectF(4, 4, 8, 8));
            break;
        case Glyph::Previous:
            p.drawRect(QRectF(3, 3, 2, 10));
            p.drawPath(triangle({13, 3}, {5, 8}, {13, 13}));
            break;
        case Glyph::Next:
            p.drawRect(QRectF(11, 3, 2, 10));
            p.drawPath(triangle({3, 3}, {11, 8}, {3, 13}));
            break;
        case Glyph::Back:
            p.drawPath(triangle({8, 3}, {1, 8}, {8, 13}));
            p.drawPath(triangle({15, 3}, {8, 8}, {15, 13}));
            break;
        case Glyph::Forward:
            p.drawPath(triangle({1, 3}, {8, 8}, {1, 13}));
            p.drawPath(triangle({8, 3}, {15, 8}, {8, 13}));
            break;
        case Glyph::OpenFile:
            p.setBrush(Qt::white);
            p.setPen(line);
            p.drawPolygon(QPolygonF({QPointF(3, 1.5), QPointF(10, 1.5), QPointF(13, 4.5),
                                     QPointF(13, 14.5), QPointF(3, 14.5)}));
            drawNote(p, QRectF(4.5, 5, 7, 7), kAccent);
            break;
        case Glyph::OpenFolder:
            p.setBrush(QColor(240, 200, 90));
            p.setPen(QPen(QColor(150, 110, 30), 1));
            p.drawPolygon(QPolygonF({QPointF(1, 3), QPointF(6, 3), QPointF(7.5, 5), QPointF(15, 5),
                                     QPointF(15, 14), QPointF(1, 14)}));
            break;
        case Glyph::OpenList:
        case Glyph::SaveList:
            p.setPen(line);
            for (int y : {4, 8, 12})
                p.drawLine(QPointF(2, y), QPointF(g == Glyph::SaveList ? 9 : 14, y));
            if (g == Glyph::SaveList) {
                p.setPen(Qt::NoPen);
                p.setBrush(kAccent);
                p.drawPath(triangle({10, 9}, {15, 9}, {12.5, 14}));
                p.drawRect(QRectF(11.5, 3, 2, 6));
            }
            break;
        case Glyph::Search:
            p.setPen(QPen(kInk, 2));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QRectF(2, 2, 8, 8));
            p.drawLine(QPointF(9, 9), QPointF(14, 14));
            break;
        case Glyph::Exit:
            p.setPen(QPen(QColor(190, 40, 40), 2.2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(4, 4), QPointF(12, 12));
            p.drawLine(QPointF(12, 4), QPointF(4, 12));
            break;
        case Glyph::InOrder:
            p.setPen(line);
            p.drawLine(QPointF(2, 8), QPointF(12, 8));
            p.setPen(Qt::NoPen);
            p.drawPath(triangle({11, 4}, {15, 8}, {11, 12}));
            break;
        case Glyph::RepeatOne:
        case Glyph::RepeatList:
            p.setPen(line);
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(2, 3, 12, 10), 30 * 16, 300 * 16);
            p.setPen(Qt::NoPen);
            p.setBrush(kInk);
            p.drawPath(triangle({11, 1}, {15, 5}, {10, 6}));
            if (g == Glyph::RepeatOne) p.drawRect(QRectF(7, 5.5, 2, 5));
            break;
        case Glyph::Random:
            p.setPen(line);
            p.drawLine(QPointF(2, 4), QPointF(13, 12));
            p.drawLine(QPointF(2, 12), QPointF(13, 4));
            break;
        case Glyph::Eject:
            p.drawPath(triangle({8, 2}, {14, 9}, {2, 9}));
            p.drawRect(QRectF(2, 11, 12, 2.5));
            break;
        case Glyph::CloseTray:
            p.drawPath(triangle({2, 3}, {14, 3}, {8, 10}));
            p.drawRect(QRectF(2, 11, 12, 2.5));
            break;
        case Glyph::Mute:
            drawSpeaker(p, kInk);
            p.setPen(QPen(QColor(190, 40, 40), 1.6));
            p.drawLine(QPointF(10, 5), QPointF(15, 11));
            p.drawLine(QPointF(15, 5), QPointF(10, 11));
            break;
        case Glyph::Louder:
        case Glyph::Softer:
            drawSpeaker(p, kInk);
            p.setPen(QPen(kAccent, 1.8));
            p.drawLine(QPointF(10, 8), QPointF(15, 8));
            if (g == Glyph::Louder) p.drawLine(QPointF(12.5, 5.5), QPointF(12.5, 10.5));
            break;
        case Glyph::Left:
        case Glyph::Right:
        case Glyph::Stereo: {
            p.setBrush(g == Glyph::Right ? QColor(190, 190, 200) : kInk);
            p.drawEllipse(QRectF(1, 5, 6, 6));
            p.setBrush(g == Glyph::Left ? QColor(190, 190, 200) : kInk);
            p.drawEllipse(QRectF(9, 5, 6, 6));
            break;
        }
        case Glyph::Help:
            p.setBrush(kInk);
            p.drawEllipse(QRectF(1, 1, 14, 14));
            p.setPen(Qt::white);
            p.setFont(QFont(p.font().family(), 8, QFont::Bold));
            p.drawText(QRectF(1, 1, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
            break;
    }
}

}  // namespace

QIcon glyph(Glyph g) {
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.scale(size / 16.0, size / 16.0);
        paint(p, g);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
        QLinearGradient disc(0, 0, 64, 64);
        disc.setColorAt(0, QColor(60, 180, 110));
        disc.setColorAt(1, QColor(20, 110, 70));
        p.setBrush(disc);
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(2, 2, 60, 60), 14, 14);
        drawNote(p, QRectF(12, 10, 40, 40), Qt::white);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

}  // namespace main_window::icons
