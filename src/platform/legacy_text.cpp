// SPDX-License-Identifier: GPL-3.0-or-later
#include "legacy_text.h"

#include "charset_conversion.h"

// How a reading is scored. A reading costs, in bits, about -log2 of how likely its characters
// are in a name of its language: each character by its class in the code page's own layout
// (the standards put their common characters in a first level: GB2312's 3755 hanzi, Big5's
// 5401, JIS X 0208's 2965 kanji with the kana, KS X 1001's 2350 hangul), each ASCII byte alike in
// every reading. Chinese characters of the first level are told apart further by whether the
// other script's standard has them in its first level too: text read in the wrong Chinese code
// page lands on the other script's rarer characters far more often than real text does. The
// figures are estimates of class shares in names; the rule as a whole was checked against the
// test corpus (tests/platform/legacy_names.txt) and its table (bench_legacy_names).

namespace platform {
namespace {

enum class Script { Simplified, Traditional, Japanese, Korean, Western };

struct Page {
    std::string charset;
    Script script;
};

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8
// ASCII bytes cost the same in every reading, but where a double-byte page takes one as the
// second byte of a character: a backslash or a bar standing alone in a name is rare (Windows
// does not allow them in file names).
double asciiBits(unsigned char b) {
    if (b == '\\' || b == '|') return 16;
    if (b == '@' || b == '^' || b == '`' || b == '{' || b == '}' || b == '~') return 10;
    const bool plain =
        b == ' ' || (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
    return plain ? 6 : 7;
}
// A long text (a lyric file) is judged by its start.
constexpr std::size_t kMostBytesJudged = 4096;
// A reading in a page other than the locale's own pays this much.
constexpr double kForeignPageBits = 0.5;
// A double-byte character whose second byte is an ASCII letter, with a Latin letter right after
// it (and before it): a Latin word with an accented letter, read as a Chinese character.
constexpr double kGluedBits = 4;
constexpr double kGluedBothSidesBits = 8;
// User-defined and reserved areas: names do not use them.
constexpr double kUserDefinedBits = 40;
// A byte that starts no character of the page (a name cut short in the middle of a character,
// a damaged one): such a reading still wins over one whose every character is unlikely.
constexpr double kInvalidBits = 14;

bool isAsciiLetter(unsigned char b) {
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

unsigned code(std::string_view c) {
    return (unsigned(static_cast<unsigned char>(c[0])) << 8) | static_cast<unsigned char>(c[1]);
}

// The bytes of `c` (read in `from`) in `to`, as a two-byte code; 0 when `to` has no such
// character or it is not a two-byte one there.
unsigned codeIn(const std::string& to, const std::string& from, std::string_view c) {
    thread_local std::string out;
    if (!charsets::convert(to, from, c, out, nullptr) || out.size() != 2) return 0;
    return code(out);
}

// Length of the character at the start of `rest` in the page's layout; 0 when no character
// of the page starts there. iconv then tells whether it is assigned.
std::size_t characterLength(Script script, std::string_view rest) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(rest[i]); };
    const unsigned char lead = at(0);
    if (lead < 0x80) return 1;
    if (script == Script::Western) return 1;
    if (script == Script::Japanese && lead >= 0xA1 && lead <= 0xDF) return 1;  // half-width kana
    if (lead == 0x80 || lead == 0xFF || rest.size() < 2) return 0;
    const unsigned char trail = at(1);
    switch (script) {
        case Script::Simplified:
            if (trail >= 0x30 && trail <= 0x39) {
                const bool four = rest.size() >= 4 && at(2) >= 0x81 && at(2) <= 0xFE &&
                                  at(3) >= 0x30 && at(3) <= 0x39;
                return four ? 4 : 0;
            }
            return trail >= 0x40 && trail != 0x7F && trail != 0xFF ? 2 : 0;
        case Script::Traditional:
            return (trail >= 0x40 && trail <= 0x7E) || (trail >= 0xA1 && trail <= 0xFE) ? 2 : 0;
        case Script::Japanese:
            if ((lead > 0x9F && lead < 0xE0) || lead > 0xFC) return 0;
            return trail >= 0x40 && trail <= 0xFC && trail != 0x7F ? 2 : 0;
        case Script::Korean:
            return trail >= 0x41 && trail != 0xFF ? 2 : 0;
        case Script::Western:
            break;
    }
    return 0;
}

double simplifiedBits(const Page& page, std::string_view c) {
    if (c.size() == 4) return 26;  // GB18030's four-byte forms: outside GBK, rare in names
    const unsigned v = code(c);
    const unsigned lead = v >> 8, trail = v & 0xFF;
    if (trail < 0xA1) return lead >= 0xA1 && lead <= 0xA7 ? kUserDefinedBits : 21;  // GBK's own
    if (lead >= 0xB0 && lead <= 0xD7) {
        const unsigned big5 = codeIn("BIG5", page.charset, c);
        if (big5 == 0) return 12.3;  // a simplified form
        return big5 >= 0xA440 && big5 <= 0xC67E ? 11.7 : 13.5;
    }
    if (lead >= 0xD8 && lead <= 0xF7) return 18;
    if (lead == 0xA1 || lead == 0xA3) return 13;  // punctuation, full-width letters
    if (lead == 0xA2) return 16;                  // numbered and circled figures
    if (lead == 0xA4 || lead == 0xA5) return 17;  // kana
    if (lead >= 0xA6 && lead <= 0xA9) return 19;  // Greek, Cyrillic, pinyin, box drawing
    if (lead >= 0x81 && lead <= 0xA0) return 21;
    return kUserDefinedBits;
}

double traditionalBits(const Page& page, std::string_view c) {
    const unsigned v = code(c);
    if (v >= 0xA140 && v <= 0xA3BF) return 14;  // punctuation and symbols
    if (v >= 0xA440 && v <= 0xC67E) {
        const unsigned gb = codeIn("GB2312", page.charset, c);
        if (gb >= 0xB0A1 && gb <= 0xD7FE) return 11.9;  // common in both scripts
        return gb >= 0xD8A1 && gb <= 0xF7FE ? 15.1 : 12.7;
    }
    if (v >= 0xC940 && v <= 0xF9D5) return 19.5;
    if ((v >= 0xC6A1 && v <= 0xC8FE) || (v >= 0xF9D6 && v <= 0xF9FE)) return 19;
    if (v >= 0xA3C0 && v <= 0xA3FE) return kUserDefinedBits;
    return 21;  // the Hong Kong supplement
}

// `afterHalfWidth`: the character before was a half-width katakana too. Names written in them
// are written in them throughout.
double japaneseBits(std::string_view c, bool afterHalfWidth) {
    if (c.size() == 1) return afterHalfWidth ? 6.5 : 11.7;  // half-width katakana
    const unsigned v = code(c);
    if ((v >= 0x829F && v <= 0x82F1) || (v >= 0x8340 && v <= 0x8396)) return 8.5;  // kana
    if ((v >= 0x8140 && v <= 0x81FC) || (v >= 0x824F && v <= 0x829A)) return 12;
    if (v >= 0x889F && v <= 0x9872) return 12.7;
    if (v >= 0x989F && v <= 0xEAA4) return 18;
    if ((v >= 0x839F && v <= 0x84BE) || (v >= 0x8740 && v <= 0x879C)) return 17;
    if (v >= 0xF040 && v <= 0xF9FC) return kUserDefinedBits;
    return 19;  // vendor extensions
}

double koreanBits(std::string_view c) {
    const unsigned v = code(c);
    const unsigned lead = v >> 8, trail = v & 0xFF;
    if (trail < 0xA1) return 16;  // the extended hangul syllables
    if (v >= 0xB0A1 && v <= 0xC8FE) return 10.5;
    if (lead >= 0xA1 && lead <= 0xAC) return 13;
    if (lead >= 0xCA && lead <= 0xFD) return 16;  // hanja
    return kUserDefinedBits;
}

// One byte above 0x7F in CP1252, with the bytes around it.
double westernBits(std::string_view bytes, std::size_t i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) return kInvalidBits;
    const bool letterBefore = i > 0 && isAsciiLetter(static_cast<unsigned char>(bytes[i - 1]));
    const bool letterAfter =
        i + 1 < bytes.size() && isAsciiLetter(static_cast<unsigned char>(bytes[i + 1]));
    double bits;
    if (b >= 0xDF && b != 0xF7) {
        bits = 5.5;  // small letters
    } else if (b >= 0xC0 && b != 0xD7) {
        bits = 8.2;  // capitals
    } else if (b == 0x80 || b == 0x85 || (b >= 0x91 && b <= 0x97) || b == 0x99) {
        // Typographic punctuation; only the apostrophe sits between letters.
        bits = 7.5 + (b != 0x92 && letterBefore && letterAfter ? 4 : 0);
    } else if (b == 0xA0 || b == 0xA1 || b == 0xA9 || b == 0xAB || b == 0xAE || b == 0xB0 ||
               b == 0xB4 || b == 0xB7 || b == 0xBB || b == 0xBD || b == 0xBF) {
        bits = 8;  // signs that titles use
    } else {
        bits = 12;  // daggers, per mille, the letters of 0x8A..0x9F, cedilla, superscripts
    }
    // Accented letters stand among ASCII ones; a run of them is rare.
    if (i > 0 && static_cast<unsigned char>(bytes[i - 1]) >= 0x80) bits += 6;
    return bits;
}

// The cost of reading `bytes` in `page`.
double readingBits(const Page& page, std::string_view bytes) {
    double bits = 0;
    bool asciiLetterBefore = false;
    bool halfWidthBefore = false;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t n = characterLength(page.script, bytes.substr(i));
        if (n == 0) {
            bits += kInvalidBits;
            asciiLetterBefore = halfWidthBefore = false;
            ++i;
            continue;
        }
        const std::string_view c = bytes.substr(i, n);
        const auto first = static_cast<unsigned char>(c[0]);
        if (first < 0x80) {
            bits += asciiBits(first);
        } else if (page.script == Script::Western) {
            bits += westernBits(bytes, i);
        } else {
            switch (page.script) {
                case Script::Simplified:
                    bits += simplifiedBits(page, c);
                    break;
                case Script::Traditional:
                    bits += traditionalBits(page, c);
                    break;
                case Script::Japanese:
                    bits += japaneseBits(c, halfWidthBefore);
                    break;
                default:
                    bits += koreanBits(c);
                    break;
            }
            const bool glued = n == 2 && i + 2 < bytes.size() &&
                               isAsciiLetter(static_cast<unsigned char>(c[1])) &&
                               isAsciiLetter(static_cast<unsigned char>(bytes[i + 2]));
            if (glued) bits += asciiLetterBefore ? kGluedBothSidesBits : kGluedBits;
        }
        asciiLetterBefore = n == 1 && isAsciiLetter(first);
        halfWidthBefore = n == 1 && first >= 0x80;
        i += n;
    }
    return bits;
}

Script scriptOf(const std::string& charset) {
    if (charset == "GB18030" || charset == "GBK" || charset == "CP936") return Script::Simplified;
    if (charset.starts_with("BIG5") || charset == "CP950") return Script::Traditional;
    if (charset == "CP932") return Script::Japanese;
    if (charset == "CP949") return Script::Korean;
    return Script::Western;
}

std::string big5() {
    static const std::string charset = charsets::knownToIconv("BIG5-HKSCS") ? "BIG5-HKSCS" : "BIG5";
    return charset;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace

std::string legacyCharsetOfLocale(std::string_view localeName) {
    const std::string name = lower(localeName.substr(0, localeName.find_first_of(".@")));
    const std::string language = name.substr(0, name.find('_'));
    const std::string region =
        name.find('_') == std::string::npos ? "" : name.substr(name.find('_') + 1);
    if (language == "zh") {
        return region == "tw" || region == "hk" || region == "mo" ? big5() : "GB18030";
    }
    if (language == "ja") return "CP932";
    if (language == "ko") return "CP949";
    return "CP1252";
}

std::string mostPlausibleCharset(std::string_view bytes, const std::string& preferred) {
    bytes = bytes.substr(0, kMostBytesJudged);
    std::string best = preferred;
    double fewestBits = readingBits({preferred, scriptOf(preferred)}, bytes);
    for (const std::string& other :
         {std::string("GB18030"), big5(), std::string("CP932"), std::string("CP1252")}) {
        if (other == preferred) continue;
        // Ties go to the earlier page, the locale's own first.
        const double bits = readingBits({other, scriptOf(other)}, bytes) + kForeignPageBits;
        if (bits < fewestBits) {
            best = other;
            fewestBits = bits;
        }
    }
    return best;
}

QString mostPlausibleReading(std::string_view bytes, const std::string& preferred) {
    std::string utf8;
    // Fails only for a code page iconv does not know.
    if (!charsets::convert(charsets::kUtf8, mostPlausibleCharset(bytes, preferred), bytes, utf8,
                           kReplacement)) {
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace platform
