#pragma once
// Whole-file reads and writes of byte texts, and the one line splitter that playlists and lyric
// files share.

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Splits a text into lines: a line ends at CR LF, a lone CR or a lone LF (LF CR is two line
// ends); a NUL byte ends the text; a last line without a line end is a line, and a line end at
// the very end adds no empty line. A UTF-8 byte-order mark at the very start is dropped.
std::vector<std::string> splitLines(std::string_view text);

// Reads the whole file. Throws SystemError with the text
// `Cannot open file "PATH". MESSAGE` (MESSAGE is the system's) when it cannot be opened or read.
std::string readWholeFile(const std::string& path);

// Creates or replaces the file and writes `data` in one write. Throws SystemError with the
// text `Cannot create file "PATH". MESSAGE` when it cannot be created, or the system's message
// when the write fails.
void writeWholeFile(const std::string& path, std::string_view data);

}  // namespace platform
