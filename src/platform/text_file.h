// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whole-file reads and writes of byte texts, and the one line splitter that playlists and lyric
// files share. Every file the program writes goes through writeWholeFile.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Size limits for whole-file reads: far above any real lyric or playlist file, far below what
// would stall the window or exhaust memory.
// Lyric files are under 100 KB; the list shows one row per line, so what a file may hold is kept
// where a full one still loads at once.
inline constexpr std::size_t kLyricFileLimit = std::size_t{1} << 20;
inline constexpr std::size_t kPlaylistFileLimit = std::size_t{64} << 20;

// Splits a text into lines: a line ends at CR LF, a lone CR or a lone LF (LF CR is two line
// ends); a NUL byte ends the text; a last line without a line end is a line, and a line end at
// the very end adds no empty line. A UTF-8 byte-order mark at the very start is dropped.
std::vector<std::string> splitLines(std::string_view text);

// Reads the whole of a regular file of at most `limit` bytes. Opening never blocks (a FIFO or a
// device is refused, not waited for); a save that is rewriting the file in place is waited
// for. Throws SystemError with the text `Cannot open file "PATH". MESSAGE` when the file cannot
// be opened or read, is not a regular file, or is larger than `limit` (MESSAGE is then the
// system's "File too large").
std::string readWholeFile(const std::string& path, std::size_t limit);

// Replaces the file's contents with `data`, or creates it, so that a failure at any point leaves
// the old file as it was. The data goes to a new file in the same folder, is flushed to disk and
// is then renamed over the old one, which keeps its owner, group and permission bits; where the
// new file cannot be given them (another user's shared list) or the folder takes no new file,
// the file is rewritten in place after a copy of its old contents has been flushed aside, and
// that copy is written back if the rewrite fails. Saves of one file in several processes at
// once never fail for each other and leave one whole save. A symbolic link is followed and its
// final target written, so the link stays a link. A file that exists but is not writable, or is
// not a regular file, is refused as before. Throws SystemError with the text
// `Cannot create file "PATH". MESSAGE` when nothing could be begun, or
// `Cannot write file "PATH". MESSAGE` when writing, flushing or renaming fails (MESSAGE is the
// system's); the old contents are then in place, or, where even writing them back failed, in
// the copy that the message names.
void writeWholeFile(const std::string& path, std::string_view data);

}  // namespace platform
