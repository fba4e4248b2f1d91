// SPDX-License-Identifier: GPL-3.0-or-later
#include "lyrics/lrc.h"

#include "platform/legacy_text.h"
#include "platform/paths.h"

namespace lyrics {

std::string lrcBaseName(std::string_view trackPath, const platform::CodePage& cp) {
    return std::string(platform::paths::baseName(trackPath, cp));
}

std::string lyricPath(std::string_view trackPath, std::string_view baseName,
                      const platform::CodePage& cp) {
    std::string path(platform::paths::folder(trackPath, cp));
    path += baseName;
    path += ".lrc";
    return path;
}

platform::CodePage lyricTextEncoding(std::string_view fileBytes, const platform::CodePage& system) {
    if (fileBytes.substr(0, 3) == "\xEF\xBB\xBF") return platform::CodePage::utf8();
    if (system.charset() == platform::CodePage::utf8().charset() &&
        !system.isValidText(fileBytes.substr(0, fileBytes.find('\0')))) {
        return platform::CodePage::fromCharsetName(
            platform::mostPlausibleCharset(fileBytes, system.legacyCharset()));
    }
    return system;
}

std::string_view timeStamp(std::string_view line) {
    if (line.size() < 2) return {};
    return line.substr(1, 5);
}

std::optional<std::size_t> matchingLine(const std::vector<std::string>& lines,
                                        std::string_view elapsed) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (timeStamp(lines[i]) == elapsed) return i;
    }
    return std::nullopt;
}

}  // namespace lyrics
