#include "playback/tags.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "playback/decoder.h"

namespace playback {
namespace {

// The containers the player plays, and what a tag reader may read of a file: a tag with large
// pictures is read whole, but no further.
constexpr char kTaggedContainers[] = "mp3,asf,wav";
constexpr std::int64_t kReadBudget = 64 << 20;

int overBudget(void* opaque) {
    const auto* input = static_cast<const AVFormatContext*>(opaque);
    return input->pb != nullptr && input->pb->bytes_read > kReadBudget;
}

std::string lookUp(const AVFormatContext& input, const char* key) {
    // The container's tags, else the first stream's that has one (case-insensitive keys).
    if (const AVDictionaryEntry* e = av_dict_get(input.metadata, key, nullptr, 0))
        return legacyTagBytes(e->value);
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        if (const AVDictionaryEntry* e = av_dict_get(input.streams[i]->metadata, key, nullptr, 0))
            return legacyTagBytes(e->value);
    }
    return {};
}

// Title, artist and album of an ID3v1 tag at the end of the file (30 bytes each after "TAG",
// ended by NUL or padded with blanks). FFmpeg reads such a tag only when the file has no
// ID3v2 tag at all, and encoders put one with nothing but their own name in front of it.
TrackTags id3v1(const std::string& path, const struct stat& info) {
    if (info.st_size < 128) return {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return {};
    char tag[128];
    const bool read = ::pread(fd, tag, sizeof tag, info.st_size - 128) == 128;
    ::close(fd);
    if (!read || std::string_view(tag, 3) != "TAG") return {};
    auto field = [&](std::size_t at) {
        std::string_view text(tag + at, 30);
        text = text.substr(0, text.find('\0'));
        while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
        return std::string(text);
    };
    return {field(3), field(33), field(63)};
}

}  // namespace

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
    AVFormatContext* input = avformat_alloc_context();
    if (input == nullptr) return {};
    input->interrupt_callback = {overBudget, input};
    if (openLocalInput(&input, path, kTaggedContainers) < 0) return {};  // and freed the context
    TrackTags tags{lookUp(*input, "title"), lookUp(*input, "artist"), lookUp(*input, "album")};
    const bool mp3 = std::string_view(input->iformat->name) == "mp3";
    avformat_close_input(&input);
    if (mp3 && tags.empty()) tags = id3v1(path, info);
    return tags;
}

}  // namespace playback
