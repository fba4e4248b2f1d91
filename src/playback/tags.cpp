// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/tags.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "playback/file_bytes.h"
#include "playback/track_length.h"

namespace playback {
namespace {

// What a tag reader reads of one tag or header at most: a tag with large pictures is read up to
// here, and its text frames come first.
constexpr std::int64_t kTagBytes = 16 << 20;
// A RIFF file has a few chunks; more is damage.
constexpr int kMostChunks = 4096;

std::string readAt(const FileBytes& file, std::int64_t at, std::int64_t size) {
    const std::int64_t most = std::max<std::int64_t>(0, std::min(kTagBytes, file.size() - at));
    std::string bytes(std::size_t(std::clamp<std::int64_t>(size, 0, most)), '\0');
    bytes.resize(file.read(at, reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()));
    return bytes;
}

std::uint32_t le32At(std::string_view bytes, std::size_t at) {
    return le32(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at);
}
std::uint32_t le16At(std::string_view bytes, std::size_t at) {
    return le16(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at);
}

bool sameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x | 0x20) == (y | 0x20);
           });
}

// Title, artist and album of an ID3v1 tag in the last 128 bytes (30 bytes each after "TAG",
// ended by NUL or padded with blanks).
TrackTags id3v1(const FileBytes& file) {
    if (file.size() < 128) return {};
    const std::string tag = readAt(file, file.size() - 128, 128);
    if (tag.size() != 128 || tag.compare(0, 3, "TAG") != 0) return {};
    auto field = [&](std::size_t at) {
        std::string_view text(tag.data() + at, 30);
        text = text.substr(0, text.find('\0'));
        while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
        return std::string(text);
    };
    return {field(3), field(33), field(63)};
}

// An APEv2 tag at the end of the file, before an ID3v1 tag if there is one: items of a size, a
// flags word, a NUL-ended key and a UTF-8 value.
TrackTags apeTags(const FileBytes& file) {
    TrackTags tags;
    for (const std::int64_t end : {file.size(), file.size() - 128}) {
        if (end < 32) continue;
        const std::string footer = readAt(file, end - 32, 32);
        if (footer.size() != 32 || footer.compare(0, 8, "APETAGEX") != 0) continue;
        const std::int64_t size = le32At(footer, 12);
        const std::string items = readAt(file, end - size, size - 32);
        std::size_t at = 0;
        for (std::uint32_t n = le32At(footer, 16); n > 0 && at + 8 < items.size(); --n) {
            const std::size_t valueBytes = le32At(items, at);
            const std::uint32_t flags = le32At(items, at + 4);
            const std::size_t keyEnd = items.find('\0', at + 8);
            if (keyEnd == std::string::npos || valueBytes > items.size() - keyEnd - 1) break;
            const std::string_view key(items.data() + at + 8, keyEnd - at - 8);
            const std::string_view value(items.data() + keyEnd + 1, valueBytes);
            at = keyEnd + 1 + valueBytes;
            if ((flags & 6) != 0) continue;  // binary or a link, not text
            std::string* field = sameLetters(key, "title")    ? &tags.title
                                 : sameLetters(key, "artist") ? &tags.artist
                                 : sameLetters(key, "album")  ? &tags.album
                                                              : nullptr;
            if (field) *field = legacyTagBytes(value.substr(0, value.find('\0')));
        }
        break;
    }
    return tags;
}

// The ID3v2 tags at the start of an MPEG audio file, then an APEv2 tag at its end; an ID3v1 tag
// when neither names anything (encoders write an ID3v2 tag with nothing but their own name).
TrackTags mpegTags(const FileBytes& file) {
    TrackTags tags;
    afterId3v2Tags(file, 0, [&](std::int64_t at, std::int64_t bytes) {
        tags.update(id3v2Tags(readAt(file, at, bytes)));
    });
    tags.update(apeTags(file));
    return tags.empty() ? id3v1(file) : tags;
}

// RIFF INFO (INAM, IART, IPRD) and ID3v2 chunks of a WAV file, later ones over earlier ones.
TrackTags riffTags(const FileBytes& file) {
    TrackTags tags;
    std::int64_t at = 12;
    for (int chunks = 0; chunks < kMostChunks && at + 8 <= file.size(); ++chunks) {
        const std::string head = readAt(file, at, 12);
        if (head.size() < 8) break;
        const std::int64_t size = le32At(head, 4);
        const std::string_view id(head.data(), 4);
        if (id == "LIST" && head.size() == 12 && head.compare(8, 4, "INFO") == 0) {
            const std::string list = readAt(file, at + 12, size - 4);
            for (std::size_t i = 0; i + 8 <= list.size();) {
                const std::size_t itemBytes = le32At(list, i + 4);
                const std::string_view item = std::string_view(list).substr(i + 8, itemBytes);
                const std::string_view key(list.data() + i, 4);
                std::string* field = key == "INAM"   ? &tags.title
                                     : key == "IART" ? &tags.artist
                                     : key == "IPRD" ? &tags.album
                                                     : nullptr;
                if (field && !item.empty() && item[0] != '\0')
                    *field = legacyTagBytes(item.substr(0, item.find('\0')));
                i += 8 + itemBytes + (itemBytes & 1);
            }
        } else if (id == "id3 " || id == "ID3 ") {
            tags.update(id3v2Tags(readAt(file, at + 8, size)));
        }
        at += 8 + size + (size & 1);
    }
    return tags;
}

// A WMA's content description (title, author) and extended content description
// (WM/AlbumTitle; Title and Author where the first has none), all UTF-16LE.
TrackTags asfTags(const FileBytes& file) {
    static const char kContent[] = "\x33\x26\xB2\x75\x8E\x66\xCF\x11";
    static const char kExtended[] = "\x40\xA4\xD0\xD2\x07\xE3\xD2\x11";
    TrackTags tags;
    TrackTags extended;
    const std::string header = readAt(file, 0, 30);
    if (header.size() < 30) return tags;
    const std::string objects = readAt(file, 30, std::int64_t(le32At(header, 16)) - 30);
    std::string_view rest = objects;
    while (rest.size() >= 24) {
        const std::uint64_t size = le32At(rest, 16) | std::uint64_t(le32At(rest, 20)) << 32;
        if (size < 24 || size > rest.size()) break;
        const std::string_view body = rest.substr(24, std::size_t(size) - 24);
        if (rest.compare(0, 8, kContent) == 0 && body.size() >= 10) {
            std::size_t at = 10;
            std::string* fields[] = {&tags.title, &tags.artist};
            for (std::size_t i = 0; i < 2; ++i) {
                const std::size_t n = le16At(body, 2 * i);
                if (at + n > body.size()) break;
                *fields[i] = legacyTagBytes(utf16ToUtf8(body.substr(at, n), false));
                at += n;
            }
        } else if (rest.compare(0, 8, kExtended) == 0 && body.size() >= 2) {
            std::size_t at = 2;
            for (std::uint32_t n = le16At(body, 0); n > 0 && at + 2 <= body.size(); --n) {
                const std::size_t nameBytes = le16At(body, at);
                if (at + 2 + nameBytes + 4 > body.size()) break;
                const std::string name = utf16ToUtf8(body.substr(at + 2, nameBytes), false);
                const std::uint32_t type = le16At(body, at + 2 + nameBytes);
                const std::size_t valueBytes = le16At(body, at + 4 + nameBytes);
                const std::size_t valueAt = at + 6 + nameBytes;
                if (valueAt + valueBytes > body.size()) break;
                at = valueAt + valueBytes;
                std::string* field = name == "WM/AlbumTitle" ? &extended.album
                                     : name == "Title"       ? &extended.title
                                     : name == "Author"      ? &extended.artist
                                                             : nullptr;
                if (field && type == 0)
                    *field = legacyTagBytes(utf16ToUtf8(body.substr(valueAt, valueBytes), false));
            }
        }
        rest.remove_prefix(std::size_t(size));
    }
    extended.update(tags);
    return extended;
}

}  // namespace

void TrackTags::update(const TrackTags& later) {
    if (!later.title.empty()) title = later.title;
    if (!later.artist.empty()) artist = later.artist;
    if (!later.album.empty()) album = later.album;
}

std::string legacyTagBytes(std::string_view utf8) {
    std::string bytes;
    bool above7f = false;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            bytes += char(b);
            continue;
        }
        // U+0080..U+00FF is C2 or C3 and one continuation byte; anything else is text that
        // was never read as ISO-8859-1.
        if ((b != 0xC2 && b != 0xC3) || i + 1 >= utf8.size()) return std::string(utf8);
        const auto c = static_cast<unsigned char>(utf8[i + 1]);
        if ((c & 0xC0) != 0x80) return std::string(utf8);
        bytes += char(((b & 0x03) << 6) | (c & 0x3F));
        above7f = true;
        ++i;
    }
    return above7f ? bytes : std::string(utf8);
}

TrackTags readTrackTags(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    const FileBytes file(path);
    std::array<std::uint8_t, 16> head{};
    const std::size_t n = file.read(0, head.data(), head.size());
    if (n >= 12 && std::memcmp(head.data(), "RIFF", 4) == 0 &&
        std::memcmp(head.data() + 8, "WAVE", 4) == 0)
        return riffTags(file);
    if (n >= 16 && std::memcmp(head.data(), "\x30\x26\xB2\x75\x8E\x66\xCF\x11", 8) == 0)
        return asfTags(file);
    return mpegTags(file);
}

}  // namespace playback
