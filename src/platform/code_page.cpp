// SPDX-License-Identifier: GPL-3.0-or-later
#include "code_page.h"

#include <QFile>

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "charset_conversion.h"
#include "legacy_text.h"
#include "paths.h"

namespace platform {
namespace {

using charsets::kUtf8;
using charsets::strictText;

bool isAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

QString latin1(std::string_view bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The codeset of the locale the environment asks for, not of the one in force: a program
// starts in the C locale and Qt sets the user's only when the application object is made.
std::string environmentCodeset() {
    const locale_t wanted = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (wanted == static_cast<locale_t>(nullptr)) return "ANSI_X3.4-1968";
    std::string codeset = nl_langinfo_l(CODESET, wanted);
    freelocale(wanted);
    return codeset;
}

// The locale the environment asks for character handling, by the variables setlocale reads.
std::string environmentLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return value;
    }
    return "C";
}

std::string upperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    out.erase(std::remove(out.begin(), out.end(), '-'), out.end());
    out.erase(std::remove(out.begin(), out.end(), '_'), out.end());
    return out;
}

CodePage& activeSlot() {
    static CodePage page = CodePage::fromCharsetName(environmentCodeset())
                               .withLegacyCharset(legacyCharsetOfLocale(environmentLocaleName()));
    return page;
}

// Bytes that are part of no multi-byte character in any code page read here: ASCII controls,
// blanks and punctuation below '@', but not the digits (GB18030's four-byte forms hold them).
bool separatesWords(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x40 && (b < '0' || b > '9');
}

}  // namespace

CodePage::CodePage(Kind kind, std::string charset) : kind_(kind), charset_(std::move(charset)) {
    for (int b = 0; b < 256; ++b) {
        const bool upper = b >= 'A' && b <= 'Z';
        lower_[b] = static_cast<unsigned char>(upper ? b + ('a' - 'A') : b);
        const bool ascii_alnum = (b >= '0' && b <= '9') || upper || (b >= 'a' && b <= 'z');
        // Bytes of multi-byte characters belong to words (Chinese text is letters, not
        // punctuation); in a single-byte set only ASCII letters and digits are known to be.
        alnum_[b] = ascii_alnum || (b >= 0x80 && kind != Kind::SingleByte);
    }
}

CodePage CodePage::gbk() {
    return CodePage(Kind::DoubleByte, "GBK");
}
CodePage CodePage::utf8() {
    return CodePage(Kind::Utf8, kUtf8);
}
CodePage CodePage::singleByte() {
    return CodePage(Kind::SingleByte, "ISO-8859-1");
}

CodePage CodePage::fromCharsetName(std::string_view codeset) {
    const std::string name = upperAscii(codeset);
    if (name == "GBK" || name == "GB2312" || name == "GB18030" || name == "CP936" ||
        name == "EUCCN" || name == "936") {
        // GB2312 and GB18030 text is shown as itself; a name iconv does not know as GBK.
        const std::string charset(codeset);
        return CodePage(Kind::DoubleByte, charsets::knownToIconv(charset) ? charset : "GBK");
    }
    if (name == "UTF8") return utf8();
    if (name == "ANSIX3.41968" || name == "ASCII" || name == "USASCII" || name == "646") {
        return CodePage(Kind::SingleByte, kUtf8);
    }
    const std::string charset(codeset);
    return charsets::knownToIconv(charset) ? CodePage(Kind::SingleByte, charset) : singleByte();
}

const CodePage& CodePage::active() {
    return activeSlot();
}

void CodePage::setActive(const CodePage& page) {
    activeSlot() = page;
}

CodePage CodePage::withLegacyCharset(std::string charset) const {
    CodePage page = *this;
    page.legacy_ = std::move(charset);
    return page;
}

QString CodePage::toDisplay(std::string_view bytes) const {
    if (isAscii(bytes)) return latin1(bytes);
    if (auto text = strictText(charset_, bytes)) return *text;
    // Names written by today's systems, under a locale of another set.
    if (charset_ != kUtf8) {
        if (auto text = strictText(kUtf8, bytes)) return *text;
    }
    // Names copied from older systems keep the bytes of their code page.
    return mostPlausibleReading(bytes, legacy_);
}

QString CodePage::toDisplayPath(std::string_view path) const {
    if (isAscii(path)) return latin1(path);
    if (auto text = strictText(charset_, path)) return *text;
    QString shown;
    for (;;) {
        const std::size_t d = paths::lastDelimiter(path, paths::kDelimiters, *this);
        if (d == std::string_view::npos) return toDisplay(path) + shown;
        shown.prepend(toDisplay(path.substr(d + 1)));
        shown.prepend(QLatin1Char(path[d]));
        path = path.substr(0, d);
    }
}

QString CodePage::toDisplayMessage(std::string_view text) const {
    if (isAscii(text)) return latin1(text);
    if (auto shown = strictText(charset_, text)) return *shown;
    QString shown;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t end = i + 1;
        if (!separatesWords(text[i])) {
            while (end < text.size() && !separatesWords(text[end])) ++end;
        }
        shown += toDisplay(text.substr(i, end - i));
        i = end;
    }
    return shown;
}

QString legacyText(std::string_view bytes) {
    if (isAscii(bytes)) return latin1(bytes);
    if (auto text = strictText(kUtf8, bytes)) return *text;
    return mostPlausibleReading(bytes, CodePage::active().legacyCharset());
}

std::optional<std::string> CodePage::fromDisplay(QStringView text) const {
    // A lone surrogate is no character at all, in any code page.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            return std::nullopt;
        }
    }
    const QByteArray utf8 = text.toUtf8();
    const std::string_view in(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    if (isAscii(in) || charset_ == kUtf8) return std::string(in);
    std::string out;
    if (!charsets::convert(charset_, kUtf8, in, out, nullptr)) return std::nullopt;
    return out;
}

bool CodePage::isValidText(std::string_view bytes) const {
    if (isAscii(bytes)) return true;
    if (charset_ == kUtf8) return charsets::isValidUtf8(bytes);
    std::string ignored;
    return charsets::convert(kUtf8, charset_, bytes, ignored, nullptr);
}

std::string CodePage::lowered(std::string_view text) const {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(lower_[static_cast<unsigned char>(c)]);
    return out;
}

std::string qtPathBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString qtPathText(std::string_view bytes) {
    return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

}  // namespace platform
