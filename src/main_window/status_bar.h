// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A status bar of fixed-width panels, each holding one text, as the main window lays it out.
// The bar paints its texts itself; assistive tools read each panel through the bar's accessible
// interface (accessibility.h) and hear of every change of a panel's text. UI thread only.

#include <QString>
#include <QWidget>

#include <vector>

namespace main_window {

class StatusBar final : public QWidget {
    Q_OBJECT
public:
    // `widths`: one entry per panel, in pixels; the last panel also takes what is left. A
    // panel after the first is never narrower than its text ("101:00" included): what it needs
    // beyond its width comes off the first panel.
    explicit StatusBar(std::vector<int> widths, QWidget* parent = nullptr);

    int panelCount() const { return static_cast<int>(texts_.size()); }
    const QString& panelText(int index) const { return texts_[static_cast<std::size_t>(index)]; }
    void setPanelText(int index, const QString& text);
    // The simple text shown across the whole bar when it has no panels.
    void setSimpleText(const QString& text) { setPanelText(0, text); }
    // Where panel `index` lies, in the bar's coordinates.
    QRect panelRect(int index) const;

Q_SIGNALS:
    // Panel `index` has a new text.
    void panelTextChanged(int index);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<int> widths_;
    std::vector<QString> texts_;
};

}  // namespace main_window
