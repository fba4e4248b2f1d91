// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The system's narrow code page: which bytes start a double-byte character, and the 256-entry
// lower-case and alphanumeric tables that byte-wise text rules use.
//
// Text from the file system stays a byte string in this code page everywhere; these rules let
// us find separators, dots and word boundaries in it without re-encoding it. Text reaches the
// screen, and typed text comes back, only through toDisplay and fromDisplay below: this file is
// the one place where bytes and screen text meet. (Qt's own "local 8-bit" conversions take
// every name as UTF-8 whatever the locale, so they show GBK names as "????".)

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class CodePage {
public:
    enum class Kind { SingleByte, Utf8, DoubleByte };

    // GBK (code page 936): lead bytes 0x81..0xFE, each followed by one trail byte.
    static CodePage gbk();
    static CodePage utf8();
    // Single-byte rules, shown as ISO-8859-1.
    static CodePage singleByte();
    // Picks the rules and the character set for a name as nl_langinfo(CODESET) reports it.
    // The plain C locale's ASCII is shown as UTF-8: that is what file names on such systems
    // are in practice, and what the program showed before it had code pages.
    static CodePage fromCharsetName(std::string_view codeset);

    // The code page of the user's locale (LC_ALL, LC_CTYPE or LANG from the environment), its
    // legacy code page that of the locale's language (legacyCharsetOfLocale), decided once on
    // first use, whenever and whatever setlocale has done by then.
    static const CodePage& active();
    // Replaces the active code page; for tests that pin one.
    static void setActive(const CodePage& page);

    Kind kind() const { return kind_; }
    // The character set screen text is converted from and to, as iconv names it ("GBK").
    const std::string& charset() const { return charset_; }
    // The code page that names not valid in this one were most likely written in (GBK names
    // from Chinese Windows systems under a UTF-8 locale); GB18030 unless set.
    const std::string& legacyCharset() const { return legacy_; }
    CodePage withLegacyCharset(std::string charset) const;

    // Screen text of one name (or one tag) in this code page. Bytes that are not text of this
    // code page show as UTF-8 when they are, else as the most plausible legacy code page reads
    // them, legacyCharset() first (mostPlausibleReading); bytes valid in this code page are
    // always its text. Display only: keep the bytes beside the text.
    QString toDisplay(std::string_view bytes) const;
    // Screen text of a path: each folder and the name read on its own as toDisplay reads it,
    // since folders made on different systems hold names in different code pages.
    QString toDisplayPath(std::string_view path) const;
    // Screen text of a message that quotes names, such as a system error naming a file: each
    // run of bytes between blanks and ASCII punctuation read on its own as toDisplay reads it,
    // so the message's words show in this code page and the quoted names in theirs.
    QString toDisplayMessage(std::string_view text) const;
    // The bytes of screen text in this code page; none when a character has no form in it
    // (never a silent "?").
    std::optional<std::string> fromDisplay(QStringView text) const;
    // True when all of `bytes` is valid text in this code page.
    bool isValidText(std::string_view bytes) const;

    // True when `b` starts a two-byte character whose second byte may look like ASCII.
    bool isLeadByte(unsigned char b) const {
        return kind_ == Kind::DoubleByte && b >= 0x81 && b <= 0xFE;
    }
    unsigned char toLower(unsigned char b) const { return lower_[b]; }
    bool isAlphaNumeric(unsigned char b) const { return alnum_[b]; }
    const std::array<unsigned char, 256>& lowerTable() const { return lower_; }

    // Byte-wise lower-casing with the table above (multi-byte characters are left alone
    // because every byte >= 0x80 maps to itself).
    std::string lowered(std::string_view text) const;

private:
    CodePage(Kind kind, std::string charset);

    Kind kind_;
    std::string charset_;
    std::string legacy_ = "GB18030";
    std::array<unsigned char, 256> lower_{};
    std::array<bool, 256> alnum_{};
};

// The same through the active code page.
inline QString toDisplay(std::string_view bytes) {
    return CodePage::active().toDisplay(bytes);
}
inline QString toDisplayPath(std::string_view path) {
    return CodePage::active().toDisplayPath(path);
}
inline QString toDisplayMessage(std::string_view text) {
    return CodePage::active().toDisplayMessage(text);
}
inline std::optional<std::string> fromDisplay(QStringView text) {
    return CodePage::active().fromDisplay(text);
}

// Text of unknown encoding from the days of 8-bit code pages (tags): UTF-8 when it is valid
// UTF-8, else read as names are, the active code page's legacy one first. Never fails.
QString legacyText(std::string_view bytes);

// Paths that Qt's own file classes give or take (QStandardPaths, QUrl's local
// files): Qt reads and writes file names as UTF-8 whatever the locale, so these are their
// bytes on disk, which under a GBK locale are not the code page's.
std::string qtPathBytes(const QString& path);
QString qtPathText(std::string_view bytes);

}  // namespace platform
