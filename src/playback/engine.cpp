#include "playback/engine.h"

#include <pthread.h>

#include <algorithm>
#include <cstring>

namespace playback {
namespace {

// The decoder thread decodes this many frames at a time and sleeps until the ring has room for
// at least that much, so it wakes a few times a second while playing.
constexpr std::size_t kChunkFrames = 8192;

}  // namespace

Engine::Engine(std::unique_ptr<AudioOutput> output, std::function<void(std::uint64_t)> onEnded,
               std::uint32_t (*level)())
    : output_(std::move(output)),
      onEnded_(std::move(onEnded)),
      level_(level),
      outputMixesLevel_(output_->mixesLevel()) {
    output_->attach(this);
    levelChanged();
}

Engine::~Engine() {
    close();
    output_->attach(nullptr);
}

void Engine::open(const std::string& path) {
    close();
    {
        // Asked for every file: an output that lost its server connects anew here.
        const OutputFormat format = output_->open();
        std::lock_guard lock(mutex_);
        format_ = format;
    }
    // The callback runs on the decoder's scanning thread: a decoder thread waiting at the end of
    // an estimated length goes on with the exact one.
    auto decoder = std::make_unique<Decoder>(path, format_, [this] {
        std::lock_guard lock(mutex_);
        decoderWake_.notify_all();
    });
    {
        std::lock_guard lock(mutex_);
        // Half a second of audio, and never less than two chunks.
        capacity_ = std::max<std::size_t>(std::size_t(format_.sampleRate) / 2, 2 * kChunkFrames);
        ring_.assign(capacity_ * std::size_t(format_.channels), 0);
        totalFrames_ = decoder->length().frames;
        lengthMs_.store(decoder->length().ms, std::memory_order_relaxed);
        lengthExact_ = decoder->lengthExact();
        quit_ = false;
        decoder_ = std::move(decoder);
        startSegment(0);
        mode_.store(int(PlayerMode::Stopped), std::memory_order_release);
    }
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "vorela-decoder");
        decodeLoop();
    });
}

OutputState Engine::haltState(OutputState state) const {
    return keepTail_.load(std::memory_order_acquire) ? OutputState::Draining : state;
}

void Engine::close() {
    if (!decoder_) return;
    output_->setState(haltState(OutputState::Stopped));
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        decoder_->cancel();  // a read under way ends soon instead of holding up the join
        mode_.store(int(PlayerMode::NotReady), std::memory_order_release);
        count_ = 0;
        playedFrame_.store(0, std::memory_order_relaxed);
        lengthMs_.store(0, std::memory_order_relaxed);
    }
    decoderWake_.notify_all();
    dataReady_.notify_all();
    thread_.join();
    decoder_.reset();
    std::lock_guard lock(mutex_);
    totalFrames_ = 0;
}

std::uint64_t Engine::play() {
    std::uint64_t id = 0;
    {
        std::lock_guard lock(mutex_);
        if (playedFrame_.load(std::memory_order_relaxed) >= totalFrames_) startSegment(0);
        mode_.store(int(PlayerMode::Playing), std::memory_order_release);
        adoptFoundLength();
        id = ++playId_;
    }
    output_->setState(OutputState::Playing);
    keepTail_.store(false, std::memory_order_release);
    return id;
}

void Engine::halt(PlayerMode mode) {
    {
        std::lock_guard lock(mutex_);
        mode_.store(int(mode), std::memory_order_release);
    }
    dataReady_.notify_all();
    output_->setState(
        haltState(mode == PlayerMode::Paused ? OutputState::Paused : OutputState::Stopped));
}

void Engine::seek(std::int64_t ms) {
    const OutputState state = haltState(OutputState::Stopped);
    {
        std::lock_guard lock(mutex_);
        adoptFoundLength();
        const std::int64_t frame = (ms * format_.sampleRate + 999) / 1000;
        startSegment(std::min(frame, totalFrames_));
        mode_.store(int(PlayerMode::Stopped), std::memory_order_release);
    }
    dataReady_.notify_all();
    output_->setState(state);
}

void Engine::settle() {
    if (decoder_ && mode() != PlayerMode::Playing)
        output_->setState(haltState(OutputState::Stopped));
}

void Engine::levelChanged() {
    if (outputMixesLevel_) output_->setLevel(level_());
}

void Engine::startSegment(std::int64_t frame) {
    ++segment_;
    segmentStart_ = frame;
    readAt_ = 0;
    count_ = 0;
    finished_ = false;
    ended_.store(false, std::memory_order_release);
    playedFrame_.store(frame, std::memory_order_relaxed);
    decoderWake_.notify_all();
}

std::uint64_t Engine::endTrack(bool keepTail) {
    playedFrame_.store(totalFrames_, std::memory_order_relaxed);
    mode_.store(int(PlayerMode::Stopped), std::memory_order_release);
    ended_.store(true, std::memory_order_release);
    keepTail_.store(keepTail, std::memory_order_release);
    return playId_;
}

bool Engine::adoptFoundLength() {
    if (lengthExact_ || !decoder_) return lengthExact_;
    const std::optional<TrackLength> found = decoder_->foundLength();
    // Stopped or paused at or past the found end, the change would make Position == Length (a
    // finished track) without an end: it waits for the next play.
    if (!found || (mode() != PlayerMode::Playing &&
                   playedFrame_.load(std::memory_order_relaxed) >= found->frames))
        return false;
    lengthExact_ = true;
    totalFrames_ = found->frames;
    lengthMs_.store(found->ms, std::memory_order_relaxed);
    decoderWake_.notify_all();
    return true;
}

std::int64_t Engine::positionMs() const {
    std::int64_t frame = 0;
    std::int64_t start = 0;
    bool ended = false;
    {
        std::lock_guard lock(mutex_);
        if (format_.sampleRate <= 0) return 0;
        frame = playedFrame_.load(std::memory_order_relaxed);
        start = segmentStart_;
        ended = ended_.load(std::memory_order_relaxed);
    }
    // What the output still holds may begin with the end of the track before (a join without a
    // gap); this segment's position never goes below its start.
    if (!ended) frame = std::max(start, frame - output_->queuedFrames());
    return std::min(frame * 1000 / format_.sampleRate, lengthMs());
}

std::size_t Engine::pull(std::int16_t* out, std::size_t frames, bool wait) {
    std::size_t copied = 0;
    std::uint64_t ended = 0;
    {
        std::unique_lock lock(mutex_);
        const std::size_t channels = std::size_t(format_.channels);
        auto playing = [this] {
            return mode_.load(std::memory_order_relaxed) == int(PlayerMode::Playing);
        };
        if (wait) {
            dataReady_.wait(lock, [&] { return !playing() || count_ > 0 || finished_ || quit_; });
        }
        if (!playing()) {
            starved_ = true;
            return 0;
        }
        adoptFoundLength();
        while (copied < frames && count_ > 0) {
            const std::size_t n = std::min({frames - copied, count_, capacity_ - readAt_});
            std::memcpy(out + copied * channels, ring_.data() + readAt_ * channels,
                        n * channels * sizeof(std::int16_t));
            copied += n;
            count_ -= n;
            readAt_ = (readAt_ + n) % capacity_;
        }
        playedFrame_.fetch_add(std::int64_t(copied), std::memory_order_relaxed);
        if (count_ == 0 && finished_) {
            // The end of the track: whatever the decoder delivered, the position is the length.
            ended = endTrack(true);
        } else if (copied < frames) {
            starved_ = true;
        }
        if (copied > 0 && freeFrames() >= kChunkFrames) decoderWake_.notify_one();
    }
    if (!outputMixesLevel_) applyGain(out, copied, format_.channels, level_());
    if (ended != 0) onEnded_(ended);
    return copied;
}

void Engine::outputLost() {
    std::uint64_t ended = 0;
    {
        std::lock_guard lock(mutex_);
        if (mode_.load(std::memory_order_relaxed) != int(PlayerMode::Playing)) return;
        // As when the decoded data ends early: the track is over, at its length. The output
        // holds nothing any more.
        ended = endTrack(false);
    }
    dataReady_.notify_all();
    onEnded_(ended);
}

void Engine::decodeLoop() {
    const std::size_t channels = std::size_t(format_.channels);
    std::vector<std::int16_t> chunk(kChunkFrames * channels);
    std::size_t chunkFrames = 0;  // decoded frames in chunk
    std::size_t chunkUsed = 0;    // of those, already in the ring
    std::uint64_t mine = 0;       // the segment this thread decodes for
    bool awaitingLength = false;  // at the end of an estimated length, until the exact one

    std::unique_lock lock(mutex_);
    for (;;) {
        decoderWake_.wait(lock, [&] {
            return quit_ || segment_ != mine ||
                   (!finished_ && freeFrames() >= kChunkFrames &&
                    (!awaitingLength || adoptFoundLength()));
        });
        if (quit_) return;
        awaitingLength = false;
        if (segment_ != mine) {
            mine = segment_;
            const std::int64_t start = segmentStart_;
            lock.unlock();
            decoder_->seek(start);
            chunkFrames = chunkUsed = 0;
            lock.lock();
            continue;
        }
        if (chunkUsed == chunkFrames) {
            const std::int64_t room =
                std::clamp<std::int64_t>(totalFrames_ - decoder_->nextFrame(), 0, kChunkFrames);
            lock.unlock();
            chunkFrames = room > 0 ? decoder_->read(chunk.data(), std::size_t(room)) : 0;
            chunkUsed = 0;
            lock.lock();
            if (segment_ != mine || quit_) continue;
        }
        // Written in the ring's order; a chunk may wrap around its end.
        while (chunkUsed < chunkFrames && freeFrames() > 0) {
            const std::size_t writeAt = (readAt_ + count_) % capacity_;
            const std::size_t n =
                std::min({chunkFrames - chunkUsed, freeFrames(), capacity_ - writeAt});
            std::memcpy(ring_.data() + writeAt * channels, chunk.data() + chunkUsed * channels,
                        n * channels * sizeof(std::int16_t));
            chunkUsed += n;
            count_ += n;
        }
        // The data or the length has ended. An estimated length is no end: the thread waits for
        // the exact one and reads on up to it, so a track always ends at Position == Length.
        if (chunkUsed == chunkFrames &&
            (chunkFrames == 0 || decoder_->nextFrame() >= totalFrames_)) {
            if (lengthExact_) {
                finished_ = true;
            } else {
                awaitingLength = true;
            }
        }
        dataReady_.notify_all();
        if (starved_) {
            // The output came up short and waits to be told; it pulls with its own lock held,
            // so it is told without ours.
            starved_ = false;
            lock.unlock();
            output_->dataArrived();
            lock.lock();
        }
    }
}

}  // namespace playback
