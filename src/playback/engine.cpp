// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/engine.h"

#include <pthread.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace playback {
namespace {

// The decoder thread decodes this many frames at a time and sleeps until the ring has room for
// at least that much, so it wakes a few times a second while playing.
constexpr std::size_t kChunkFrames = 8192;

}  // namespace

Engine::Engine(std::unique_ptr<AudioOutput> output, DeviceEvents events,
               std::uint32_t (*level)())
    : output_(std::move(output)),
      events_(std::move(events)),
      level_(level),
      outputMixesLevel_(output_->mixesLevel()),
      outputHoldsFrames_(output_->holdsFrames()) {
    output_->attach(this);
    levelChanged();
}

Engine::~Engine() {
    close();
    output_->attach(nullptr);
}

std::shared_ptr<Decoder> Engine::openDecoder(const std::string& path) {
    // The callback runs on the decoder's scanning thread: a decoder thread waiting at the end of
    // an estimated length goes on with the exact one.
    return std::shared_ptr<Decoder>(playback::openDecoder(path, format_, [this] {
        std::lock_guard lock(mutex_);
        decoderWake_.notify_all();
    }));
}

void Engine::open(const std::string& path) {
    if (takeUpNext(path)) return;
    close();
    {
        // Asked for every file: an output that lost its server connects anew here.
        const OutputFormat format = output_->open();
        std::lock_guard lock(mutex_);
        format_ = format;
    }
    std::shared_ptr<Decoder> decoder = openDecoder(path);
    {
        std::lock_guard lock(mutex_);
        // A second of audio, so that a sound server's refill of about a second is served at
        // once, and a decoder thread kept from running by a busy machine has that much in hand.
        capacity_ = std::max<std::size_t>(std::size_t(format_.sampleRate), 2 * kChunkFrames);
        ring_.assign(capacity_ * std::size_t(format_.channels), 0);
        current_ = Track{decoder, path, decoder->length().frames, decoder->length().ms,
                         decoder->lengthExact()};
        lengthMs_.store(current_.lengthMs, std::memory_order_relaxed);
        quit_ = false;
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
    if (!current_.decoder) return;
    output_->setState(haltState(OutputState::Stopped));
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        // A read under way ends soon instead of holding up the join.
        current_.decoder->cancel();
        if (next_) next_->decoder->cancel();
        mode_.store(int(PlayerMode::NotReady), std::memory_order_release);
        count_ = 0;
        flowing_ = false;
        endMark_ = -1;
        playedFrame_.store(0, std::memory_order_relaxed);
        lengthMs_.store(0, std::memory_order_relaxed);
    }
    decoderWake_.notify_all();
    dataReady_.notify_all();
    thread_.join();
    Track closed;
    std::optional<Track> queued;
    std::lock_guard lock(mutex_);
    closed = std::exchange(current_, Track{});
    queued = std::exchange(next_, std::nullopt);
    feedingNext_ = false;
}

std::uint64_t Engine::play() {
    std::uint64_t id = 0;
    bool dataEnded = false;
    std::optional<Track> dropped;
    {
        std::lock_guard lock(mutex_);
        // From 0 after the end; not while the last frames of a track taken up are still coming.
        if (playedFrame_.load(std::memory_order_relaxed) >= current_.totalFrames && endMark_ < 0) {
            dropped = dropNext();
            startSegment(0);
        }
        mode_.store(int(PlayerMode::Playing), std::memory_order_release);
        flowing_ = true;
        adoptFoundLength(current_);
        id = ++playId_;
        dataEnded = endMark_ >= 0;
    }
    output_->setState(OutputState::Playing);
    keepTail_.store(false, std::memory_order_release);
    if (dataEnded) {
        // A queued track taken up (or a pause) that ended its data already: this play's end
        // is coming too, and the output watches for it again.
        events_.onDataEnded(id);
        output_->dataArrived();
    }
    return id;
}

void Engine::halt(PlayerMode mode) {
    const OutputState state =
        haltState(mode == PlayerMode::Paused ? OutputState::Paused : OutputState::Stopped);
    // What the output drops now was never heard: a later play goes on from what was.
    const std::int64_t heard = state == OutputState::Stopped ? heardFrame() : -1;
    std::optional<Track> dropped;
    {
        std::lock_guard lock(mutex_);
        mode_.store(int(mode), std::memory_order_release);
        flowing_ = false;
        if (state == OutputState::Stopped) {
            dropped = dropNext();
            if (!ended_.load(std::memory_order_relaxed) &&
                heard < playedFrame_.load(std::memory_order_relaxed))
                startSegment(heard);
        }
    }
    dataReady_.notify_all();
    output_->setState(state);
}

void Engine::seek(std::int64_t ms) {
    if (ms == 0 && takeUpNext(current_.path)) return;
    const OutputState state = haltState(OutputState::Stopped);
    std::optional<Track> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped = dropNext();
        adoptFoundLength(current_);
        const std::int64_t frame = (ms * format_.sampleRate + 999) / 1000;
        startSegment(std::min(frame, current_.totalFrames));
        mode_.store(int(PlayerMode::Stopped), std::memory_order_release);
        flowing_ = false;
    }
    dataReady_.notify_all();
    output_->setState(state);
}

void Engine::settle() {
    if (!current_.decoder || mode() == PlayerMode::Playing) return;
    std::optional<Track> dropped;
    {
        std::lock_guard lock(mutex_);
        // A queued track that no command took up after the end is not played on unseen.
        if (ended_.load(std::memory_order_relaxed) && next_) {
            dropped = dropNext();
            flowing_ = false;
        }
    }
    output_->setState(haltState(OutputState::Stopped));
}

void Engine::levelChanged() {
    if (outputMixesLevel_) output_->setLevel(level_());
}

bool Engine::endComing() const {
    std::lock_guard lock(mutex_);
    return endMark_ >= 0 && !next_;
}

void Engine::queueNext(const std::string& path) {
    if (!current_.decoder || !endComing()) return;
    std::shared_ptr<Decoder> decoder = openDecoder(path);
    std::lock_guard lock(mutex_);
    // The end may have been heard while the file opened: the advance opens it again then.
    if (endMark_ < 0 || next_) return;
    next_ = Track{decoder, path, decoder->length().frames, decoder->length().ms,
                  decoder->lengthExact()};
    // The open track's frames have all been handed over, so the ring is empty: it takes the
    // queued track's from here on.
    feedingNext_ = true;
    nextHanded_ = 0;
    nextMark_ = endMark_;
    ++segment_;
    feedStart_ = 0;
    readAt_ = 0;
    count_ = 0;
    finished_ = false;
    decoderWake_.notify_all();
}

std::optional<Engine::Track> Engine::dropNext() {
    if (!next_) return std::nullopt;
    std::optional<Track> dropped = std::exchange(next_, std::nullopt);
    dropped->decoder->cancel();
    if (feedingNext_) {
        // The ring held the queued track's frames; the open track's data had ended.
        feedingNext_ = false;
        ++segment_;
        feedStart_ = current_.totalFrames;
        readAt_ = 0;
        count_ = 0;
        finished_ = true;
        decoderWake_.notify_all();
    }
    return dropped;
}

bool Engine::takeUpNext(const std::string& path) {
    Track old;
    std::lock_guard lock(mutex_);
    if (!ended_.load(std::memory_order_relaxed) || !next_ || !feedingNext_ || next_->path != path)
        return false;
    old = std::exchange(current_, std::move(*next_));
    next_.reset();
    feedingNext_ = false;
    // Its frames are being heard already; flowing_ stays set until the play that follows.
    segmentStart_ = 0;
    segmentMark_ = nextMark_;
    playedFrame_.store(nextHanded_, std::memory_order_relaxed);
    lengthMs_.store(current_.lengthMs, std::memory_order_relaxed);
    ended_.store(false, std::memory_order_release);
    keepTail_.store(false, std::memory_order_release);
    endMark_ = count_ == 0 && finished_ ? nextMark_ + nextHanded_ : -1;
    mode_.store(int(PlayerMode::Stopped), std::memory_order_release);
    // The old decoder is no longer read by the decoder thread; it goes once the lock is released.
    return true;
}

void Engine::startSegment(std::int64_t frame) {
    ++segment_;
    segmentStart_ = frame;
    feedStart_ = frame;
    segmentMark_ = handed_;
    readAt_ = 0;
    count_ = 0;
    finished_ = false;
    endMark_ = -1;
    ended_.store(false, std::memory_order_release);
    playedFrame_.store(frame, std::memory_order_relaxed);
    decoderWake_.notify_all();
}

std::uint64_t Engine::endTrack(bool keepTail) {
    playedFrame_.store(current_.totalFrames, std::memory_order_relaxed);
    mode_.store(int(PlayerMode::Stopped), std::memory_order_release);
    ended_.store(true, std::memory_order_release);
    keepTail_.store(keepTail, std::memory_order_release);
    endMark_ = -1;
    // A queued track plays on until a command takes it up or drops it.
    flowing_ = feedingNext_;
    return playId_;
}

bool Engine::adoptFoundLength(Track& track) {
    if (track.lengthExact || !track.decoder) return track.lengthExact;
    const std::optional<TrackLength> found = track.decoder->foundLength();
    const bool open = &track == &current_;
    // Stopped or paused at or past the found end, the change would make Position == Length (a
    // finished track) without an end: it waits for the next play.
    if (!found || (open && mode() != PlayerMode::Playing &&
                   playedFrame_.load(std::memory_order_relaxed) >= found->frames))
        return false;
    track.lengthExact = true;
    track.totalFrames = found->frames;
    track.lengthMs = found->ms;
    if (open) lengthMs_.store(found->ms, std::memory_order_relaxed);
    decoderWake_.notify_all();
    return true;
}

std::int64_t Engine::heardFrame() const {
    std::int64_t handed = 0, mark = 0, start = 0, played = 0;
    {
        std::lock_guard lock(mutex_);
        if (ended_.load(std::memory_order_relaxed)) return current_.totalFrames;
        handed = handed_;
        mark = segmentMark_;
        start = segmentStart_;
        played = playedFrame_.load(std::memory_order_relaxed);
    }
    // What the output still holds may begin with the end of the track before (a join without a
    // gap) and end with the start of a queued one: only this segment's frames count.
    const std::int64_t heard = handed - output_->queuedFrames();
    return start + std::clamp<std::int64_t>(heard - mark, 0, played - start);
}

std::int64_t Engine::positionMs() const {
    int rate = 0;
    {
        std::lock_guard lock(mutex_);
        rate = format_.sampleRate;
    }
    if (rate <= 0) return 0;
    return std::min(heardFrame() * 1000 / rate, lengthMs());
}

std::size_t Engine::pull(std::int16_t* out, std::size_t frames, bool wait) {
    std::size_t copied = 0;
    std::uint64_t ended = 0;
    std::uint64_t dataEnded = 0;
    {
        std::unique_lock lock(mutex_);
        const std::size_t channels = std::size_t(format_.channels);
        if (wait) dataReady_.wait(lock, [&] { return !flowing_ || count_ > 0 || finished_ || quit_; });
        if (!flowing_) {
            starved_ = true;
            return 0;
        }
        if (!feedingNext_) adoptFoundLength(current_);
        while (copied < frames && count_ > 0) {
            const std::size_t n = std::min({frames - copied, count_, capacity_ - readAt_});
            std::memcpy(out + copied * channels, ring_.data() + readAt_ * channels,
                        n * channels * sizeof(std::int16_t));
            copied += n;
            count_ -= n;
            readAt_ = (readAt_ + n) % capacity_;
        }
        handed_ += std::int64_t(copied);
        if (feedingNext_) {
            nextHanded_ += std::int64_t(copied);
        } else {
            playedFrame_.fetch_add(std::int64_t(copied), std::memory_order_relaxed);
        }
        if (count_ == 0 && finished_ && !feedingNext_ && endMark_ < 0 &&
            !ended_.load(std::memory_order_relaxed)) {
            // The open track's last frame has been handed over: whatever the decoder delivered,
            // the position is the length once it is heard.
            if (outputHoldsFrames_) {
                endMark_ = handed_;
                dataEnded = playId_;
            } else {
                ended = endTrack(true);
            }
        }
        if (copied < frames) starved_ = true;
        if (copied > 0 && freeFrames() >= kChunkFrames) decoderWake_.notify_one();
    }
    if (!outputMixesLevel_) applyGain(out, copied, format_.channels, level_());
    if (ended != 0) events_.onEnded(ended);
    if (dataEnded != 0) events_.onDataEnded(dataEnded);
    return copied;
}

std::int64_t Engine::endMark() {
    std::lock_guard lock(mutex_);
    return flowing_ ? endMark_ : -1;
}

void Engine::heard(std::int64_t queued) {
    std::uint64_t ended = 0;
    {
        std::lock_guard lock(mutex_);
        if (!flowing_ || endMark_ < 0 || handed_ - queued < endMark_) return;
        ended = endTrack(!feedingNext_);
    }
    dataReady_.notify_all();
    events_.onEnded(ended);
}

void Engine::outputLost() {
    std::uint64_t ended = 0;
    std::optional<Track> dropped;
    {
        std::lock_guard lock(mutex_);
        if (mode_.load(std::memory_order_relaxed) != int(PlayerMode::Playing)) return;
        // As when the decoded data ends early: the track is over, at its length. The output
        // holds nothing any more.
        dropped = dropNext();
        ended = endTrack(false);
    }
    dataReady_.notify_all();
    events_.onEnded(ended);
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
                    (!awaitingLength || adoptFoundLength(fed())));
        });
        if (quit_) return;
        awaitingLength = false;
        // The decoder is used without the lock; the reference keeps a dropped queued track's
        // decoder alive until then, and is let go before the lock is taken again.
        if (segment_ != mine) {
            mine = segment_;
            const std::int64_t start = feedStart_;
            std::shared_ptr<Decoder> decoder = fed().decoder;
            lock.unlock();
            decoder->seek(start);
            decoder.reset();
            chunkFrames = chunkUsed = 0;
            lock.lock();
            continue;
        }
        if (chunkUsed == chunkFrames) {
            std::shared_ptr<Decoder> decoder = fed().decoder;
            const std::int64_t room =
                std::clamp<std::int64_t>(fed().totalFrames - decoder->nextFrame(), 0, kChunkFrames);
            lock.unlock();
            chunkFrames = room > 0 ? decoder->read(chunk.data(), std::size_t(room)) : 0;
            decoder.reset();
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
        const Track& track = fed();
        if (chunkUsed == chunkFrames &&
            (chunkFrames == 0 || track.decoder->nextFrame() >= track.totalFrames)) {
            if (track.lengthExact) {
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
