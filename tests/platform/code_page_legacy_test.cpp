// SPDX-License-Identifier: GPL-3.0-or-later
// Names and tags from older systems under today's locales: the corpus read as written, the
// legacy code page of each language, paths read folder by folder, messages that quote names.
#include <gtest/gtest.h>

#include <string>

#include "legacy_corpus.h"
#include "platform/code_page.h"
#include "platform/legacy_text.h"

namespace {

using legacy_corpus::localePage;
using platform::CodePage;

TEST(LegacyNames, CorpusReadsAsWrittenUnderChineseUtf8Locales) {
    const std::vector<legacy_corpus::Name> names = legacy_corpus::load();
    ASSERT_GE(names.size(), 300u);
    for (const char* locale : {"zh_CN.UTF-8", "zh_TW.UTF-8"}) {
        SCOPED_TRACE(locale);
        const CodePage page = localePage(locale);
        const legacy_corpus::Count all = legacy_corpus::readAsWritten(names, page).at("all");
        EXPECT_GE(all.right * 100, all.total * 98) << all.right << " of " << all.total;
        // Valid UTF-8 is never second-guessed.
        for (const legacy_corpus::Name& n : names) {
            EXPECT_EQ(page.toDisplay(n.text.toStdString()), n.text);
        }
    }
    // Every GBK name that read right as GB18030 alone still reads right under zh_CN.
    const CodePage china = localePage("zh_CN.UTF-8");
    const CodePage gb18030 = CodePage::fromCharsetName("GB18030");
    for (const legacy_corpus::Name& n : names) {
        if (n.codePage != "GBK" || CodePage::utf8().isValidText(n.bytes) ||
            gb18030.toDisplay(n.bytes) != n.text) {
            continue;
        }
        EXPECT_EQ(china.toDisplay(n.bytes), n.text) << n.text.toStdString();
    }
}

TEST(LegacyNames, LegacyCodePageFollowsTheLocalesLanguage) {
    const std::pair<const char*, const char*> cases[] = {
        {"zh_CN.UTF-8", "GB18030"},
        {"zh_SG.GBK", "GB18030"},
        {"zh", "GB18030"},
        {"zh_TW.UTF-8", "BIG5-HKSCS"},
        {"zh_HK.BIG5-HKSCS", "BIG5-HKSCS"},
        {"zh_MO", "BIG5-HKSCS"},
        {"ja_JP.UTF-8", "CP932"},
        {"ko_KR.EUC-KR", "CP949"},
        {"en_US.UTF-8", "CP1252"},
        {"de_DE@euro", "CP1252"},
        {"C", "CP1252"},
    };
    for (const auto& [locale, charset] : cases) {
        EXPECT_EQ(platform::legacyCharsetOfLocale(locale), charset) << locale;
    }
}

// What a user finds in collections from other old systems, as names and as tags.
TEST(LegacyNames, NamesAndTagsReadInTheLanguageTheyWereWrittenIn) {
    const std::string motorhead = "Mot\xF6rhead - Ace.mp3";
    const std::string moon =
        "\xA4\xEB\xAB\x47\xA5\x4E\xAA\xED\xA7\xDA\xAA\xBA\xA4\xDF.mp3";  // Big5
    const std::string chengdu = "\xB3\xC9\xB6\xBC";                      // GBK
    const struct {
        const char* locale;
        std::string bytes;
        QString shown;
    } cases[] = {
        {"zh_CN.UTF-8", motorhead, QStringLiteral(u"Motörhead - Ace.mp3")},
        {"en_US.UTF-8", motorhead, QStringLiteral(u"Motörhead - Ace.mp3")},
        {"zh_TW.UTF-8", moon, QStringLiteral(u"月亮代表我的心.mp3")},
        {"en_US.UTF-8", moon, QStringLiteral(u"月亮代表我的心.mp3")},
        {"zh_CN.UTF-8", "Bj\xF6rk", QStringLiteral(u"Björk")},
        {"zh_TW.UTF-8", "J\xF3ga", QStringLiteral(u"Jóga")},
        {"en_US.UTF-8", chengdu, QStringLiteral(u"成都")},
        // Cut short in the middle of a character, as a full ID3v1 field is.
        {"zh_CN.UTF-8", chengdu + "\xB8", QStringLiteral(u"成都\uFFFD")},
        {"ko_KR.UTF-8", "\xB0\xA1\xE8", QStringLiteral(u"가\uFFFD")},
    };
    const CodePage saved = CodePage::active();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + " " + c.shown.toStdString());
        CodePage::setActive(localePage(c.locale));
        EXPECT_EQ(platform::toDisplay(c.bytes), c.shown);
        EXPECT_EQ(platform::legacyText(c.bytes), c.shown);
    }
    CodePage::setActive(saved);
}

TEST(LegacyNames, PathsReadFolderByFolderAndMessagesWordByWord) {
    const CodePage china = localePage("zh_CN.UTF-8");
    // 音乐 and 歌手 in GBK, 稻香 in UTF-8, Música in CP1252.
    const std::string path =
        "/\xD2\xF4\xC0\xD6/M\xFAsica/\xB8\xE8\xCA\xD6/\xE7\xA8\xBB\xE9\xA6\x99.mp3";
    EXPECT_EQ(china.toDisplayPath(path), QStringLiteral(u"/音乐/Música/歌手/稻香.mp3"));
    EXPECT_EQ(china.toDisplayPath(path.substr(0, 13)), QStringLiteral(u"/音乐/Música/"));
    // A system message in the locale's UTF-8 that quotes the path.
    EXPECT_EQ(china.toDisplayMessage("\xE6\x97\xA0\xE6\xB3\x95\xE6\x89\x93\xE5\xBC\x80 \"" + path +
                                     "\"\xEF\xBC\x9A\xE6\x9D\x83\xE9\x99\x90"),
              QStringLiteral(u"无法打开 \"/音乐/Música/歌手/稻香.mp3\"：权限"));
}

}  // namespace
