#include <atomic>

#include "playback/media_player.h"

namespace playback {
namespace {

// Read by every output's thread for each buffer; written by the UI thread.
std::atomic<std::uint32_t> waveOutLevel{0xFFFFFFFFu};

}  // namespace

void setWaveOutVolume(std::uint32_t packed) {
    waveOutLevel.store(packed, std::memory_order_relaxed);
}

std::uint32_t waveOutVolume() {
    return waveOutLevel.load(std::memory_order_relaxed);
}

}  // namespace playback
