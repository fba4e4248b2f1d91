// SPDX-License-Identifier: GPL-3.0-or-later
#include "icons.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <vector>

namespace main_window::icons {
namespace {

// What a glyph's colours must reach against the colour behind them; a little above the 3:1
// that non-text graphics need, so that antialiased edges keep the shape readable too.
constexpr double kTargetContrast = 3.5;

// The hues the glyphs are designed in; only their lightness is adjusted to the palette.
constexpr QColor kAccent{30, 140, 70};   // notes, "save", "louder"
constexpr QColor kAlert{190, 40, 40};    // exit, mute
constexpr QColor kFolder{200, 140, 20};  // the folder

double linear(int channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c) {
    return 0.2126 * linear(c.red()) + 0.7152 * linear(c.green()) + 0.0722 * linear(c.blue());
}

// `wanted`, lightened on a dark background or darkened on a light one until it stands out
// against every colour in `backs` (the first decides which); black or white when no shade of
// it does.
QColor legibleOn(const QColor& wanted, const std::vector<QColor>& backs) {
    auto standsOut = [&](const QColor& c) {
        return std::all_of(backs.begin(), backs.end(), [&](const QColor& back) {
            return contrastRatio(c, back) >= kTargetContrast;
        });
    };
    const bool darkBackground = luminance(backs.front()) < 0.18;
    QColor c = wanted;
    for (int step = 0; step < 24 && !standsOut(c); ++step)
        c = darkBackground ? c.lighter(115) : c.darker(115);
    if (standsOut(c)) return c;
    return darkBackground ? QColor(Qt::white) : QColor(Qt::black);
}

// The colours one glyph is painted in, for one icon mode of the current palette.
struct Inks {
    QColor ink;     // the shape itself
    QColor accent;  // green details
    QColor alert;   // red details
    QColor folder;
};

// What a glyph is drawn on: a button's face, which styles shade a little lighter or darker than
// the palette's button colour (Fusion's dark faces are a third lighter), or a menu's background;
// a highlighted menu item draws it on the highlight colour.
std::vector<QColor> backgroundsOf(const QPalette& palette, QPalette::ColorGroup group,
                                  bool highlighted) {
    if (highlighted) return {palette.color(group, QPalette::Highlight)};
    const QColor button = palette.color(group, QPalette::Button);
    return {button, button.lighter(140), button.darker(115),
            palette.color(group, QPalette::Window)};
}

Inks inksFor(QIcon::Mode mode) {
    const QPalette palette = QGuiApplication::palette();
    if (mode == QIcon::Disabled) {
        // One grey, dimmer than the ink but still a readable shape: a disabled transport button
        // keeps telling what it is for.
        const QColor grey = legibleOn(palette.color(QPalette::Disabled, QPalette::ButtonText),
                                      backgroundsOf(palette, QPalette::Disabled, false));
        return {grey, grey, grey, grey};
    }
    const bool highlighted = mode == QIcon::Active || mode == QIcon::Selected;
    const std::vector<QColor> backs = backgroundsOf(palette, QPalette::Active, highlighted);
    const QColor text =
        palette.color(highlighted ? QPalette::HighlightedText : QPalette::ButtonText);
    return {legibleOn(text, backs), legibleOn(kAccent, backs), legibleOn(kAlert, backs),
            legibleOn(kFolder, backs)};
}

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

// Paints `g` in a 16 x 16 box.
void paint(QPainter& p, Glyph g, const Inks& k) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(k.ink);
    QPen line(k.ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
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
            p.setBrush(Qt::NoBrush);
            p.setPen(line);
            p.drawPolygon(QPolygonF({QPointF(3, 1.5), QPointF(10, 1.5), QPointF(13, 4.5),
                                     QPointF(13, 14.5), QPointF(3, 14.5)}));
            drawNote(p, QRectF(4.5, 5, 7, 7), k.accent);
            break;
        case Glyph::OpenFolder:
            p.setBrush(k.folder);
            p.setPen(Qt::NoPen);
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
                p.setBrush(k.accent);
                p.drawPath(triangle({10, 9}, {15, 9}, {12.5, 14}));
                p.drawRect(QRectF(11.5, 3, 2, 6));
            }
            break;
        case Glyph::Search:
            p.setPen(QPen(k.ink, 2));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QRectF(2, 2, 8, 8));
            p.drawLine(QPointF(9, 9), QPointF(14, 14));
            break;
        case Glyph::Exit:
            p.setPen(QPen(k.alert, 2.2, Qt::SolidLine, Qt::RoundCap));
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
            p.setBrush(k.ink);
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
            drawSpeaker(p, k.ink);
            p.setPen(QPen(k.alert, 1.6));
            p.drawLine(QPointF(10, 5), QPointF(15, 11));
            p.drawLine(QPointF(15, 5), QPointF(10, 11));
            break;
        case Glyph::Louder:
        case Glyph::Softer:
            drawSpeaker(p, k.ink);
            p.setPen(QPen(k.accent, 1.8));
            p.drawLine(QPointF(10, 8), QPointF(15, 8));
            if (g == Glyph::Louder) p.drawLine(QPointF(12.5, 5.5), QPointF(12.5, 10.5));
            break;
        case Glyph::Left:
        case Glyph::Right:
        case Glyph::Stereo: {
            // A channel that sounds is a filled dot, a silent one an outline.
            const QPen outline(k.ink, 1.4);
            p.setPen(g == Glyph::Right ? outline : QPen(Qt::NoPen));
            p.setBrush(g == Glyph::Right ? QBrush(Qt::NoBrush) : QBrush(k.ink));
            p.drawEllipse(QRectF(1.7, 5.7, 5.6, 5.6));
            p.setPen(g == Glyph::Left ? outline : QPen(Qt::NoPen));
            p.setBrush(g == Glyph::Left ? QBrush(Qt::NoBrush) : QBrush(k.ink));
            p.drawEllipse(QRectF(9.7, 5.7, 5.6, 5.6));
            break;
        }
        case Glyph::Help:
            p.setBrush(k.ink);
            p.drawEllipse(QRectF(1, 1, 14, 14));
            // The question mark is cut out of the disc: whatever is behind shows through.
            p.setCompositionMode(QPainter::CompositionMode_Clear);
            p.setPen(Qt::black);
            p.setFont(QFont(p.font().family(), 8, QFont::Bold));
            p.drawText(QRectF(1, 1, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
            break;
    }
}

// Paints a glyph whenever asked, in the colours of the palette at that moment.
class GlyphEngine final : public QIconEngine {
public:
    explicit GlyphEngine(Glyph g) : glyph_(g) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        // Through a pixmap: the help glyph cuts its mark out of its own pixels only.
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap pm = pixmap((QSizeF(rect.size()) * ratio).toSize(), mode, state);
        pm.setDevicePixelRatio(ratio);
        painter->drawPixmap(rect.topLeft(), pm);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.scale(size.width() / 16.0, size.height() / 16.0);
        icons::paint(p, glyph_, inksFor(mode));
        return pm;
    }

    QIconEngine* clone() const override { return new GlyphEngine(glyph_); }
    QString key() const override { return QStringLiteral("vorela-glyph"); }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        return {QSize(16, 16), QSize(32, 32)};
    }

private:
    Glyph glyph_;
};

QPixmap paintApplicationIcon(int size) {
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
    return pm;
}

}  // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QIcon glyph(Glyph g) {
    return QIcon(new GlyphEngine(g));
}

QIcon applicationIcon() {
    // Painted once: the application and its main window show the same pixmaps. Never
    // destroyed, as pixmaps must not outlive the application object.
    static const QIcon* const painted = [] {
        auto* icon = new QIcon;
        for (int size : {16, 32, 48, 64, 128}) icon->addPixmap(paintApplicationIcon(size));
        return icon;
    }();
    return *painted;
}

}  // namespace main_window::icons
