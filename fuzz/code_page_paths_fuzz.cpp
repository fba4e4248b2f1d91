// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the code page and path rules that every name from the file system goes
// through: separators and dots are found only at character starts, the parts of a path put
// together give the path back, and lower-casing keeps every byte of a multi-byte character.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "platform/code_page.h"
#include "platform/paths.h"

namespace {

using fuzz_support::check;
namespace paths = platform::paths;

void checkPaths(std::string_view text, const platform::CodePage& cp) {
    const std::size_t d = paths::lastDelimiter(text, paths::kDelimiters, cp);
    bool doubleByte = false;
    for (char c : text) doubleByte |= cp.isLeadByte(static_cast<unsigned char>(c));
    if (!doubleByte) {
        check(d == text.find_last_of(paths::kDelimiters), "without lead bytes, the last one");
    }
    if (d != std::string_view::npos) {
        check(paths::kDelimiters.find(text[d]) != std::string_view::npos, "a delimiter byte");
        check(paths::lastDelimiter(text.substr(0, d + 1), paths::kDelimiters, cp) == d,
              "a character start whatever follows it");
        check(paths::lastDelimiter(text.substr(d + 1), paths::kDelimiters, cp) ==
                  std::string_view::npos,
              "none after the last");
    }

    const paths::Split s = paths::split(text, cp);
    check(std::string(s.folder) + std::string(s.name) == text, "folder and name make the path");
    check(s.folder.empty() || paths::kDelimiters.find(s.folder.back()) != std::string_view::npos,
          "a folder ends in a separator");
    check(paths::fileName(text, cp) == s.name && paths::folder(text, cp) == s.folder,
          "fileName and folder are the split's parts");

    const std::string_view ext = paths::extension(text, cp);
    const std::string_view base = paths::baseName(text, cp);
    check(ext.empty() || ext.front() == '.', "an extension starts with its dot");
    check(std::string(base) + std::string(ext) == s.name, "base name and extension make the name");
    check(paths::extension(s.name, cp) == ext, "the extension is the name's");

    const std::string sep = paths::withTrailingSeparator(s.folder);
    check(sep.empty() == s.folder.empty(), "only an empty folder stays empty");
    if (!sep.empty()) {
        check(sep.back() == paths::kSeparator, "ends in the separator");
        check(sep.size() == 1 || sep[sep.size() - 2] != paths::kSeparator, "exactly one");
    }
    check(paths::withTrailingSeparator(sep) == sep, "applying it twice changes nothing");
}

void checkCodePage(std::string_view text, const platform::CodePage& cp) {
    const std::string lower = cp.lowered(text);
    check(lower.size() == text.size(), "lower-casing keeps the length");
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b >= 0x80) check(lower[i] == text[i], "bytes of multi-byte characters stay");
        if (b >= 'A' && b <= 'Z') check(lower[i] == text[i] + ('a' - 'A'), "ASCII letters lower");
    }
    check(cp.lowered(lower) == lower, "lower-casing twice changes nothing");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const platform::CodePage& cp : {platform::CodePage::gbk(), platform::CodePage::utf8(),
                                         platform::CodePage::singleByte()}) {
        checkPaths(text, cp);
        checkCodePage(text, cp);
    }
    // A character-set name as the locale reports it: any text names one of the three.
    const platform::CodePage named = platform::CodePage::fromCharsetName(text);
    check(named.kind() == platform::CodePage::Kind::SingleByte ||
              named.kind() == platform::CodePage::Kind::Utf8 ||
              named.kind() == platform::CodePage::Kind::DoubleByte,
          "a known kind");
    return 0;
}
