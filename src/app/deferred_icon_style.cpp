// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/deferred_icon_style.h"

#include <QApplication>
#include <QIconEngine>
#include <QPointer>
#include <QWidget>

namespace app {
namespace {

// Stands for the standard icon `which` of `style`: asks the style for it the first time the
// icon is drawn, measured or asked anything else, then answers as that icon does. Sizes come
// in device pixels, as Qt hands them to engines, and go on at a ratio of 1 for that reason.
class DeferredIconEngine final : public QIconEngine {
public:
    DeferredIconEngine(const QStyle* style, QStyle::StandardPixmap which, const QWidget* widget)
        : style_(const_cast<QStyle*>(style)),
          which_(which),
          widget_(const_cast<QWidget*>(widget)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, 1.0, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        return icon().pixmap((QSizeF(size) / scale).toSize(), scale, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return icon().availableSizes(mode, state);
    }
    void addPixmap(const QPixmap& pixmap, QIcon::Mode mode, QIcon::State state) override {
        icon().addPixmap(pixmap, mode, state);
    }
    void addFile(const QString& fileName, const QSize& size, QIcon::Mode mode,
                 QIcon::State state) override {
        icon().addFile(fileName, size, mode, state);
    }
    QString iconName() override { return icon().name(); }
    bool isNull() override { return icon().isNull(); }
    QString key() const override { return QStringLiteral("vorela-deferred-standard-icon"); }
    QIconEngine* clone() const override { return new DeferredIconEngine(*this); }

private:
    QIcon& icon() {
        if (!resolved_) {
            // The base style, or, should it have gone with its proxy, whatever style is current.
            const QStyle* style = style_ ? style_.data() : QApplication::style();
            icon_ = style->standardIcon(which_, nullptr, widget_);
            resolved_ = true;
        }
        return icon_;
    }

    QPointer<QStyle> style_;
    QStyle::StandardPixmap which_;
    QPointer<QWidget> widget_;
    bool resolved_ = false;
    QIcon icon_;
};

}  // namespace

DeferredIconStyle::DeferredIconStyle(const QString& baseKey) : QProxyStyle(baseKey) {}

QIcon DeferredIconStyle::standardIcon(StandardPixmap icon, const QStyleOption* option,
                                      const QWidget* widget) const {
    if (option != nullptr) return QProxyStyle::standardIcon(icon, option, widget);
    return QIcon(new DeferredIconEngine(baseStyle(), icon, widget));
}

void installDeferredIconStyle() {
    // A second instance of the same style as the base: the application's own goes when the
    // proxy replaces it.
    QApplication::setStyle(new DeferredIconStyle(QApplication::style()->name()));
}

}  // namespace app
