// SPDX-License-Identifier: GPL-3.0-or-later
// ID3v2.2, 2.3 and 2.4 text frames for the title, artist and album.
#include <cstdint>
#include <string>
#include <string_view>

#include "playback/tags.h"

namespace playback {
namespace {

std::uint32_t bigEndian(std::string_view bytes, std::size_t at, std::size_t n) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < n; ++i) value = value << 8 | std::uint8_t(bytes[at + i]);
    return value;
}

std::uint32_t synchsafe(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value = value << 7 | (std::uint8_t(bytes[at + i]) & 0x7F);
    return value;
}

// Undoes unsynchronisation: an 0xFF 0x00 pair was written for every 0xFF.
std::string resynchronised(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out += bytes[i];
        if (std::uint8_t(bytes[i]) == 0xFF && i + 1 < bytes.size() && bytes[i + 1] == '\0') ++i;
    }
    return out;
}

// The first string of a text frame's data (its encoding byte first).
std::string frameText(std::string_view data) {
    if (data.empty()) return {};
    const char encoding = data[0];
    std::string_view text = data.substr(1);
    switch (encoding) {
        case 0:  // ISO-8859-1, by the standard; the bytes as written
            return std::string(text.substr(0, text.find('\0')));
        case 1:  // UTF-16 after a byte-order mark
            if (text.size() >= 2 && std::uint8_t(text[0]) == 0xFF && std::uint8_t(text[1]) == 0xFE)
                return legacyTagBytes(utf16ToUtf8(text.substr(2), false));
            if (text.size() >= 2 && std::uint8_t(text[0]) == 0xFE && std::uint8_t(text[1]) == 0xFF)
                return legacyTagBytes(utf16ToUtf8(text.substr(2), true));
            return {};  // no mark: no telling the byte order
        case 2:         // UTF-16 big-endian
            return legacyTagBytes(utf16ToUtf8(text, true));
        case 3:  // UTF-8
            return legacyTagBytes(text.substr(0, text.find('\0')));
        default:
            return {};
    }
}

}  // namespace

TrackTags id3v2Tags(std::string_view tag) {
    TrackTags tags;
    if (tag.size() < 10 || tag.substr(0, 3) != "ID3") return tags;
    const int version = std::uint8_t(tag[3]);
    const std::uint8_t flags = std::uint8_t(tag[5]);
    if (version < 2 || version > 4 || (version == 2 && (flags & 0x40))) return tags;  // compressed
    std::string body(tag.substr(10, synchsafe(tag, 6)));
    // Before 2.4 the whole tag is unsynchronised at once; in 2.4 each frame says so.
    if (version < 4 && (flags & 0x80)) body = resynchronised(body);
    std::size_t at = 0;
    if (version >= 3 && (flags & 0x40) && body.size() >= 4) {
        // The extended header's size counts itself in 2.4, not in 2.3.
        at = version == 4 ? synchsafe(body, 0) : 4 + bigEndian(body, 0, 4);
    }
    const std::size_t idBytes = version == 2 ? 3 : 4;
    const std::size_t headerBytes = version == 2 ? 6 : 10;
    const std::string_view frames = body;
    while (at + headerBytes <= frames.size() && frames[at] != '\0') {
        const std::string_view id = frames.substr(at, idBytes);
        const std::size_t size = version == 2   ? bigEndian(frames, at + 3, 3)
                                 : version == 3 ? bigEndian(frames, at + 4, 4)
                                                : synchsafe(frames, at + 4);
        const std::uint32_t frameFlags = version == 2 ? 0 : bigEndian(frames, at + 8, 2);
        const std::size_t start = at + headerBytes;
        if (size > frames.size() - start) break;
        at = start + size;
        std::string* field = id == "TIT2" || id == "TT2"   ? &tags.title
                             : id == "TPE1" || id == "TP1" ? &tags.artist
                             : id == "TALB" || id == "TAL" ? &tags.album
                                                           : nullptr;
        if (!field) continue;
        std::string data(frames.substr(start, size));
        if (version == 3) {
            if (frameFlags & 0x00C0) continue;          // compressed or encrypted
            if (frameFlags & 0x0020) data.erase(0, 1);  // group
        } else if (version == 4) {
            if (frameFlags & 0x000C) continue;          // compressed or encrypted
            if (frameFlags & 0x0040) data.erase(0, 1);  // group
            if ((frameFlags & 0x0002) || (flags & 0x80)) data = resynchronised(data);
            if (frameFlags & 0x0001) data.erase(0, std::min<std::size_t>(4, data.size()));
        }
        if (std::string text = frameText(data); !text.empty()) *field = std::move(text);
    }
    return tags;
}

std::string utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::string out;
    const auto unit = [&](std::size_t i) -> std::uint32_t {
        const auto a = std::uint8_t(bytes[i]), b = std::uint8_t(bytes[i + 1]);
        return bigEndian ? std::uint32_t(a) << 8 | b : std::uint32_t(b) << 8 | a;
    };
    const auto put = [&out](std::uint32_t c) {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | c >> 6);
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | c >> 12);
            out += char(0x80 | (c >> 6 & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | c >> 18);
            out += char(0x80 | (c >> 12 & 0x3F));
            out += char(0x80 | (c >> 6 & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    };
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::uint32_t c = unit(i);
        if (c == 0) break;
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        put(c);
    }
    return out;
}

}  // namespace playback
