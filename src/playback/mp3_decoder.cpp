// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/mp3_decoder.h"

#include <mpg123.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "playback/device.h"
#include "playback/mp3_stream.h"

namespace playback {
namespace {

// What opening may read: the junk before the first frame that libmpg123 searches, and the
// frames it reads to be sure of the first one. Tags are skipped by seeking.
constexpr std::int64_t kOpenReadBudget = 2 * kJunkLimit + (1 << 20);
constexpr std::int64_t kNoEnd = std::numeric_limits<std::int64_t>::max();
// Files up to this size are walked for their exact length while opening; the length of larger
// ones whose header frame does not state it is found in the background.
constexpr std::int64_t kScanAtOnceBytes = 1 << 20;

}  // namespace

Mp3Decoder::Mp3Decoder(const std::string& path, std::int64_t start, OutputFormat format,
                       std::function<void()> lengthFound)
    : converter_(format), format_(format), start_(start) {
    stream_ = std::make_unique<Mp3Stream>(path, start, format.sampleRate, &cancelled_);
    stream_->limitReads(kOpenReadBudget);
    mpg123_handle* h = stream_->handle();
    long rate = 0;
    int channels = 0, encoding = 0;
    // No frame where a player would look for one: text, a picture, junk.
    if (mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK)
        throw DeviceError(std::strerror(EINVAL));
    stream_->limitReads(kNoEnd);
    const int spf = mpg123_spf(h);
    if (spf <= 0 || !converter_.start(int(rate), 2))
        throw DeviceError("Invalid data found when processing input");
    floats_ = encoding == MPG123_ENC_FLOAT_32;
    segments_.push_back({0, 0, int(rate), spf});

    // The header frame's counts are believed only when libmpg123 read the same: it then took
    // that frame for a header, not for audio, and counts its frames alike.
    const off_t raw = mpg123_length(h);
    std::optional<Mp3HeaderFrame> header =
        mp3HeaderFrame(stream_->file(), afterId3v2Tags(stream_->file(), start));
    if (header && (header->sampleRate != rate || header->samplesPerFrame != spf ||
                   raw != off_t(header->frames * spf)))
        header.reset();
    if (header && header->delay >= 0) {
        headCut_ = header->delay + kMp3DecoderDelay;
        tailTo_ = header->frames * spf;
        tailFrom_ = tailTo_ - std::max(0, header->padding - kMp3DecoderDelay);
    }
    const std::int64_t bytes = stream_->file().size() - start;
    std::optional<TrackLength> exact;
    if (header && header->coversFile) {
        exact = TrackLength::ofFrames(
            PcmConverter::outputFrames(int(rate), format.sampleRate, header->keptSamples()),
            format.sampleRate);
    } else if (bytes <= kScanAtOnceBytes) {
        // A file this small is walked to its end in a millisecond or two.
        const std::atomic<bool> never{false};
        exact = scanLength(path, never);
    }
    if (exact) {
        length_ = *exact;
    } else {
        // libmpg123's estimate from the file's size and the first frame's bit rate, within what
        // the file can hold; the scan finds the exact length.
        const double most = maxSecondsForBytes(bytes) * double(rate);
        const std::int64_t estimate =
            std::min<std::int64_t>(raw > 0 ? std::int64_t(raw) : 0, std::int64_t(most));
        length_ = TrackLength::ofFrames(
            PcmConverter::outputFrames(int(rate), format.sampleRate, keptBefore(estimate)),
            format.sampleRate);
        scan_ = std::make_unique<LengthScan>(
            length_, [this, path](const std::atomic<bool>& stop) { return scanLength(path, stop); },
            std::move(lengthFound));
    }
    seek(0);
}

Mp3Decoder::~Mp3Decoder() {
    scan_.reset();  // joins the scan, which uses this decoder's cuts
}

std::int64_t Mp3Decoder::keptBefore(std::int64_t sample) const {
    const auto within = [sample](std::int64_t from, std::int64_t to) {
        return std::clamp<std::int64_t>(sample, from, std::max(from, to)) - from;
    };
    return sample - within(0, headCut_) - within(std::max(tailFrom_, headCut_), tailTo_);
}

// Output frames are counted per run of frames at one rate: the converter starts afresh at each
// change of rate, and a run of n samples of music makes PcmConverter::outputFrames of them.
std::int64_t Mp3Decoder::segmentOutput(const std::vector<Segment>& segments, std::size_t index,
                                       std::int64_t samples) const {
    std::int64_t out = 0;
    std::size_t run = 0;  // the first segment of the run that `index` is in
    for (std::size_t i = 1; i <= index; ++i) {
        if (segments[i].rate == segments[run].rate) continue;
        out += PcmConverter::outputFrames(
            segments[run].rate, format_.sampleRate,
            keptBefore(segments[i].firstSample) - keptBefore(segments[run].firstSample));
        run = i;
    }
    return out + PcmConverter::outputFrames(segments[run].rate, format_.sampleRate,
                                            keptBefore(segments[index].firstSample + samples) -
                                                keptBefore(segments[run].firstSample));
}

std::vector<Mp3Decoder::Segment> Mp3Decoder::knownSegments() const {
    std::lock_guard lock(segmentsMutex_);
    return scanned_.empty() ? segments_ : scanned_;
}

// On the scanning thread: every frame of the file walked without decoding, on a stream of its
// own set up as the decoder's, so that it finds the frames the decoder decodes.
std::optional<TrackLength> Mp3Decoder::scanLength(const std::string& path,
                                                  const std::atomic<bool>& stop) {
    std::vector<Segment> segments;
    std::int64_t frames = 0;
    std::int64_t samples = 0;
    try {
        Mp3Stream scan(path, start_, format_.sampleRate, &stop);
        mpg123_handle* h = scan.handle();
        for (int code = mpg123_framebyframe_next(h); code == MPG123_OK || code == MPG123_NEW_FORMAT;
             code = mpg123_framebyframe_next(h)) {
            mpg123_frameinfo2 info{};
            mpg123_info2(h, &info);
            const int spf = mpg123_spf(h);
            if (spf <= 0) break;
            if (segments.empty() || segments.back().rate != int(info.rate) ||
                segments.back().samplesPerFrame != spf)
                segments.push_back({frames, samples, int(info.rate), spf});
            ++frames;
            samples += spf;
        }
    } catch (const DeviceError&) {
        return std::nullopt;
    }
    if (stop.load(std::memory_order_relaxed) || segments.empty()) return std::nullopt;
    const std::size_t last = segments.size() - 1;
    const std::int64_t total = segmentOutput(segments, last, samples - segments[last].firstSample);
    {
        std::lock_guard lock(segmentsMutex_);
        scanned_ = std::move(segments);
    }
    return TrackLength::ofFrames(total, format_.sampleRate);
}

std::optional<TrackLength> Mp3Decoder::foundLength() const {
    return scan_ ? scan_->found() : std::nullopt;
}

void Mp3Decoder::cancel() {
    cancelled_.store(true, std::memory_order_relaxed);
    if (scan_) scan_->stop();
}

void Mp3Decoder::seek(std::int64_t frame) {
    frame = std::max<std::int64_t>(frame, 0);
    std::vector<Segment> segments = knownSegments();
    // The run of one rate that holds the frame (the last known one holds all beyond).
    std::size_t index = 0;
    for (std::size_t i = 1; i < segments.size(); ++i) {
        if (segments[i].rate != segments[i - 1].rate && segmentOutput(segments, i, 0) > frame)
            break;
        if (segments[i].rate != segments[i - 1].rate) index = i;
    }
    const Segment& run = segments[index];
    const std::int64_t runOutput = segmentOutput(segments, index, 0);
    done_ = !converter_.start(run.rate, 2);
    // The sample of music to start from: the target's own at the output's rate; before it by
    // the resampler's history at another, from where a fresh resampler counts alike.
    std::int64_t music = frame - runOutput;
    if (converter_.resampling()) {
        music = std::max<std::int64_t>(
            0,
            PcmConverter::inputFrames(run.rate, format_.sampleRate, music) - converter_.history());
    }
    // Its index among all samples: the first whose music count reaches it.
    const std::int64_t base = keptBefore(run.firstSample);
    std::int64_t sample = run.firstSample + music;
    for (int i = 0; i < 4; ++i) {
        const std::int64_t missing = music - (keptBefore(sample) - base);
        if (missing <= 0) break;
        sample += missing;
    }
    // The frame that holds it, in the segment that holds it.
    std::size_t holder = index;
    while (holder + 1 < segments.size() && segments[holder + 1].firstSample <= sample) ++holder;
    const Segment& at = segments[holder];
    const std::int64_t inFrames = (sample - at.firstSample) / at.samplesPerFrame;
    frameNumber_ = at.firstFrame + inFrames;
    sample_ = at.firstSample + inFrames * at.samplesPerFrame;
    skipBefore_ = sample;
    cursor_ = runOutput +
              PcmConverter::outputFrames(run.rate, format_.sampleRate, keptBefore(sample) - base);
    target_ = frame;
    segments_.assign(segments.begin(), segments.begin() + std::ptrdiff_t(holder) + 1);
    segment_ = holder;
    pending_.clear();
    pendingOffset_ = 0;
    nextFrame_ = frame;
    done_ = done_ || mpg123_seek_frame(stream_->handle(), off_t(frameNumber_), SEEK_SET) < 0;
}

std::size_t Mp3Decoder::read(std::int16_t* out, std::size_t maxFrames) {
    return readPending(pending_, pendingOffset_, 2, out, maxFrames, nextFrame_,
                       [this] { return refill(); });
}

// Decodes frames until some output at or after the target is pending. False when the data has
// ended: the end of the file, junk beyond the bound, a read error, or cancel().
bool Mp3Decoder::refill() {
    pending_.clear();
    pendingOffset_ = 0;
    mpg123_handle* h = stream_->handle();
    while (!done_ && pending_.empty()) {
        off_t number = 0;
        unsigned char* audio = nullptr;
        std::size_t bytes = 0;
        const int code = mpg123_decode_frame(h, &number, &audio, &bytes);
        if (code == MPG123_NEW_FORMAT) {
            done_ = !takeFormat();
            continue;
        }
        if (code != MPG123_OK || cancelled_.load(std::memory_order_relaxed)) {
            done_ = true;
            if (!cancelled_.load(std::memory_order_relaxed)) {
                const std::size_t before = pending_.size();
                converter_.finish(pending_);
                keepFromTarget(pending_, before, target_, cursor_);
            }
            break;
        }
        // A frame libmpg123 passed over (none should be) moves the count on by its samples.
        if (std::int64_t(number) > frameNumber_)
            sample_ += (std::int64_t(number) - frameNumber_) * segments_[segment_].samplesPerFrame;
        frameNumber_ = std::int64_t(number) + 1;
        if (audio && bytes > 0) takeFrame(audio, bytes);
    }
    return !pending_.empty();
}

// A new output format from libmpg123: a change of rate starts a new run (met where the scan, or
// the decoding from a known place, expects it, or learnt here).
bool Mp3Decoder::takeFormat() {
    mpg123_handle* h = stream_->handle();
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK) return false;
    floats_ = encoding == MPG123_ENC_FLOAT_32;
    if (int(rate) == converter_.rate()) return true;
    const Segment next{frameNumber_, sample_, int(rate), mpg123_spf(h)};
    if (next.samplesPerFrame <= 0) return false;
    const std::size_t before = pending_.size();
    converter_.finish(pending_);  // the run at the old rate ends here
    keepFromTarget(pending_, before, target_, cursor_);
    if (segment_ + 1 < segments_.size() && segments_[segment_ + 1].firstFrame == frameNumber_) {
        ++segment_;
    } else {
        segments_.resize(segment_ + 1);
        segments_.push_back(next);
        segment_ = segments_.size() - 1;
    }
    return converter_.start(int(rate), 2);
}

// Converts the music among one decoded frame's samples and keeps what lies at or after the
// target.
void Mp3Decoder::takeFrame(const std::uint8_t* audio, std::size_t bytes) {
    const std::size_t frameBytes = 2 * (floats_ ? sizeof(float) : sizeof(std::int16_t));
    const std::int64_t count = std::int64_t(bytes / frameBytes);
    const std::int64_t first = sample_;
    const std::int64_t end = first + count;
    sample_ = end;
    const auto convert = [&](std::int64_t from, std::int64_t to) {
        from = std::max({from, first, skipBefore_});
        to = std::min(to, end);
        if (from >= to) return;
        const std::size_t before = pending_.size();
        const std::uint8_t* data = audio + std::size_t(from - first) * frameBytes;
        if (floats_) {
            converter_.convert(reinterpret_cast<const float*>(data), std::size_t(to - from),
                               pending_);
        } else {
            converter_.convert(reinterpret_cast<const std::int16_t*>(data), std::size_t(to - from),
                               pending_);
        }
        keepFromTarget(pending_, before, target_, cursor_);
    };
    const std::int64_t musicFrom = headCut_;
    if (tailFrom_ < tailTo_) {
        convert(musicFrom, tailFrom_);
        convert(std::max(musicFrom, tailTo_), kNoEnd);
    } else {
        convert(musicFrom, kNoEnd);
    }
}

}  // namespace playback
