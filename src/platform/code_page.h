#pragma once
// The system's narrow code page: which bytes start a double-byte character, and the 256-entry
// lower-case and alphanumeric tables that byte-wise text rules use.
//
// Text from the file system stays a byte string in this code page everywhere; these rules let
// us find separators, dots and word boundaries in it without re-encoding it.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

class CodePage {
public:
    enum class Kind { SingleByte, Utf8, DoubleByte };

    // GBK (code page 936): lead bytes 0x81..0xFE, each followed by one trail byte.
    static CodePage gbk();
    static CodePage utf8();
    static CodePage singleByte();
    // Picks the rules for a character-set name as nl_langinfo(CODESET) reports it.
    static CodePage fromCharsetName(std::string_view codeset);

    // The code page of the current locale (LC_CTYPE), decided once on first use.
    static const CodePage& active();
    // Replaces the active code page; for tests that pin one.
    static void setActive(const CodePage& page);

    Kind kind() const { return kind_; }
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
    explicit CodePage(Kind kind);

    Kind kind_;
    std::array<unsigned char, 256> lower_{};
    std::array<bool, 256> alnum_{};
};

}  // namespace platform
