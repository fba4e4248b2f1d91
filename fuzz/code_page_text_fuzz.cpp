// Fuzz target for the conversion of outside bytes (file names, lyric lines) to screen text and
// back, in each kind of code page: it never fails, and text that is valid in a code page comes
// back byte for byte, so an edit that changes nothing never changes a name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/code_page.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const platform::CodePage pages[] = {
        platform::CodePage::gbk(), platform::CodePage::fromCharsetName("GB18030"),
        platform::CodePage::utf8(), platform::CodePage::singleByte()};
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const platform::CodePage& page : pages) {
        const QString text = page.toDisplay(bytes);
        if (text.size() > static_cast<qsizetype>(size)) std::abort();
        const auto back = page.fromDisplay(text);
        if (page.isValidText(bytes) && back != bytes) std::abort();
    }
    return 0;
}
