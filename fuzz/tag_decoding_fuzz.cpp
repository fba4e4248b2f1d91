// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the tags of a track: the input becomes a file whose tags are read as the
// media-player interface reads them (FFmpeg's demuxers, then the ID3v1 fallback), and each
// field is decoded for the screen; and the input itself, taken as one tag's text from FFmpeg,
// goes through the undoing of ISO-8859-1, which must give bytes that read back as that text.
// Seeds: fuzz/seeds/tag_decoding_fuzz.sh.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "platform/code_page.h"
#include "playback/tags.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const std::string original = playback::legacyTagBytes(bytes);
    if (original != bytes) {
        fuzz_support::check(
            QString::fromLatin1(original.data(), qsizetype(original.size())).toUtf8() ==
                QByteArray(bytes.data(), qsizetype(bytes.size())),
            "undone ISO-8859-1 reads back as the text");
    }
    // Every character shown stands for at least one byte (a byte-order mark shows as nothing).
    fuzz_support::check(platform::legacyText(original).size() <= qsizetype(original.size()),
                        "no more characters than bytes");

    static const std::string path = fuzz_support::scratchFolder() + "tagged";
    fuzz_support::putFile(path, bytes);
    const playback::TrackTags tags = playback::readTrackTags(path);
    for (const std::string* field : {&tags.title, &tags.artist, &tags.album}) {
        fuzz_support::check(platform::legacyText(*field).size() <= qsizetype(field->size()),
                            "no more characters than bytes in a tag");
    }
    return 0;
}
