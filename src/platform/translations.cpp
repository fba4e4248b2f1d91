// SPDX-License-Identifier: GPL-3.0-or-later
#include "translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace platform {

QString installQtTranslations() {
    const QString directory = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QLocale locale;
    // Owned by the application, so it lives as long as the texts it translates.
    auto* translator = new QTranslator(QCoreApplication::instance());
    bool loaded = translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), directory);
    // Qt ships one Chinese catalogue per script, named by a country (zh_CN, zh_TW), so the
    // other Chinese locales (zh_HK, zh_MO, zh_SG) find none by their own name: they take the
    // catalogue of their script rather than English.
    if (!loaded && locale.language() == QLocale::Chinese) {
        const bool traditional = locale.script() == QLocale::TraditionalHanScript;
        loaded = translator->load(traditional ? QStringLiteral("qtbase_zh_TW")
                                              : QStringLiteral("qtbase_zh_CN"),
                                  directory);
    }
    if (!loaded) {
        delete translator;
        return {};
    }
    QCoreApplication::installTranslator(translator);
    return translator->language();
}

}  // namespace platform
