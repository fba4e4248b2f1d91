// SPDX-License-Identifier: GPL-3.0-or-later
// The glyphs follow the palette: every glyph, in each icon mode the controls use, stands out at
// least 3:1 against what it is drawn on, in a light and a dark palette, and an icon made once
// repaints in a palette set later.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QStyle>
#include <QStyleFactory>
#include <QToolButton>

#include <memory>

#include "main_window/icons.h"
#include "main_window/main_window.h"

namespace {

using main_window::icons::contrastRatio;
using main_window::icons::Glyph;

// qt6ct's "darker" colour scheme, as a desktop user picks a dark theme.
QPalette darkPalette() {
    QPalette p;
    const std::pair<QPalette::ColorRole, QColor> roles[] = {
        {QPalette::WindowText, Qt::white},
        {QPalette::Button, QColor(0x424245)},
        {QPalette::Light, QColor(0x979797)},
        {QPalette::Midlight, QColor(0x5e5c5b)},
        {QPalette::Dark, QColor(0x302f2e)},
        {QPalette::Mid, QColor(0x4a4947)},
        {QPalette::Text, Qt::white},
        {QPalette::ButtonText, Qt::white},
        {QPalette::Base, QColor(0x3d3d3d)},
        {QPalette::Window, QColor(0x222020)},
        {QPalette::Highlight, QColor(0x12608a)},
        {QPalette::HighlightedText, QColor(0xf9f9f9)}};
    for (const auto& [role, colour] : roles) p.setColor(role, colour);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(0x808080));
    return p;
}

QPalette lightPalette() {
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    return fusion->standardPalette();
}

class IconsTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        original_ = QApplication::palette();
        QApplication::setPalette(GetParam() ? darkPalette() : lightPalette());
    }
    void TearDown() override { QApplication::setPalette(original_); }

private:
    QPalette original_;
};

TEST(ContrastRatio, FollowsTheDefinition) {
    EXPECT_DOUBLE_EQ(contrastRatio(Qt::black, Qt::white), 21.0);
    EXPECT_DOUBLE_EQ(contrastRatio(Qt::white, Qt::black), 21.0);
    EXPECT_DOUBLE_EQ(contrastRatio(QColor(0x777777), QColor(0x777777)), 1.0);
    EXPECT_NEAR(contrastRatio(QColor(0x777777), Qt::white), 4.48, 0.01);
}

TEST_P(IconsTest, EveryGlyphStandsOutOnWhatItIsDrawnOn) {
    const QPalette p = QApplication::palette();
    const struct {
        QIcon::Mode mode;
        std::vector<QColor> backs;
    } uses[] = {
        {QIcon::Normal, {p.color(QPalette::Button), p.color(QPalette::Window)}},
        {QIcon::Disabled,
         {p.color(QPalette::Disabled, QPalette::Button),
          p.color(QPalette::Disabled, QPalette::Window)}},
        {QIcon::Active, {p.color(QPalette::Highlight)}},  // a highlighted menu item
    };
    for (int g = 0; g < main_window::icons::kGlyphCount; ++g) {
        const QIcon icon = main_window::icons::glyph(static_cast<Glyph>(g));
        for (const auto& use : uses) {
            const QImage image = icon.pixmap(QSize(32, 32), use.mode)
                                     .toImage()
                                     .convertToFormat(QImage::Format_ARGB32);
            int solid = 0;
            double worst = 21.0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    if (c.alpha() < 255) continue;  // antialiased edges and the background
                    ++solid;
                    for (const QColor& back : use.backs)
                        worst = std::min(worst, contrastRatio(c, back));
                }
            }
            SCOPED_TRACE(testing::Message() << "glyph " << g << ", mode " << use.mode);
            EXPECT_GT(solid, 10);
            EXPECT_GE(worst, 3.0);
        }
    }
}

TEST_P(IconsTest, ButtonsRepaintTheirGlyphsInAPaletteSetLater) {
    main_window::MainWindow window;
    const QImage before = window.playButton->icon().pixmap(16).toImage();
    QApplication::setPalette(GetParam() ? lightPalette() : darkPalette());
    const QImage after = window.playButton->icon().pixmap(16).toImage();
    EXPECT_NE(before, after);
    EXPECT_GE(
        contrastRatio(after.pixelColor(8, 8), QApplication::palette().color(QPalette::Button)),
        3.0);
}

INSTANTIATE_TEST_SUITE_P(Palettes, IconsTest, ::testing::Values(false, true),
                         [](const auto& palette) { return palette.param ? "Dark" : "Light"; });

}  // namespace
