#include "code_page.h"

#include <QByteArrayView>
#include <QFile>

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <map>

namespace platform {
namespace {

constexpr char kUtf8[] = "UTF-8";
constexpr char kGb18030[] = "GB18030";
constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

bool isAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// iconv descriptors keep a conversion state and may not be shared between threads, so each
// thread opens its own, once per pair of character sets, and closes them when it ends.
class Converters {
public:
    Converters() = default;
    Converters(const Converters&) = delete;
    Converters& operator=(const Converters&) = delete;
    ~Converters() {
        for (auto& [names, cd] : open_) {
            if (cd != failed()) iconv_close(cd);
        }
    }

    // A converter in its initial state; failed() when iconv knows one of the names not.
    iconv_t get(const std::string& to, const std::string& from) {
        auto it = open_.find({to, from});
        if (it == open_.end()) {
            it = open_.emplace(std::pair{to, from}, iconv_open(to.c_str(), from.c_str())).first;
        }
        if (it->second != failed()) iconv(it->second, nullptr, nullptr, nullptr, nullptr);
        return it->second;
    }

    static iconv_t failed() { return reinterpret_cast<iconv_t>(-1); }

private:
    std::map<std::pair<std::string, std::string>, iconv_t> open_;
};

Converters& converters() {
    thread_local Converters perThread;
    return perThread;
}

// Converts all of `in` into `out`. A sequence that is invalid in the source or has no form in
// the target is replaced by `replacement` (one per byte) or, without one, fails the conversion.
bool convert(iconv_t cd, std::string_view in, std::string& out, const char* replacement) {
    if (cd == Converters::failed()) return false;
    out.clear();
    out.reserve(in.size() * 3 / 2 + 4);
    char* inBytes = const_cast<char*>(in.data());  // iconv's signature; it only reads them
    std::size_t inLeft = in.size();
    char chunk[512];
    for (;;) {
        char* outBytes = chunk;
        std::size_t outLeft = sizeof chunk;
        const bool flushing = inLeft == 0;
        const std::size_t result = flushing ? iconv(cd, nullptr, nullptr, &outBytes, &outLeft)
                                            : iconv(cd, &inBytes, &inLeft, &outBytes, &outLeft);
        out.append(chunk, static_cast<std::size_t>(outBytes - chunk));
        if (result != static_cast<std::size_t>(-1)) {
            if (flushing) return true;
            continue;
        }
        if (errno == E2BIG) continue;
        if ((errno != EILSEQ && errno != EINVAL) || replacement == nullptr || flushing) {
            return false;
        }
        out += replacement;
        ++inBytes;
        --inLeft;
    }
}

bool knownToIconv(const std::string& charset) {
    const iconv_t cd = iconv_open(kUtf8, charset.c_str());
    if (cd == Converters::failed()) return false;
    iconv_close(cd);
    return true;
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

std::string upperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    out.erase(std::remove(out.begin(), out.end(), '-'), out.end());
    out.erase(std::remove(out.begin(), out.end(), '_'), out.end());
    return out;
}

CodePage& activeSlot() {
    static CodePage page = CodePage::fromCharsetName(environmentCodeset());
    return page;
}

// The text of `bytes` when all of them are valid in `charset`.
std::optional<QString> strictText(const std::string& charset, std::string_view bytes) {
    if (charset == kUtf8) {
        if (!QByteArrayView(bytes.data(), qsizetype(bytes.size())).isValidUtf8()) return {};
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    std::string utf8;
    if (!convert(converters().get(kUtf8, charset), bytes, utf8, nullptr)) return {};
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// Length of the UTF-8 sequence at the start of `bytes` when it is a valid one, else 0.
std::size_t utf8Sequence(std::string_view bytes) {
    const auto b = static_cast<unsigned char>(bytes[0]);
    const std::size_t n = b < 0x80 ? 1 : b >= 0xC2 && b < 0xE0 ? 2 : b >= 0xE0 && b < 0xF0 ? 3
                                     : b >= 0xF0 && b < 0xF5   ? 4
                                                               : 0;
    if (n == 0 || n > bytes.size()) return 0;
    return QByteArrayView(bytes.data(), qsizetype(n)).isValidUtf8() ? n : 0;
}

// Length of the GB18030 character at the start of `bytes` by its byte ranges (two bytes, or
// four with digits second and fourth), else 0.
std::size_t gb18030Sequence(std::string_view bytes) {
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() < 2 || at(0) < 0x81 || at(0) > 0xFE) return 0;
    if (at(1) >= 0x30 && at(1) <= 0x39) {
        const bool four = bytes.size() >= 4 && at(2) >= 0x81 && at(2) <= 0xFE && at(3) >= 0x30 &&
                          at(3) <= 0x39;
        return four ? 4 : 0;
    }
    return (at(1) >= 0x40 && at(1) <= 0xFE && at(1) != 0x7F) ? 2 : 0;
}

// Text whose parts are UTF-8 and GB18030 in turn, as a UTF-8 message quoting a GBK name: each
// character is read as UTF-8 where it is, else as GB18030; anything else is U+FFFD.
QString mixedUtf8Gb18030(std::string_view bytes) {
    std::string utf8;
    utf8.reserve(bytes.size() * 3 / 2);
    std::string converted;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::string_view rest = bytes.substr(i);
        if (const std::size_t n = utf8Sequence(rest)) {
            utf8.append(rest.substr(0, n));
            i += n;
        } else if (const std::size_t m = gb18030Sequence(rest);
                   m != 0 && convert(converters().get(kUtf8, kGb18030), rest.substr(0, m),
                                     converted, nullptr)) {
            utf8 += converted;
            i += m;
        } else {
            utf8 += kReplacement;
            ++i;
        }
    }
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
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
        return CodePage(Kind::DoubleByte, knownToIconv(charset) ? charset : "GBK");
    }
    if (name == "UTF8") return utf8();
    if (name == "ANSIX3.41968" || name == "ASCII" || name == "USASCII" || name == "646") {
        return CodePage(Kind::SingleByte, kUtf8);
    }
    const std::string charset(codeset);
    return knownToIconv(charset) ? CodePage(Kind::SingleByte, charset) : singleByte();
}

const CodePage& CodePage::active() {
    return activeSlot();
}

void CodePage::setActive(const CodePage& page) {
    activeSlot() = page;
}

QString CodePage::toDisplay(std::string_view bytes) const {
    if (isAscii(bytes))
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (auto text = strictText(charset_, bytes)) return *text;
    // Names copied from Chinese Windows systems keep their GBK bytes: where they are not text
    // of the locale's set but are GB18030 (a superset of GBK), that is what they are.
    if (charset_ != kGb18030) {
        if (auto text = strictText(kGb18030, bytes)) return *text;
    }
    // A UTF-8 message that quotes a GBK name.
    if (charset_ == kUtf8) return mixedUtf8Gb18030(bytes);
    std::string utf8;
    convert(converters().get(kUtf8, charset_), bytes, utf8, kReplacement);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString legacyText(std::string_view bytes) {
    if (isAscii(bytes))
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (auto text = strictText(kUtf8, bytes)) return *text;
    if (auto text = strictText(kGb18030, bytes)) return *text;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
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
    if (!convert(converters().get(charset_, kUtf8), in, out, nullptr)) return std::nullopt;
    return out;
}

bool CodePage::isValidText(std::string_view bytes) const {
    if (isAscii(bytes)) return true;
    if (charset_ == kUtf8)
        return QByteArrayView(bytes.data(), qsizetype(bytes.size())).isValidUtf8();
    std::string ignored;
    return convert(converters().get(kUtf8, charset_), bytes, ignored, nullptr);
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
