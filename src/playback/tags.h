#pragma once
// Title, artist and album of a track, as its tags hold them: ID3v1, ID3v2 (every version and
// text encoding) and WMA's, read by FFmpeg's demuxers. No Qt here: the text stays bytes, which
// the program shows through platform::legacyText (UTF-8, else the legacy code page that reads
// it most plausibly, as names are read).

#include <string>
#include <string_view>

namespace playback {

struct TrackTags {
    std::string title;
    std::string artist;
    std::string album;
    bool empty() const { return title.empty() && artist.empty() && album.empty(); }
};

// The tags of the file at `path`; empty fields where it has none or cannot be opened. Reads the
// file's header (and an ID3v1 tag at its end), no audio. Any thread.
TrackTags readTrackTags(const std::string& path);

// FFmpeg hands text marked ISO-8859-1 (every ID3v1 tag, ID3v2 frames of encoding 0) over as
// those bytes read as ISO-8859-1, in UTF-8. Windows programs wrote their code page's bytes
// there (GBK, Big5, CP1252), so when every character of `utf8` is below U+0100 and one is
// above U+007F these are the original bytes again; any other text is returned as it is.
std::string legacyTagBytes(std::string_view utf8);

// The reader inside the device module, which holds FFmpeg: the program does not map FFmpeg
// until something is played. Empty tags when the module cannot be loaded. UI thread.
TrackTags readTrackTagsThroughDevice(const std::string& path);

// The module's export for the above; its value is a TagReader.
using TagReader = TrackTags (*)(const std::string& path);
inline constexpr char kTagReaderSymbol[] = "vorela_tag_reader";

}  // namespace playback
