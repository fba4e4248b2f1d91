// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the line splitter that reads M3U playlists and LRC lyric files, and for the
// path split every line then goes through.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/code_page.h"
#include "platform/paths.h"
#include "platform/text_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t total = 0;
    for (const std::string& line : platform::splitLines(text)) {
        // No line holds a line end or a NUL, and no line is longer than the input.
        if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) std::abort();
        total += line.size();
        for (const auto& cp : {platform::CodePage::gbk(), platform::CodePage::utf8()}) {
            const auto split = platform::paths::split(line, cp);
            if (split.folder.size() + split.name.size() != line.size()) std::abort();
            (void)platform::paths::extension(line, cp);
        }
    }
    if (total > size) std::abort();
    return 0;
}
