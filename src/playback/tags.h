// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Title, artist and album of a track, as its tags hold them: ID3v2 (every version and text
// encoding), APEv2 and ID3v1 in MPEG audio, RIFF INFO and ID3v2 chunks in WAV, and WMA's content
// descriptions, read by a small reader of ours (no library is mapped for them). No Qt here: the
// text stays bytes, which the program shows through platform::legacyText (UTF-8, else the
// legacy code page that reads it most plausibly, as names are read).
//
// Threads: free functions, any thread.

#include <cstdint>
#include <string>
#include <string_view>

namespace playback {

struct TrackTags {
    std::string title;
    std::string artist;
    std::string album;
    bool empty() const { return title.empty() && artist.empty() && album.empty(); }
    // Takes every field that `later` has.
    void update(const TrackTags& later);
};

// The tags of the file at `path`; empty fields where it has none or cannot be opened. Reads the
// file's tags (at most a few megabytes, a cover included), no audio.
TrackTags readTrackTags(const std::string& path);

// The tags of the ID3v2 tag `tag` (its 10-byte header included): text frames of ISO-8859-1
// stay the bytes they are (Windows programs wrote their code page's bytes there: GBK, Big5,
// CP1252), UTF-16 becomes UTF-8.
TrackTags id3v2Tags(std::string_view tag);

// Text that was read as ISO-8859-1 and handed over in UTF-8: when every character of `utf8` is
// below U+0100 and one is above U+007F these are the original bytes again (the code page's
// bytes a Windows program wrote into a field meant for ISO-8859-1); any other text is returned
// as it is.
std::string legacyTagBytes(std::string_view utf8);

// UTF-16 (little-endian, or big-endian with `bigEndian`) up to its end or its first NUL, in
// UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian);

}  // namespace playback
