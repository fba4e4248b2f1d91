#include "code_page.h"

#include <langinfo.h>

#include <algorithm>
#include <cctype>
#include <mutex>

namespace platform {
namespace {

std::string upperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    out.erase(std::remove(out.begin(), out.end(), '-'), out.end());
    out.erase(std::remove(out.begin(), out.end(), '_'), out.end());
    return out;
}

CodePage& activeSlot() {
    static CodePage page = CodePage::fromCharsetName(nl_langinfo(CODESET));
    return page;
}

}  // namespace

CodePage::CodePage(Kind kind) : kind_(kind) {
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
    return CodePage(Kind::DoubleByte);
}
CodePage CodePage::utf8() {
    return CodePage(Kind::Utf8);
}
CodePage CodePage::singleByte() {
    return CodePage(Kind::SingleByte);
}

CodePage CodePage::fromCharsetName(std::string_view codeset) {
    const std::string name = upperAscii(codeset);
    if (name == "GBK" || name == "GB2312" || name == "GB18030" || name == "CP936" ||
        name == "EUCCN" || name == "936") {
        return gbk();
    }
    if (name == "UTF8") return utf8();
    return singleByte();
}

const CodePage& CodePage::active() {
    return activeSlot();
}

void CodePage::setActive(const CodePage& page) {
    activeSlot() = page;
}

std::string CodePage::lowered(std::string_view text) const {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(lower_[static_cast<unsigned char>(c)]);
    return out;
}

}  // namespace platform
