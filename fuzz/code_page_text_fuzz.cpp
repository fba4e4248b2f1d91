// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the conversion of outside bytes (file names, paths, tags, lyric lines, system
// messages quoting names) to screen text and back, in each kind of code page and with the
// legacy code page of each language: it never fails, no byte becomes more than one character,
// a path keeps every separator, and text that is valid in a code page comes back byte for byte,
// so an edit that changes nothing never changes a name.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_support.h"
#include "platform/code_page.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using fuzz_support::check;
    using platform::CodePage;
    static const CodePage pages[] = {
        CodePage::gbk(),
        CodePage::fromCharsetName("GB18030"),
        CodePage::utf8(),
        CodePage::utf8().withLegacyCharset("BIG5-HKSCS"),
        CodePage::utf8().withLegacyCharset("CP932"),
        CodePage::utf8().withLegacyCharset("CP949"),
        CodePage::fromCharsetName("ANSI_X3.4-1968").withLegacyCharset("CP1252"),
        CodePage::singleByte()};
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto most = static_cast<qsizetype>(size);
    for (const CodePage& page : pages) {
        const QString text = page.toDisplay(bytes);
        check(text.size() <= most, "no more characters than bytes");
        const auto back = page.fromDisplay(text);
        check(!page.isValidText(bytes) || back == bytes, "valid text comes back");

        const QString path = page.toDisplayPath(bytes);
        check(path.size() <= most, "no more characters than bytes in a path");
        // The separator is never part of a character in these code pages.
        check(path.count(u'/') == qsizetype(std::count(bytes.begin(), bytes.end(), '/')),
              "a path keeps its separators");
        check(page.toDisplayMessage(bytes).size() <= most, "a message no longer than its bytes");
    }
    check(platform::legacyText(bytes).size() <= most, "a tag no longer than its bytes");
    return 0;
}
