// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/wildcards.h"

#include "platform/code_page.h"
#include "platform/paths.h"

namespace search {
namespace {

unsigned char lowerByte(char c) {
    return searchTables().lower[static_cast<unsigned char>(c)];
}

unsigned char asciiLower(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 'A' && b <= 'Z' ? static_cast<unsigned char>(b + ('a' - 'A')) : b;
}

bool endsWithIgnoringAsciiCase(std::string_view text, std::string_view tail) {
    if (text.size() < tail.size()) return false;
    text.remove_prefix(text.size() - tail.size());
    for (std::size_t i = 0; i < tail.size(); ++i) {
        if (asciiLower(text[i]) != asciiLower(tail[i])) return false;
    }
    return true;
}

struct BaseExt {
    std::string_view base;
    std::string_view ext;  // from the last dot, dot included; empty when there is none
};

BaseExt splitExtension(std::string_view name) {
    const std::size_t dot = platform::paths::lastDelimiter(name, ".");
    if (dot == std::string_view::npos) return {name, {}};
    return {name.substr(0, dot), name.substr(dot)};
}

}  // namespace

const SearchTables& searchTables() {
    static const SearchTables tables = [] {
        const platform::CodePage& cp = platform::CodePage::active();
        SearchTables t{};
        for (int b = 0; b < 256; ++b) {
            const auto u = static_cast<unsigned char>(b);
            t.identity[u] = u;
            t.lower[u] = cp.toLower(u);
            t.delimiters[u] = !cp.isAlphaNumeric(u);
        }
        return t;
    }();
    return tables;
}

const PathSyntax& PathSyntax::native() {
    static const PathSyntax syntax{platform::paths::kSeparator, platform::paths::kDelimiters,
#ifdef _WIN32
                                   true
#else
                                   false
#endif
    };
    return syntax;
}

const PathSyntax& PathSyntax::windows() {
    static const PathSyntax syntax{'\\', "\\:", true};
    return syntax;
}

std::string_view extractDrive(std::string_view path, const PathSyntax& syntax) {
    if (!syntax.drives || path.size() < 2) return {};
    if (path[1] == ':') return path.substr(0, 2);
    const char sep = syntax.separator;
    if (path[0] != sep || path[1] != sep) return {};
    // "\\server\share": up to, not including, the separator after the share name.
    const std::size_t server = path.find(sep, 2);
    if (server == std::string_view::npos) return path;
    const std::size_t share = path.find(sep, server + 1);
    return share == std::string_view::npos ? path : path.substr(0, share);
}

bool wildcardMatch(std::string_view text, std::string_view pattern) {
    std::size_t t = 0;
    for (std::size_t p = 0; p < pattern.size(); ++p, ++t) {
        const char pc = pattern[p];
        if (pc == '*') return true;
        if (t == text.size()) {
            for (; p < pattern.size(); ++p) {
                if (pattern[p] != '*' && pattern[p] != '?') return false;
            }
            return true;
        }
        if (pc != '?' && lowerByte(pc) != lowerByte(text[t])) return false;
    }
    return t == text.size();
}

bool fileNameMatchesMask(std::string_view name, std::string_view mask) {
    const BaseExt m = splitExtension(mask);
    BaseExt n = splitExtension(name);
    if (m.ext.empty()) return wildcardMatch(n.base, m.base);
    if (n.ext.empty()) n.ext = ".";
    return wildcardMatch(n.ext, m.ext) && wildcardMatch(n.base, m.base);
}

bool patternExcludes(std::string_view folder, std::string_view name, std::string_view pattern,
                     const PathSyntax& syntax) {
    const std::size_t cut = platform::paths::lastDelimiter(pattern, syntax.delimiters);
    std::string_view patFolder =
        cut == std::string_view::npos ? std::string_view() : pattern.substr(0, cut + 1);
    const std::string_view patMask =
        cut == std::string_view::npos ? pattern : pattern.substr(cut + 1);

    if (!patFolder.empty()) {
        std::string_view rest = folder;
        const std::string_view patDrive = extractDrive(patFolder, syntax);
        if (!patDrive.empty()) {
            const std::string_view drive = extractDrive(folder, syntax);
            if (patDrive.size() > 2) {
                if (!wildcardMatch(drive, patDrive)) return false;
            } else if (patDrive[0] != '*' && patDrive[0] != '?') {
                if (drive.size() != 2 || asciiLower(drive[0]) != asciiLower(patDrive[0])) {
                    return false;
                }
            }
            patFolder.remove_prefix(patDrive.size());
        }
        rest.remove_prefix(extractDrive(folder, syntax).size());
        if (!patFolder.empty() && !endsWithIgnoringAsciiCase(rest, patFolder)) return false;
    }
    return patMask.empty() || fileNameMatchesMask(name, patMask);
}

}  // namespace search
