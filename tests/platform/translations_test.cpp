// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLocale>
#include <QPushButton>
#include <QTranslator>

#include "platform/translations.h"

namespace {

// Qt's own buttons follow the user's language once its translations are loaded, Hong Kong's
// from the Taiwanese catalogue, since Qt has none of its own. Each translator is taken out
// again, so that the next case and other tests see Qt's texts untranslated.
TEST(QtTranslations, ChineseDesktopsGetStandardButtonsInTheirScript) {
    struct Case {
        QLocale locale;
        const char* catalogue;
        const char16_t* ok;
    };
    const Case cases[] = {
        {QLocale(QLocale::Chinese, QLocale::China), "zh_CN", u"确定"},
        {QLocale(QLocale::Chinese, QLocale::Taiwan), "zh_TW", u"確定"},
        {QLocale(QLocale::Chinese, QLocale::HongKong), "zh_TW", u"確定"},
        {QLocale(QLocale::Chinese, QLocale::Singapore), "zh_CN", u"确定"},
    };
    const QLocale before;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale.name().toStdString());
        QLocale::setDefault(c.locale);
        EXPECT_EQ(platform::installQtTranslations(), QString::fromLatin1(c.catalogue))
            << "Qt's Chinese translations are missing (Debian package qt6-translations-l10n)";
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                             QDialogButtonBox::Yes | QDialogButtonBox::No);
        EXPECT_EQ(box.button(QDialogButtonBox::Ok)->text(), QString::fromUtf16(c.ok));
        EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral(u"取消"));
        EXPECT_TRUE(box.button(QDialogButtonBox::Yes)->text().startsWith(u'是'));
        EXPECT_TRUE(box.button(QDialogButtonBox::No)->text().startsWith(u'否'));
        for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(t);
            delete t;
        }
    }
    QLocale::setDefault(before);
}

}  // namespace
