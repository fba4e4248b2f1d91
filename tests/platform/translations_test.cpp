#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLocale>
#include <QPushButton>
#include <QTranslator>

#include "platform/translations.h"

namespace {

// Qt's own buttons follow the user's language once its translations are loaded; the
// translator is taken out again so that other tests see Qt's texts untranslated.
TEST(QtTranslations, AChineseDesktopGetsChineseStandardButtons) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    EXPECT_EQ(platform::installQtTranslations(), QStringLiteral("zh_CN"))
        << "Qt's Chinese translations are missing (Debian package qt6-translations-l10n)";
    QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Yes |
                         QDialogButtonBox::No);
    EXPECT_EQ(box.button(QDialogButtonBox::Ok)->text(), QStringLiteral(u"确定"));
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral(u"取消"));
    EXPECT_TRUE(box.button(QDialogButtonBox::Yes)->text().startsWith(u'是'));
    EXPECT_TRUE(box.button(QDialogButtonBox::No)->text().startsWith(u'否'));
    for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>())
        QCoreApplication::removeTranslator(t);
    QLocale::setDefault(before);
}

}  // namespace
