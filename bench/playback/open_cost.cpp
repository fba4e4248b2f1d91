// SPDX-License-Identifier: GPL-3.0-or-later
// Open cost: how long MediaPlayer::open() blocks the calling (UI) thread on a one-hour MP3
// without and with a Xing header, a 2 GB WAV and a 2 GB MP3 without a Xing header. References
// in the same run: `ffprobe -count_packets`, which reads every packet, and plain `ffprobe`, which
// only probes. Also when the exact length arrives from the background scan, and how long closing
// blocks while that scan runs. Then hostile files named .mp3, each of which must be refused at
// once: a live stream's playlist (whose demuxer would sleep waiting for the list to grow; ffprobe
// is not run on it, it waits minutes), a FIFO, a device, text, zero bytes alone; and odd ones
// that must open: an MP3 behind 3 MB of zero bytes, two MP3s joined behind the first one's ID3v1
// tag. Goal: Open blocks at most 50 ms, a refusal at most 100 ms.
// Then, opens judged by what they do, not by the clock: 200 opens of two bought-style MP3s (a
// 300 KB cover in their ID3v2 tag, written by eyeD3) beside 8 busy loops. Goal: none refused.
// Then bounded memory: an ordinary song, and songs (and a WMA) followed by 600 MB and 2 GB of
// zero bytes (sparse files, as a download client's preallocation leaves), each opened, played to
// its end on the manual clock and measured, in a process of its own: its peak RSS, against the
// ordinary song's. Goal: at most 20 MiB more.
// The inputs (2.1 GB on disk and sparse files) go under $TMPDIR, else /tmp, and are removed at
// the end.
#include <QCoreApplication>

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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
#include "sound_server.h"

namespace {

constexpr int kRuns = 7;
constexpr int kReferenceRuns = 3;
constexpr double kGoalMs = 50.0;
constexpr double kRefusalGoalMs = 100.0;
constexpr int kBusyOpens = 200;
constexpr int kBusyLoops = 8;
constexpr double kMemoryGoalMiB = 20.0;

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
    const std::string fifo = in("fifo.mp3");
    if (::mkfifo(fifo.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
    const std::string device = in("device.mp3");
    std::filesystem::create_symlink("/dev/zero", device);
    const std::string text = in("text.mp3");
    fixtures::writeBytes(text, std::string(200000, 'a') + "\n");
    const std::string zerosOnly = in("zeros_only.mp3");
    fixtures::writeBytes(zerosOnly, std::string(3000000, '\0'));
    const Input inputs[] = {{"one-hour VBR MP3, no Xing header", hourNoXing},
                            {"one-hour VBR MP3, Xing header", hourXing},
                            {"2 GB WAV (16-bit stereo, 3 h 9 min)", wav2g},
                            {"2 GB VBR MP3, no Xing header", mp32g},
                            {"live stream playlist named .mp3", liveList},
                            {"FIFO named .mp3", fifo},
                            {"/dev/zero named .mp3", device},
                            {"200 kB of text named .mp3", text},
                            {"3 MB of zero bytes named .mp3", zerosOnly},
                            {"3 s MP3 behind 3 MB of zero bytes", zeros},
                            {"two 3 s MP3s joined behind an ID3v1 tag", joined}};
    std::printf(
        "Open blocking the calling thread, median and max of %d warm runs; references "
        "median of %d\n",
        kRuns, kReferenceRuns);
    bool met = true;
    for (const Input& input : inputs) {
        const bool regular = std::filesystem::is_regular_file(input.path);
        const double mb = regular ? double(std::filesystem::file_size(input.path)) / 1e6 : 0;
        const OpenCost cost = measureOpen(input.path);
        const double goal = cost.error.empty() ? kGoalMs : kRefusalGoalMs;
        met = met && cost.maxMs <= goal;
        std::printf("\n%s (%.1f MB)\n", input.name, mb);
        std::printf("  Open blocks       %8.1f ms median, %.1f ms max   (goal %.0f ms: %s)\n",
                    cost.medianMs, cost.maxMs, goal, cost.maxMs <= goal ? "met" : "MISSED");
        if (!cost.error.empty()) std::printf("  Open refuses: %s\n", cost.error.c_str());
        if (!regular || input.path == liveList || input.path == text) continue;
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

// A bought-style MP3 of `seconds`: an ID3v2 tag with a 300 KB front cover, written by eyeD3.
std::string boughtMp3(const std::string& folder, const std::string& name, int seconds) {
    const std::string cover = folder + "/cover.jpg";
    std::string jpeg("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 20);
    for (int i = 0; i < 300000; ++i) jpeg += char((i * 7919 + i / 13) & 0xFF);
    fixtures::writeBytes(cover, jpeg + "\xFF\xD9");
    const std::string path = folder + "/" + name;
    fixtures::writeTone(path, fixtures::Format::Mp3, 440.0, seconds * 1000, 44100, 2);
    if (fixtures::runTool({"eyeD3", "-Q", "--add-image", cover + ":FRONT_COVER", "-t", name, "-a",
                           "Artist", "-A", "Album", path}) != 0)
        throw std::runtime_error("eyeD3 failed (is it installed?)");
    return path;
}

// kBusyOpens opens, switching between two bought-style MP3s, beside kBusyLoops busy loops.
bool busyOpens(const std::string& folder) {
    const std::string files[] = {boughtMp3(folder, "bought1.mp3", 200),
                                 boughtMp3(folder, "bought2.mp3", 240)};
    std::vector<pid_t> loops;
    for (int i = 0; i < kBusyLoops; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            for (std::atomic<unsigned> spin{0};;) spin.fetch_add(1, std::memory_order_relaxed);
        }
        loops.push_back(pid);
    }
    auto player =
        std::make_unique<playback::MediaPlayer>(std::make_unique<playback::ManualClockOutput>());
    std::vector<double> blocked;
    int refused = 0;
    std::string reason;
    for (int i = 0; i < kBusyOpens; ++i) {
        player->setFileName(files[i % 2]);
        const double start = bench::wallNow();
        try {
            player->open();
            player->play();
        } catch (const playback::DeviceError& error) {
            ++refused;
            reason = error.what();
        }
        blocked.push_back((bench::wallNow() - start) * 1e3);
    }
    for (const pid_t pid : loops) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    std::printf(
        "\n%d opens of two MP3s with a 300 KB cover in their ID3v2 tag (%.0f kB each) "
        "beside %d busy loops\n",
        kBusyOpens, double(std::filesystem::file_size(files[0])) / 1e3, kBusyLoops);
    std::printf(
        "  refused %d (goal 0: %s)%s%s; Open and Play block %.1f ms median, %.1f ms max "
        "(wall time, waiting for a CPU included)\n",
        refused, refused == 0 ? "met" : "MISSED", reason.empty() ? "" : ", ", reason.c_str(),
        median(blocked), *std::max_element(blocked.begin(), blocked.end()));
    return refused == 0;
}

// In a process of its own: opens `file`, plays it to its end on the manual clock and waits for
// its exact length; prints the peak RSS (kB), the length after Open and at the end (ms) and the
// seconds it took.
int measureMemory(const std::string& file) {
    const double start = bench::wallNow();
    auto output = std::make_unique<playback::ManualClockOutput>();
    output->setKeepSamples(false);
    auto* clock = output.get();
    playback::MediaPlayer player(std::move(output));
    player.setFileName(file);
    player.open();
    const std::int64_t opened = player.length();
    player.play();
    for (int i = 0; i < 100000 && player.mode() == playback::PlayerMode::Playing; ++i)
        clock->advance(std::chrono::milliseconds(1000));
    std::ifstream status("/proc/self/status");
    long long peak = 0;
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) peak = std::atoll(line.c_str() + 6);
    std::printf("%lld %lld %lld %.2f\n", peak, static_cast<long long>(opened),
                static_cast<long long>(player.length()), bench::wallNow() - start);
    return 0;
}

bool zeroTails(const std::string& folder, const char* self) {
    const auto in = [&](const char* name) { return folder + "/" + name; };
    struct Input {
        const char* name;
        std::string path;
        std::int64_t tail;
    };
    const std::string song = in("tail_song.mp3");
    fixtures::writeTone(song, fixtures::Format::Mp3, 440.0, 180000, 44100, 2);
    const std::string raw = in("tail_raw.mp3");
    fixtures::writeToneWith(raw, "libmp3lame", "mp3", 440.0, 180000, 44100, 2, 128000);
    const std::string wma = in("tail_song.wma");
    fixtures::writeTone(wma, fixtures::Format::Wma, 440.0, 180000, 44100, 2);
    constexpr std::int64_t k600MB = 600LL << 20;
    constexpr std::int64_t k2GB = 2LL << 30;
    const Input inputs[] = {{"3 min MP3", song, 0},
                            {"3 min MP3 + 600 MB of zeros", song, k600MB},
                            {"3 min MP3 + 2 GB of zeros", song, k2GB},
                            {"3 min MP3 without Xing header + 600 MB of zeros", raw, k600MB},
                            {"3 min MP3 without Xing header + 2 GB of zeros", raw, k2GB},
                            {"3 min WMA", wma, 0},
                            {"3 min WMA + 600 MB of zeros", wma, k600MB},
                            {"3 min WMA + 2 GB of zeros", wma, k2GB}};
    std::printf("\nplaying to the end and measuring, each in a process of its own: peak RSS\n");
    bool met = true;
    double songPeak = 0;
    for (const Input& input : inputs) {
        std::string path = input.path;
        if (input.tail > 0) {
            path = in("tailed") + std::to_string(input.tail) +
                   input.path.substr(input.path.size() - 4);
            std::filesystem::copy_file(input.path, path,
                                       std::filesystem::copy_options::overwrite_existing);
            std::filesystem::resize_file(
                path, std::filesystem::file_size(input.path) + std::uintmax_t(input.tail));
        }
        const std::string report = path + ".memory";
        const int status =
            fixtures::waitExit(fixtures::spawn({self, "--memory", path}, -1, report));
        long long peak = 0, opened = 0, length = 0;
        double seconds = 0;
        std::ifstream numbers(report);
        numbers >> peak >> opened >> length >> seconds;
        const double mib = double(peak) / 1024.0;
        if (input.tail == 0) songPeak = mib;
        const bool ok = status == 0 && mib - songPeak <= kMemoryGoalMiB;
        met = met && ok;
        std::printf(
            "  %-48s peak RSS %6.1f MiB (%+.1f; goal at most +%.0f: %s), length %s after "
            "Open, %s at the end, %.1f s\n",
            input.name, mib, mib - songPeak, kMemoryGoalMiB, ok ? "met" : "MISSED",
            timeText(opened).c_str(), timeText(length).c_str(), seconds);
        if (input.tail > 0) std::filesystem::remove(path);
    }
    return met;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::string(argv[1]) == "--memory") return measureMemory(argv[2]);
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
        met = busyOpens(folder) && met;
        met = zeroTails(folder, argv[0]) && met;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
    }
    std::filesystem::remove_all(folder);
    return met ? 0 : 1;
}
