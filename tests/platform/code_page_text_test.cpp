// SPDX-License-Identifier: GPL-3.0-or-later
// Bytes to screen text and back through a code page.
#include <gtest/gtest.h>

#include <string>

#include "platform/code_page.h"

namespace {

using platform::CodePage;

struct TextCase {
    const char* label;
    std::string bytes;
    QString text;
};

class DisplayRoundTrip : public ::testing::TestWithParam<std::pair<CodePage, TextCase>> {};

TEST_P(DisplayRoundTrip, BytesShowAsTheTextAndComeBackUnchanged) {
    const auto& [page, c] = GetParam();
    SCOPED_TRACE(c.label);
    EXPECT_TRUE(page.isValidText(c.bytes));
    EXPECT_EQ(page.toDisplay(c.bytes), c.text);
    EXPECT_EQ(page.fromDisplay(c.text), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, DisplayRoundTrip,
    ::testing::Values(
        std::pair{CodePage::gbk(),
                  TextCase{"ascii", "/music/a b.mp3", QStringLiteral("/music/a b.mp3")}},
        std::pair{CodePage::gbk(), TextCase{"gbk", "/\xD2\xF4\xC0\xD6/\xB8\xE8.mp3",
                                            QStringLiteral(u"/音乐/歌.mp3")}},
        // Trail bytes 0x5C ("\") and 0x40..0x7E stay inside their characters.
        std::pair{CodePage::gbk(),
                  TextCase{"gbk trail 0x5C", "\x9C\x5C\x87\x5C.lrc", QStringLiteral(u"淺嘰.lrc")}},
        std::pair{CodePage::fromCharsetName("GB18030"),
                  TextCase{"gb18030 four bytes", "\x81\x30\x81\x30\xC4\xE3",
                           QStringLiteral(u"\u0080你")}},
        std::pair{CodePage::utf8(), TextCase{"utf-8", "/\xE9\x9F\xB3\xE4\xB9\x90/\xE6\xAD\x8C.mp3",
                                             QStringLiteral(u"/音乐/歌.mp3")}},
        std::pair{CodePage::utf8(),
                  TextCase{"utf-8 outside the BMP", "\xF0\x9F\x8E\xB5", QStringLiteral(u"🎵")}},
        std::pair{CodePage::singleByte(), TextCase{"latin-1", "caf\xE9", QStringLiteral(u"café")}},
        std::pair{CodePage::fromCharsetName("KOI8-R"),
                  TextCase{"koi8-r", "\xD0\xC5\xD3\xCE\xD1", QStringLiteral(u"песня")}},
        // The C locale's ASCII is shown as UTF-8, as Qt shows it.
        std::pair{CodePage::fromCharsetName("ANSI_X3.4-1968"),
                  TextCase{"C locale", "\xE6\xAD\x8C", QStringLiteral(u"歌")}}));

TEST(CodePageText, TextWithoutAFormInTheCodePageIsRefusedNotQuestionMarked) {
    const CodePage gbk = CodePage::gbk();
    for (const QString& text : {QStringLiteral(u"한국.mp3"), QStringLiteral(u"a🎵.mp3"),
                                QStringLiteral(u"\uFFFD.mp3"), QString(QChar(0xD800))}) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(gbk.fromDisplay(text), std::nullopt);
    }
    EXPECT_EQ(CodePage::singleByte().fromDisplay(QStringLiteral(u"歌")), std::nullopt);
    EXPECT_EQ(CodePage::utf8().fromDisplay(QString(QChar(0xDC00))), std::nullopt);
    EXPECT_EQ(CodePage::utf8().fromDisplay(QStringLiteral(u"한국")), "\xED\x95\x9C\xEA\xB5\xAD");
}

TEST(CodePageText, InvalidBytesShowAsReplacementCharactersAndAreReported) {
    // A lone lead byte, a lead byte followed by a byte that is no trail, a cut-off last
    // character: each bad byte is one U+FFFD, the rest still shows.
    const CodePage gbk = CodePage::gbk();
    EXPECT_EQ(gbk.toDisplay("\xFF"
                            "a\xB8\xE8"),
              QStringLiteral(u"\uFFFDa歌"));
    EXPECT_EQ(gbk.toDisplay("\xB8\xE8\xB8"), QStringLiteral(u"歌\uFFFD"));
    EXPECT_FALSE(gbk.isValidText("\xB8\xE8\xB8"));
    EXPECT_FALSE(CodePage::utf8().isValidText("\xB8\xE8"));
    // Neither UTF-8 nor GB18030 (0xFF is no lead byte in either).
    EXPECT_TRUE(CodePage::utf8().toDisplay("a\xFF\xB8\xE8").startsWith(u'a'));
    EXPECT_TRUE(CodePage::utf8().toDisplay("a\xFF\xB8\xE8").contains(QChar(0xFFFD)));
}

// Names and tags from Chinese Windows systems: GBK bytes where the locale expects other text.
TEST(CodePageText, TextInvalidInTheLocaleButValidGb18030ShowsAsGb18030) {
    struct Case {
        const char* label;
        CodePage page;
        std::string bytes;
        QString shown;
    };
    const std::string gbkSong = "\xB3\xC9\xB6\xBC.mp3";  // 成都.mp3
    const Case cases[] = {
        {"gbk name, utf-8 locale", CodePage::utf8(), gbkSong, QStringLiteral(u"成都.mp3")},
        {"gbk name, C locale", CodePage::fromCharsetName("ANSI_X3.4-1968"), gbkSong,
         QStringLiteral(u"成都.mp3")},
        {"gb18030 four bytes, gbk locale", CodePage::gbk(), "\x81\x30\x81\x30\xC4\xE3",
         QStringLiteral(u"\u0080你")},
        // The UTF-8 of 文歌 is also the GBK of 鏂囨瓕: the locale's reading wins.
        {"valid in both, utf-8 locale", CodePage::utf8(), "\xE6\x96\x87\xE6\xAD\x8C",
         QStringLiteral(u"文歌")},
        {"valid in both, gbk locale", CodePage::gbk(), "\xE6\x96\x87\xE6\xAD\x8C",
         QStringLiteral(u"鏂囨瓕")},
        {"latin-1 locale", CodePage::singleByte(), gbkSong,
         QStringLiteral(u"\u00B3\u00C9\u00B6\u00BC.mp3")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(c.page.toDisplay(c.bytes), c.shown);
    }
    // A UTF-8 system message that quotes a GBK name: each part as what it is.
    EXPECT_EQ(CodePage::utf8().toDisplayMessage("\xE6\x96\x87 \"" + gbkSong + "\" \xE6\xAD\x8C"),
              QStringLiteral(u"文 \"成都.mp3\" 歌"));
    // What the user types is still the locale's: the name shown is not what a rename writes.
    EXPECT_EQ(CodePage::utf8().fromDisplay(QStringLiteral(u"成都.mp3")),
              "\xE6\x88\x90\xE9\x83\xBD.mp3");
}

TEST(CodePageText, LegacyTextIsUtf8ElseItsMostPlausibleCodePage) {
    EXPECT_EQ(platform::legacyText("\xE6\x88\x90\xE9\x83\xBD"), QStringLiteral(u"成都"));
    EXPECT_EQ(platform::legacyText("\xB3\xC9\xB6\xBC"), QStringLiteral(u"成都"));
    EXPECT_EQ(platform::legacyText("Caf\xE9"), QStringLiteral(u"Café"));
    EXPECT_EQ(platform::legacyText("\xFF\xFE"), QStringLiteral(u"\u00FF\u00FE"));
    EXPECT_EQ(platform::legacyText(""), QString());
}

TEST(CodePageText, KeepsTheLocaleCharsetOfTheChineseFamily) {
    EXPECT_EQ(CodePage::fromCharsetName("GB18030").charset(), "GB18030");
    EXPECT_EQ(CodePage::fromCharsetName("GB2312").charset(), "GB2312");
    EXPECT_EQ(CodePage::fromCharsetName("936").charset(), "GBK");  // unknown to iconv
    EXPECT_EQ(CodePage::fromCharsetName("no such set").charset(), "ISO-8859-1");
}

}  // namespace
