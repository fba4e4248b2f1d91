// Open cost: how long MediaPlayer::open() blocks the calling (UI) thread on a one-hour MP3
// without and with a Xing header, a 2 GB WAV and a 2 GB MP3 without a Xing header. References
// in the same run: `ffprobe -count_packets`, which reads every packet as Open used to, and plain
// `ffprobe`, which only probes. Also when the exact length arrives from the background scan,
// and how long closing blocks while that scan runs. Then hostile files named .mp3: a live
// stream's playlist (whose demuxer would sleep waiting for the list to grow; ffprobe is not run
// on it, it waits minutes), an MP3 behind 3 MB of zero bytes, and two MP3s joined behind the
// first one's ID3v1 tag. Goal: Open blocks at most 50 ms.
// The inputs (2.1 GB on disk and a sparse 2 GB WAV) go under $TMPDIR, else /tmp, and are
// removed at the end.
#include <QCoreApplication>

#include <stdlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <vector>

#include "audio_fixtures.h"
#include "bench_util.h"
#include "playback/decoder.h"
#include "playback/manual_clock_output.h"
#include "playback/media_player.h"

namespace {

constexpr int kRuns = 7;
constexpr int kReferenceRuns = 3;
constexpr double kGoalMs = 50.0;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct OpenCost {
    double medianMs = 0;
    double maxMs = 0;
    double closeMs = 0;         // closing right after Open, while a scan runs
    std::int64_t openedMs = 0;  // Length right after Open
    std::int64_t exactMs = 0;   // the exact length
    double exactAfterMs = 0;    // when it was known, from the start of Open
    bool scanned = false;       // found by the background scan
    std::string error;          // why Open failed, when it did
};

OpenCost measureOpen(const std::string& file) {
    OpenCost cost;
    std::vector<double> blocked;
    std::vector<double> closing;
    for (int run = 0; run < kRuns; ++run) {
        auto player = std::make_unique<playback::MediaPlayer>(
            std::make_unique<playback::ManualClockOutput>());
        player->setFileName(file);
        const double start = bench::wallNow();
        try {
            player->open();
        } catch (const playback::DeviceError& error) {
            cost.error = error.what();
        }
        blocked.push_back((bench::wallNow() - start) * 1e3);
        if (cost.error.empty()) cost.openedMs = player->length();
        const double closeStart = bench::wallNow();
        player.reset();
        closing.push_back((bench::wallNow() - closeStart) * 1e3);
    }
    cost.medianMs = median(blocked);
    cost.maxMs = *std::max_element(blocked.begin(), blocked.end());
    cost.closeMs = median(closing);
    if (!cost.error.empty()) return cost;

    std::mutex mutex;
    std::condition_variable found;
    bool done = false;
    const double start = bench::wallNow();
    const std::unique_ptr<playback::Decoder> decoder =
        playback::openDecoder(file, playback::OutputFormat{48000, 2}, [&] {
            std::lock_guard lock(mutex);
            done = true;
            found.notify_all();
        });
    cost.scanned = !decoder->lengthExact();
    if (cost.scanned) {
        std::unique_lock lock(mutex);
        found.wait(lock, [&] { return done; });
    }
    cost.exactAfterMs = (bench::wallNow() - start) * 1e3;
    cost.exactMs = cost.scanned ? decoder->foundLength()->ms : decoder->length().ms;
    return cost;
}

std::string timeText(std::int64_t ms) {
    const auto part = [ms](std::int64_t unit, std::int64_t modulo) {
        return static_cast<long long>(ms / unit % modulo);
    };
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld", part(3600000, 1000000),
                  part(60000, 60), part(1000, 60), part(1, 1000));
    return text;
}

double referenceMs(const std::vector<std::string>& argv) {
    std::vector<double> walls;
    for (int run = 0; run < kReferenceRuns; ++run) walls.push_back(bench::runChild(argv).wall);
    return median(walls) * 1e3;
}

void appendCopies(const std::string& path, const std::string& from, int copies) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (int i = 0; i < copies; ++i) {
        std::ifstream in(from, std::ios::binary);
        out << in.rdbuf();
    }
    if (!out) throw std::runtime_error("cannot write " + path);
}

// A WAV header announcing `dataBytes` of 16-bit stereo PCM at 44.1 kHz, and that much silence
// (a sparse file: it costs no disk).
void writeLargeWav(const std::string& path, std::uint32_t dataBytes) {
    auto le32 = [](std::uint32_t v) {
        return std::string{char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF),
                           char(v >> 24)};
    };
    auto le16 = [](std::uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; };
    const std::string header = "RIFF" + le32(36 + dataBytes) + "WAVE" + "fmt " + le32(16) +
                               le16(1) + le16(2) + le32(44100) + le32(44100 * 4) + le16(4) +
                               le16(16) + "data" + le32(dataBytes);
    fixtures::writeBytes(path, header);
    std::filesystem::resize_file(path, header.size() + dataBytes);
}

bool measureAll(const std::string& folder) {
    const auto in = [&](const char* name) { return folder + "/" + name; };

    std::printf("making the inputs...\n");
    const std::string minute = in("minute.mp3");
    fixtures::writeTone(minute, fixtures::Format::Mp3VbrNoXing, 440.0, 60000, 44100, 2);
    const std::string hourNoXing = in("hour_no_xing.mp3");
    appendCopies(hourNoXing, minute, 60);
    const std::string hourXing = in("hour_xing.mp3");
    fixtures::writeMp3WithXing(hourXing, hourNoXing);
    const std::string wav2g = in("two_gb.wav");
    writeLargeWav(wav2g, 2000000000u);
    const std::string mp32g = in("two_gb_no_xing.mp3");
    appendCopies(mp32g, hourNoXing, int(2000000000 / std::filesystem::file_size(hourNoXing)) + 1);

    struct Input {
        const char* name;
        std::string path;
    };
    const std::string song = in("song.mp3");
    fixtures::writeTone(song, fixtures::Format::Mp3, 440.0, 3000, 44100, 2);
    const std::string liveList = in("live_list.mp3");
    fixtures::writeBytes(liveList,
                         "#EXTM3U\n#EXT-X-TARGETDURATION:30\n#EXT-X-MEDIA-SEQUENCE:1\n"
                         "#EXTINF:10,\n" + song + "\n");
    const std::string zeros = in("after_zeros.mp3");
    fixtures::writeBytes(zeros, std::string(3000000, '\0') + fixtures::readBytes(song));
    std::string id3v1 = "TAGFirst part";
    id3v1.resize(128, '\0');
    const std::string tag = in("id3v1.tag");
    fixtures::writeBytes(tag, id3v1);
    const std::string joined = in("joined_behind_tag.mp3");
    fixtures::joinFiles(joined, {song, tag, song});
    const Input inputs[] = {{"one-hour VBR MP3, no Xing header", hourNoXing},
                            {"one-hour VBR MP3, Xing header", hourXing},
                            {"2 GB WAV (16-bit stereo, 3 h 9 min)", wav2g},
                            {"2 GB VBR MP3, no Xing header", mp32g},
                            {"live stream playlist named .mp3", liveList},
                            {"3 s MP3 behind 3 MB of zero bytes", zeros},
                            {"two 3 s MP3s joined behind an ID3v1 tag", joined}};
    std::printf(
        "Open blocking the calling thread, median and max of %d warm runs; references "
        "median of %d\n",
        kRuns, kReferenceRuns);
    bool met = true;
    for (const Input& input : inputs) {
        const double mb = double(std::filesystem::file_size(input.path)) / 1e6;
        const OpenCost cost = measureOpen(input.path);
        met = met && cost.maxMs <= kGoalMs;
        std::printf("\n%s (%.1f MB)\n", input.name, mb);
        std::printf("  Open blocks       %8.1f ms median, %.1f ms max   (goal %.0f ms: %s)\n",
                    cost.medianMs, cost.maxMs, kGoalMs, cost.maxMs <= kGoalMs ? "met" : "MISSED");
        if (!cost.error.empty()) std::printf("  Open fails: %s\n", cost.error.c_str());
        if (input.path == liveList) continue;
        const double probe = referenceMs({"ffprobe", "-v", "error", "-show_entries",
                                          "format=duration", "-o", "/dev/null", input.path});
        const double packets =
            referenceMs({"ffprobe", "-v", "error", "-count_packets", "-select_streams", "a:0",
                         "-show_entries", "stream=nb_read_packets", "-o", "/dev/null", input.path});
        std::printf("  ffprobe           %8.1f ms   ffprobe -count_packets %8.1f ms\n", probe,
                    packets);
        std::printf("  ratio Open / ffprobe %.2fx, Open / ffprobe -count_packets %.4fx\n",
                    cost.medianMs / probe, cost.medianMs / packets);
        if (!cost.error.empty()) continue;
        std::printf("  Length after Open %s, exact %s after %.0f ms%s\n",
                    timeText(cost.openedMs).c_str(), timeText(cost.exactMs).c_str(),
                    cost.exactAfterMs, cost.scanned ? " (background scan)" : " (stated)");
        std::printf("  closing right after Open blocks %.1f ms\n", cost.closeMs);
    }
    std::printf("\n%s\n", met ? "goal met on every input" : "goal MISSED");
    return met;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const char* const temporary = std::getenv("TMPDIR");
    std::string folder =
        std::string(temporary && *temporary ? temporary : "/tmp") + "/open_cost_XXXXXX";
    if (!::mkdtemp(folder.data())) {
        std::fprintf(stderr, "cannot make a folder for the inputs\n");
        return 1;
    }
    bool met = false;
    try {
        met = measureAll(folder);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
    }
    std::filesystem::remove_all(folder);
    return met ? 0 : 1;
}
