// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Audio files made at test time with libavcodec's own encoders, so that no binary fixture is
// committed. Every function throws std::runtime_error when the file cannot be written.

#include <cstdint>
#include <string>
#include <vector>

namespace fixtures {

enum class Format {
    Wav,           // pcm_s16le in RIFF/WAVE
    Mp3,           // libmp3lame, constant bit rate, Xing/LAME header
    Mp3Vbr,        // libmp3lame, variable bit rate, Xing/LAME header
    Mp3VbrNoXing,  // variable bit rate without the Xing header: headers guess the duration
    Mp3Id3,        // constant bit rate behind a large ID3v2 tag
    Wma,           // wmav2 in ASF
};

const char* formatName(Format format);
// ".wav", ".mp3" or ".wma".
const char* extension(Format format);

// A sine tone at `frequencyHz` of `durationMs` in every channel, amplitude 0.5 of full scale.
// For the VBR formats the amplitude sweeps so that the frames really differ in size.
void writeTone(const std::string& path, Format format, double frequencyHz, int durationMs,
               int sampleRate = 44100, int channels = 2);

// Frames [firstFrame, firstFrame + frames) of the same tone (Wav, Mp3 or Mp3Vbr): pieces cut
// from one tone, which played back to back give the tone whole. toneSample is its 16-bit
// value at frame `n`.
void writeTonePart(const std::string& path, Format format, double frequencyHz,
                   std::int64_t firstFrame, std::int64_t frames, int sampleRate = 48000,
                   int channels = 2);
std::int16_t toneSample(double frequencyHz, int sampleRate, std::int64_t n);

// The same tone through any libavcodec encoder into any muxer, at a constant `bitRate` (0: 64
// kbit/s a channel) and without a Xing header: "pcm_u8" in "wav", "libmp3lame" in "mp3".
void writeToneWith(const std::string& path, const char* codec, const char* muxer,
                   double frequencyHz, int durationMs, int sampleRate = 44100, int channels = 2,
                   int bitRate = 0);

// The MP3 packets of `from` in a new MP3 file with a Xing header that counts them (the
// muxer's own, with no encoder delay or padding named).
void writeMp3WithXing(const std::string& path, const std::string& from);

// Runs an outside tool (ffmpeg, id3v2, eyeD3) with exactly these argument bytes, no shell, under
// a UTF-8 locale and with its output discarded; returns its exit code (-1 when it did not run).
int runTool(std::vector<std::string> args);

// Raw bytes, for files that only look like audio.
void writeBytes(const std::string& path, const std::string& bytes);
// A RIFF/WAVE header announcing PCM data, and no data.
void writeHeaderOnlyWav(const std::string& path);
// Cuts a file down to `bytes`.
void truncateFile(const std::string& path, std::uintmax_t bytes);
// Writes the files of `parts` one after the other into `path`, as `cat` does.
void joinFiles(const std::string& path, const std::vector<std::string>& parts);
// The whole content of a file.
std::string readBytes(const std::string& path);

// Decodes a whole file to interleaved 16-bit samples at its own rate and channel count.
struct Decoded {
    int sampleRate = 0;
    int channels = 0;
    std::vector<std::int16_t> samples;
    std::int64_t frames() const { return channels ? std::int64_t(samples.size()) / channels : 0; }
};
Decoded decodeFile(const std::string& path);

// The frequency of a pure tone in one channel, estimated from its zero crossings, in Hz.
double zeroCrossingFrequency(const std::vector<std::int16_t>& interleaved, int channels,
                             int channel, int sampleRate);
// The root mean square of one channel, in full-scale units (0..1).
double rms(const std::vector<std::int16_t>& interleaved, int channels, int channel);

}  // namespace fixtures
