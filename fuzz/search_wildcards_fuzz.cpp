// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the finder's matchers and exclusion patterns, and the directory listing's
// Windows masks: every input must give an answer, without a crash, a hang or a read outside
// the input. The input is cut at its first two NUL bytes into three texts.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/code_page.h"
#include "platform/dir_listing.h"
#include "search/wildcards.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t a = input.find('\0');
    const std::string_view first = input.substr(0, a);
    const std::string_view rest =
        a == std::string_view::npos ? std::string_view() : input.substr(a + 1);
    const std::size_t b = rest.find('\0');
    const std::string_view second = rest.substr(0, b);
    const std::string_view third =
        b == std::string_view::npos ? std::string_view() : rest.substr(b + 1);

    volatile bool sink = false;
    sink = search::wildcardMatch(first, second);
    sink = search::fileNameMatchesMask(first, second);
    sink = search::patternExcludes(first, second, third);
    sink = search::patternExcludes(first, second, third, search::PathSyntax::windows());
    for (const platform::CodePage& cp : {platform::CodePage::utf8(), platform::CodePage::gbk(),
                                         platform::CodePage::singleByte()}) {
        sink = platform::WildcardMask(second, cp).matches(first);
    }
    (void)sink;
    return 0;
}
