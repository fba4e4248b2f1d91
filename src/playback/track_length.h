// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How long an MP3 is, as far as its header frame tells without decoding it, and the bounds that
// keep damaged files from claiming more. No library here: the program's own byte reading.
//
// Threads: free functions and value types, used on whichever thread opens or scans a file.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace playback {

class FileBytes;

// Samples at a stream's own rate.
struct StreamLength {
    std::int64_t samples = 0;
    int sampleRate = 0;
};

// What the Xing or Info header frame of an MP3 (right after its ID3v2 tags) says.
struct Mp3HeaderFrame {
    int sampleRate = 0;
    int samplesPerFrame = 0;
    std::int64_t frames = 0;  // audio frames after the header frame
    std::int64_t bytes = 0;   // of the header frame and those frames
    // The encoder delay and padding its LAME tag names; -1 when it names none.
    int delay = -1;
    int padding = -1;
    // Nothing but whole tags (ID3v1, APEv2, Lyrics3, an appended ID3v2) follows the bytes it
    // counts up to the end of the file, or zero bytes long enough that a decoder gives up on
    // them as junk: the frames it counts are all the audio there is.
    bool coversFile = false;

    // The samples of those frames that are music: a decoder's delay of 529 samples and the
    // encoder delay at the start, and the padding beyond that delay at the end, are cut.
    std::int64_t keptSamples() const;
};

// The decoder delay of MPEG audio Layer III, in samples: the start of the music lies this much
// further into the decoded samples than the encoder delay says.
inline constexpr int kMp3DecoderDelay = 529;

// The header frame of the MP3 whose data starts at byte `start` of `file`. Empty when there is
// none (a VBRI header counts the frames differently from decoder to decoder: only a scan
// measures such a file), when it is damaged (a LAME tag whose checksum fails, a frame count its
// byte count cannot hold), or when it lacks a frame or byte count.
std::optional<Mp3HeaderFrame> mp3HeaderFrame(const FileBytes& file, std::int64_t start);

// The length an MP3 file states in its header frame, when that covers the whole file: a file cut
// short, or another file joined after it (behind its own ID3v1 tag, as `cat` joins them), is as
// long as only a scan can tell.
std::optional<StreamLength> mp3StatedLength(const std::string& path);

// Where the audio starts after the ID3v2 tags at byte `start` of `file` (a few at most: more is
// damage). `each`, when given, is called with the place and the size of every tag, in order.
std::int64_t afterId3v2Tags(
    const FileBytes& file, std::int64_t start,
    const std::function<void(std::int64_t at, std::int64_t bytes)>& each = {});

// The bytes an ID3v2 tag takes from its 10-byte header "ID3" on: the header, the size its
// synchsafe field gives and the footer its flag announces. None when the size is damaged.
std::optional<std::int64_t> id3v2Bytes(const std::uint8_t* header);

// How many zero bytes the file starts with, counting up to `limit`: damaged rips carry
// megabytes of them before the first frame, which a decoder would otherwise search as junk.
std::int64_t leadingZeroBytes(const std::string& path, std::int64_t limit);

// The longest a file of `bytes` bytes can play: no stream we decode spends less than 1 kbit a
// second, so time stamps or headers that claim more are damaged.
double maxSecondsForBytes(std::int64_t bytes);

}  // namespace playback
