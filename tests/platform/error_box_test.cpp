// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include <stdexcept>

#include "platform/error_box.h"
#include "support/scripted_message_box.h"

namespace {

TEST(StandardError, FullStopRule) {
    struct Case {
        QString message, shown;
    } const cases[] = {
        {QStringLiteral("Cannot open file"), QStringLiteral("Cannot open file.")},
        {QStringLiteral("Done."), QStringLiteral("Done.")},
        {QStringLiteral("Really?"), QStringLiteral("Really?.")},         // '?' sorts after '.'
        {QStringLiteral("Ends with -"), QStringLiteral("Ends with -")},  // '-' sorts before '.'
        {QStringLiteral("Ends with !"), QStringLiteral("Ends with !")},
        {QString(), QString()},
        {QStringLiteral(u"无法打开"), QStringLiteral(u"无法打开.")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::standardErrorText(c.message), c.shown) << c.message.toStdString();
}

TEST(StandardError, ExceptionInAHandlerIsShownAndTheProgramGoesOn) {
    testing_support::ScriptedMessageBoxes boxes;
    QPushButton button;
    int runs = 0;
    QObject::connect(&button, &QPushButton::clicked, &button, platform::guarded([&] {
        ++runs;
        throw std::runtime_error("No MCI device open");
    }));
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(runs, 2);
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.shown()[0].text, QStringLiteral("No MCI device open."));
    EXPECT_EQ(boxes.shown()[0].caption, QStringLiteral(u"Tamsir实用软件_VorelaMP3播放器"));
    EXPECT_EQ(boxes.shown()[0].style, 0x10u);
    EXPECT_EQ(boxes.shown()[0].owner, nullptr);
}

}  // namespace
