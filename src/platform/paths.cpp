// SPDX-License-Identifier: GPL-3.0-or-later
#include "paths.h"

namespace platform::paths {

std::size_t lastDelimiter(std::string_view text, std::string_view delims, const CodePage& cp) {
    // Walk forward so that lead bytes are recognised; a trail byte is skipped with its lead.
    std::size_t found = std::string_view::npos;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (cp.isLeadByte(b)) {
            ++i;
            continue;
        }
        if (delims.find(static_cast<char>(b)) != std::string_view::npos) found = i;
    }
    return found;
}

Split split(std::string_view path, const CodePage& cp) {
    const std::size_t at = lastDelimiter(path, kDelimiters, cp);
    if (at == std::string_view::npos) return {std::string_view(), path};
    return {path.substr(0, at + 1), path.substr(at + 1)};
}

std::string_view fileName(std::string_view path, const CodePage& cp) {
    return split(path, cp).name;
}

std::string_view folder(std::string_view path, const CodePage& cp) {
    return split(path, cp).folder;
}

std::string_view extension(std::string_view path, const CodePage& cp) {
    const std::string_view name = fileName(path, cp);
    const std::size_t dot = lastDelimiter(name, ".", cp);
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

std::string_view baseName(std::string_view path, const CodePage& cp) {
    const std::string_view name = fileName(path, cp);
    return name.substr(0, name.size() - extension(name, cp).size());
}

std::string withTrailingSeparator(std::string_view folder) {
    std::string out(folder);
    while (out.size() > 1 && out.back() == kSeparator && out[out.size() - 2] == kSeparator) {
        out.pop_back();
    }
    if (!out.empty() && out.back() != kSeparator) out.push_back(kSeparator);
    return out;
}

}  // namespace platform::paths
