// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Path rules over byte strings in the system code page. Every split of a path into folder and
// name, and every search for an extension dot, goes through here, so that the trail byte of a
// double-byte character is never taken for a separator or a dot.

#include <string>
#include <string_view>

#include "code_page.h"

namespace platform::paths {

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
inline constexpr std::string_view kDelimiters = "\\:";  // separator and drive colon
#else
inline constexpr char kSeparator = '/';
inline constexpr std::string_view kDelimiters = "/";
#endif

// Index of the last byte of `text` that is one of `delims` and not the trail byte of a
// double-byte character; npos when there is none.
std::size_t lastDelimiter(std::string_view text, std::string_view delims,
                          const CodePage& cp = CodePage::active());

struct Split {
    std::string_view folder;  // up to and including the last separator; may be empty
    std::string_view name;    // the rest
};

// Splits at the last separator: "/music/a.mp3" -> {"/music/", "a.mp3"}.
Split split(std::string_view path, const CodePage& cp = CodePage::active());
std::string_view fileName(std::string_view path, const CodePage& cp = CodePage::active());
std::string_view folder(std::string_view path, const CodePage& cp = CodePage::active());

// The extension of the file-name part, from its last dot to the end ("" when the name has no
// dot): "a.b.mp3" -> ".mp3", "/x.d/song" -> "".
std::string_view extension(std::string_view path, const CodePage& cp = CodePage::active());
// The file-name part without its extension.
std::string_view baseName(std::string_view path, const CodePage& cp = CodePage::active());

// `folder` with exactly one separator at its end (an empty folder stays empty).
std::string withTrailingSeparator(std::string_view folder);

}  // namespace platform::paths
