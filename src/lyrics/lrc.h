// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The byte-level rules of lyric files: where a track's lyric file lies, which character set its
// lines are shown in and which line a time text selects. Lines stay the file's bytes, never
// re-encoded: the time stamps are ASCII in every set a lyric file comes in, so matching works
// on the bytes whatever the file's set.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/code_page.h"

namespace lyrics {

// The most lines a lyric file may have: a song's lyrics run to a few hundred. A file with more
// (megabytes of empty lines) is no lyric file, and one widget row per line would hold the
// window for seconds.
inline constexpr std::size_t kMostLyricLines = 5000;

// The track's file name without folder and extension: "/m/a.b.mp3" -> "a.b", "/m/song" -> "song".
std::string lrcBaseName(std::string_view trackPath,
                        const platform::CodePage& cp = platform::CodePage::active());

// The lyric file beside the track: its folder, then `baseName`, then ".lrc".
std::string lyricPath(std::string_view trackPath, std::string_view baseName,
                      const platform::CodePage& cp = platform::CodePage::active());

// The character set to show a lyric file's lines in, from the file's bytes and the system's
// code page. Lyric files in the wild are mostly GBK, many UTF-8 with or without a byte-order
// mark: a file that starts with the UTF-8 mark is UTF-8; where the system shows UTF-8, a file
// that is not valid UTF-8 is in the legacy code page that reads it most plausibly, as names
// are read (GB18030, which holds all of GBK, first under a simplified Chinese locale); any
// other file is in the system's code page.
platform::CodePage lyricTextEncoding(
    std::string_view fileBytes, const platform::CodePage& system = platform::CodePage::active());

// The five bytes at positions 2..6 of a line (counting from 1), fewer when the line is shorter:
// "[01:23.45]x" -> "01:23".
std::string_view timeStamp(std::string_view line);

// Index of the first line whose time stamp equals `elapsed` byte for byte; none when no line
// does. A scan from the start on every call: lines need not be in time order.
std::optional<std::size_t> matchingLine(const std::vector<std::string>& lines,
                                        std::string_view elapsed);

}  // namespace lyrics
