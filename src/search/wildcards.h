// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The byte tables of the content test, the finder's own wildcard matchers and the rule of its
// exclusion patterns. Pure functions over byte strings in the system code page; no locks (the
// tables are built once and never change).

#include <array>
#include <bitset>
#include <string>
#include <string_view>

namespace search {

// Identity, lower-case and delimiter tables for the code page active when first used.
struct SearchTables {
    std::array<unsigned char, 256> identity;
    std::array<unsigned char, 256> lower;
    std::bitset<256> delimiters;  // every byte the code page does not count as alphanumeric
};
const SearchTables& searchTables();

// How paths are written: the separator, the characters that end a folder part, and whether
// drive parts ("C:", "\\server\share") exist. native() is this system's; windows() lets the
// drive rules be used and tested anywhere.
struct PathSyntax {
    char separator;
    std::string_view delimiters;
    bool drives;
    static const PathSyntax& native();
    static const PathSyntax& windows();
};

// The drive part a path starts with ("C:", "\\server\share"), empty when it has none.
std::string_view extractDrive(std::string_view path, const PathSyntax& syntax);

// Walks text and pattern from the start: "*" matches at once, whatever follows; "?" matches
// any one byte, and at the end of the text also nothing; other bytes compare lower-cased.
bool wildcardMatch(std::string_view text, std::string_view pattern);

// Matches base and extension separately (the extension keeps its dot); a mask without an
// extension matches the bases only; a name without extension counts as having ".".
bool fileNameMatchesMask(std::string_view name, std::string_view mask);

// Whether `pattern` (optional drive, optional folder part, optional name mask) excludes the
// entry `name` found in `folder` (absolute, ending in a separator).
bool patternExcludes(std::string_view folder, std::string_view name, std::string_view pattern,
                     const PathSyntax& syntax = PathSyntax::native());

}  // namespace search
