// Quiet playing: the real main window (offscreen, in a child process that takes its commands on
// stdin, so that the measuring costs it nothing) plays an MP3 through its default output into a
// private PulseAudio null sink, and the benchmark reads from /proc what that process and the
// sound server cost per second (CPU ms, wake-ups) while playing, paused, stopped and before
// anything was played; mpg123 (remote-control mode, PulseAudio output) plays the same file
// beside it in the same run. Then, on recordings of the sink: how much sound is still heard
// after pause, stop and a seek into silence (against the position shown at the command), the
// silence where one track joins the next in order; and how late the time text changes after
// the position crosses a second, and after a play, resume or seek command (the design looks
// every 10 ms). Medians of --runs runs (default 5).
//   bench_playback_quiet_play [--runs N] [--play SECONDS] [--rest SECONDS] [--sdl]
// --sdl plays through SDL2 on the same server instead of the device's own PulseAudio output.
// Goals: playing at most 3 ms/s ours and 4 ms/s the server's, below mpg123; paused, stopped and
// never played under 0.1 ms/s; heard within 30 ms; joins under 5 ms; the next title and the stop
// shown within 100 ms of when they are heard; time texts within 10 ms.
#include <QAction>
#include <QApplication>
#include <QSlider>
#include <QSocketNotifier>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include "audio_fixtures.h"
#include "main_window/main_window.h"
#include "main_window/status_bar.h"
#include "proc_cost.h"

namespace {

using bench::ProcCost;

constexpr int kRate = 44100;

void waitMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct PerSecond {
    double oursMs = 0, oursWakeups = 0, serverMs = 0, serverWakeups = 0;
};

PerSecond measure(pid_t ours, pid_t server, double seconds) {
    const ProcCost a0 = bench::procCost(ours);
    const ProcCost s0 = bench::procCost(server);
    waitMs(int(seconds * 1000));
    const ProcCost a = bench::procCost(ours) - a0;
    const ProcCost s = bench::procCost(server) - s0;
    return {a.cpuMs / seconds, double(a.wakeups) / seconds, s.cpuMs / seconds,
            double(s.wakeups) / seconds};
}

// A stereo 16-bit WAV: `toneMs` of 440 Hz at half scale, then `silenceMs` of silence.
void writeToneThenSilence(const std::string& path, int toneMs, int silenceMs) {
    const std::uint32_t frames = std::uint32_t(std::int64_t(toneMs + silenceMs) * kRate / 1000);
    std::vector<std::int16_t> samples(frames * 2, 0);
    for (std::uint32_t i = 0; i < std::uint32_t(std::int64_t(toneMs) * kRate / 1000); ++i)
        samples[2 * i] = samples[2 * i + 1] =
            std::int16_t(16000 * std::sin(2 * M_PI * 440.0 * i / kRate));
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + frames * 4);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(2);
    u32(kRate);
    u32(kRate * 4);
    u16(4);
    u16(16);
    out.write("data", 4);
    u32(frames * 4);
    out.write(reinterpret_cast<const char*>(samples.data()), std::streamsize(samples.size() * 2));
}

// Records the null sink's monitor (raw 44.1 kHz stereo) while `action` runs.
std::vector<std::int16_t> record(const std::string& path, const std::function<void()>& action) {
    const pid_t recorder = bench::spawn({"parec", "-d", "vsink.monitor", "--rate=44100",
                                         "--channels=2", "--format=s16le", "--latency-msec=20"},
                                        -1, path);
    waitMs(400);
    action();
    waitMs(400);
    bench::stopChild(recorder);
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

struct Sound {
    double lengthMs = 0;      // first to last audible frame
    double longestGapMs = 0;  // longest run of silent frames between them
};

Sound analyse(const std::vector<std::int16_t>& samples) {
    const std::size_t frames = samples.size() / 2;
    std::size_t first = frames;
    std::size_t last = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        if (std::abs(samples[2 * i]) > 1000) {
            first = std::min(first, i);
            last = i;
        }
    }
    if (first >= frames) return {};
    std::size_t run = 0;
    std::size_t longest = 0;
    for (std::size_t i = first; i <= last; ++i) {
        run = std::abs(samples[2 * i]) < 50 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    // A sine passes through zero once in a frame or two: only longer runs are silence.
    if (longest <= 2) longest = 0;
    return {double(last - first) * 1000.0 / kRate, double(longest) * 1000.0 / kRate};
}

double nowUs() {
    return double(std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count());
}

// The first audible frame of a recording (the tone's start), or -1.
long firstAudible(const std::vector<std::int16_t>& samples) {
    for (std::size_t i = 0; i < samples.size() / 2; ++i)
        if (std::abs(samples[2 * i]) > 1000 || std::abs(samples[2 * i + 1]) > 1000) return long(i);
    return -1;
}

// Where the level of one channel crosses `threshold` (downwards with `falling`) and stays
// across, searched from frame `from` in 1 ms blocks by their peak: the first frame of the
// first such block, or -1.
long levelChange(const std::vector<std::int16_t>& samples, int channel, long from, int threshold,
                 bool falling) {
    constexpr long kBlock = kRate / 1000;
    const long frames = long(samples.size() / 2);
    auto peak = [&](long at) {
        int most = 0;
        for (long i = at; i < std::min(frames, at + kBlock); ++i)
            most = std::max(most, std::abs(int(samples[std::size_t(2 * i + channel)])));
        return most;
    };
    for (long at = std::max(0L, from); at + 5 * kBlock < frames; at += kBlock) {
        bool across = true;
        for (long k = 0; k < 5 && across; ++k)
            across = falling ? peak(at + k * kBlock) < threshold : peak(at + k * kBlock) > threshold;
        if (across) return at;
    }
    return -1;
}

std::string streamProperties() {
    const std::string path = "/tmp/vorela-bench-sink-inputs.txt";
    bench::waitExit(bench::spawn({"pactl", "list", "sink-inputs"}, -1, path));
    std::ifstream in(path);
    std::string line;
    std::string found;
    while (std::getline(in, line)) {
        if (line.find("media.name") != std::string::npos ||
            line.find("application.name") != std::string::npos ||
            line.find("media.role") != std::string::npos)
            found += "   " + line.substr(line.find_first_not_of(" \t")) + "\n";
    }
    std::remove(path.c_str());
    return found;
}

}  // namespace

// The child: the main window, driven by one-line commands, each answered with one line.
int runWindow(int argc, char** argv, const std::string& folder) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    main_window::MainWindow window;
    window.show();
    // When the time text changes: at a second's crossing, how far the position is past it
    // (connected after the window's own handler, so it sees the new text), and how late the
    // tick came against the moment it was armed for (seen by a filter that runs before the
    // handler), which tells a late tick from a position that moved on faster; after a play,
    // resume or seek, how long after the command returned the text shows where playback is.
    struct TickWatch final : QObject {
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Timer) at = std::chrono::steady_clock::now();
            return false;
        }
        std::chrono::steady_clock::time_point at, due, command;
        bool commandWasPlay = false;
    } watch;
    window.clockTimer->installEventFilter(&watch);
    auto msBetween = [](auto from, auto to) {
        return std::chrono::duration<double, std::milli>(to - from).count();
    };
    auto secondsOf = [](const QString& text) {
        return text.section(u':', 0, 0).toInt() * 60 + text.section(u':', 1, 1).toInt();
    };
    std::vector<double> textLate, tickLate, afterPlay, afterMove;
    // When panel 0 changed to each text (after the window's handler wrote it), by the file name
    // it names or "stop".
    std::map<std::string, double> shownUs;
    QObject::connect(window.statusBar, &main_window::StatusBar::panelTextChanged, [&](int index) {
        if (index != 0) return;
        const QString text = window.statusBar->panelText(0);
        const std::string key = text == QStringLiteral(u"停止播放")
                                    ? std::string("stop")
                                    : text.section(QStringLiteral(u"："), 1).toStdString();
        shownUs[key] = nowUs();
    });
    QString shown = window.statusBar->panelText(1);
    QObject::connect(window.clockTimer, &QTimer::timeout, [&] {
        const QString now = window.statusBar->panelText(1);
        const bool armedByTick = watch.due.time_since_epoch().count() != 0;
        if (now != shown && window.player->mode() == playback::PlayerMode::Playing) {
            if (secondsOf(now) == secondsOf(shown) + 1) {
                textLate.push_back(double(window.player->position() % 1000));
                if (armedByTick) tickLate.push_back(msBetween(watch.due, watch.at));
            } else if (watch.command.time_since_epoch().count() != 0) {
                (watch.commandWasPlay ? afterPlay : afterMove)
                    .push_back(msBetween(watch.command, watch.at));
            }
        }
        // Only the first tick after a command shows what the command did.
        watch.command = {};
        shown = now;
        watch.due = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(window.clockTimer->remainingTime());
    });
    auto summary = [](const std::vector<double>& values) {
        return std::to_string(values.size()) + " " + std::to_string(median(values)) + " " +
               std::to_string(values.empty() ? 0.0
                                             : *std::max_element(values.begin(), values.end()));
    };
    QSocketNotifier commands(0, QSocketNotifier::Read);
    std::string pending;
    QObject::connect(&commands, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = read(0, buffer, sizeof buffer);
        if (n <= 0) QCoreApplication::exit(0);
        pending.append(buffer, std::size_t(std::max<ssize_t>(n, 0)));
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            const std::string verb = line.substr(0, line.find(' '));
            const std::string arg = line.find(' ') == std::string::npos
                                        ? std::string()
                                        : line.substr(line.find(' ') + 1);
            std::string reply = std::to_string(window.player->position());
            // A command re-arms the timers: the next tick is not one armed by a tick.
            watch.due = {};
            if (verb == "add") window.addRow(folder, arg);
            if (verb == "play") {
                shownUs.clear();
                window.selectRow(window.playlist->findPath(folder + arg));
                window.playButton->click();
            }
            if (verb == "resume") window.playButton->click();
            if (verb == "pause") window.pauseButton->click();
            if (verb == "stop") window.stopButton->click();
            if (verb == "seek") window.progressBar->setValue(std::atoi(arg.c_str()));
            if (verb == "mute") window.muteAction->trigger();
            if (verb == "volume") window.volumeBar->setValue(std::atoi(arg.c_str()));
            if (verb == "left") window.leftChannelAction->trigger();
            if (verb == "right") window.rightChannelAction->trigger();
            if (verb == "stereo") window.stereoAction->trigger();
            // The position and the moment it was read, to tie a recording to the clock.
            if (verb == "anchor") reply += " " + std::to_string(nowUs());
            // When panel 0 last named `arg`, or read "停止播放", since the last play command.
            if (verb == "shown") reply = std::to_string(shownUs[arg]);
            if (verb == "driver") reply = window.player->output().driver();
            if (verb == "textlate") reply = summary(textLate);
            if (verb == "ticklate") reply = summary(tickLate);
            if (verb == "afterplay") reply = summary(afterPlay);
            if (verb == "aftermove") reply = summary(afterMove);
            // Counted from the command's return, when the design's timers would run again.
            if (verb == "play" || verb == "resume" || verb == "seek") {
                watch.command = std::chrono::steady_clock::now();
                watch.commandWasPlay = verb == "play";
            }
            if (verb == "quit") QCoreApplication::exit(0);
            std::printf("%s\n", reply.c_str());
            std::fflush(stdout);
        }
    });
    return QApplication::exec();
}

class WindowProcess {
public:
    WindowProcess(const char* self, const std::string& folder) {
        int in[2];
        int out[2];
        if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe failed");
        pid_ = bench::spawn({self, "--window", folder}, in[0], {}, out[1]);
        close(in[0]);
        close(out[1]);
        to_ = in[1];
        from_ = fdopen(out[0], "r");
    }
    ~WindowProcess() {
        ask("quit");
        close(to_);
        fclose(from_);
        bench::waitExit(pid_);
    }
    std::string ask(const std::string& command) {
        const std::string line = command + "\n";
        if (write(to_, line.data(), line.size()) < 0) throw std::runtime_error("window gone");
        char reply[256] = {};
        if (fgets(reply, sizeof reply, from_) == nullptr) throw std::runtime_error("window gone");
        std::string text = reply;
        if (!text.empty() && text.back() == '\n') text.pop_back();
        return text;
    }
    double askNumber(const std::string& command) { return std::atof(ask(command).c_str()); }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int to_ = -1;
    FILE* from_ = nullptr;
};

int main(int argc, char** argv) {
    int runs = 5;
    double playSeconds = 10;
    double restSeconds = 5;
    bool sdl = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        if (arg == "--play" && i + 1 < argc) playSeconds = std::atof(argv[++i]);
        if (arg == "--rest" && i + 1 < argc) restSeconds = std::atof(argv[++i]);
        if (arg == "--sdl") sdl = true;
        if (arg == "--window" && i + 1 < argc) return runWindow(argc, argv, argv[i + 1]);
    }
    // Before anything talks to a sound server; its sink suspends when nothing plays, as on a
    // desktop, so that what paused, stopped and never played cost the server shows.
    bench::PrivateSoundServer server(true);
    if (sdl) setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
    const std::string folder = server.dir() + "/";
    const int trackMs = int((playSeconds + 2 * restSeconds + 5) * 1000);
    fixtures::writeTone(folder + "track.mp3", fixtures::Format::Mp3, 440.0, trackMs, kRate, 2);
    writeToneThenSilence(folder + "cut.wav", 4000, 4000);
    // The last rows, so that the in-order advance ends after them.
    writeToneThenSilence(folder + "zz_join1.wav", 1500, 0);
    writeToneThenSilence(folder + "zz_join2.wav", 1500, 0);
    // Joins across rates and formats, in order: 22.05 kHz WAV, 48 kHz WAV, WMA.
    fixtures::writeTone(folder + "zx_a.wav", fixtures::Format::Wav, 440.0, 1500, 22050, 2);
    fixtures::writeTone(folder + "zx_b.wav", fixtures::Format::Wav, 440.0, 1500, 48000, 2);
    fixtures::writeTone(folder + "zx_c.wma", fixtures::Format::Wma, 440.0, 1500, 44100, 2);
    constexpr long kJoinFrames = 1500L * kRate / 1000;  // each zz_join file's length

    WindowProcess window(argv[0], folder);
    const pid_t self = window.pid();
    window.ask("add track.mp3");

    std::map<std::string, std::vector<double>> figures;
    auto keep = [&](const std::string& phase, const PerSecond& p) {
        figures[phase + " ours ms/s"].push_back(p.oursMs);
        figures[phase + " ours wakeups/s"].push_back(p.oursWakeups);
        figures[phase + " server ms/s"].push_back(p.serverMs);
        figures[phase + " server wakeups/s"].push_back(p.serverWakeups);
    };

    waitMs(500);
    keep("ours never played", measure(self, server.pid(), restSeconds));
    std::string properties;
    std::string driver;
    for (int run = 0; run < runs; ++run) {
        window.ask("play track.mp3");
        waitMs(1000);
        if (run == 0) {
            properties = streamProperties();
            driver = window.ask("driver");
        }
        keep("ours playing", measure(self, server.pid(), playSeconds));
        window.ask("pause");
        waitMs(500);
        keep("ours paused", measure(self, server.pid(), restSeconds));
        window.ask("resume");
        waitMs(300);
        window.ask("stop");
        waitMs(500);
        keep("ours stopped", measure(self, server.pid(), restSeconds));

        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) return 1;
        const pid_t mpg123 = bench::spawn({"mpg123", "-q", "-o", "pulse", "-R"}, pipeEnds[0]);
        close(pipeEnds[0]);
        auto say = [&](const std::string& command) {
            const std::string line = command + "\n";
            if (write(pipeEnds[1], line.data(), line.size()) < 0) std::perror("mpg123");
        };
        waitMs(300);
        say("LOAD " + folder + "track.mp3");
        waitMs(1000);
        keep("mpg123 playing", measure(mpg123, server.pid(), playSeconds));
        say("PAUSE");
        waitMs(500);
        keep("mpg123 paused", measure(mpg123, server.pid(), restSeconds));
        say("STOP");
        waitMs(500);
        keep("mpg123 stopped", measure(mpg123, server.pid(), restSeconds));
        say("QUIT");
        close(pipeEnds[1]);
        bench::waitExit(mpg123);
        std::fprintf(stderr, "run %d of %d done\n", run + 1, runs);
    }

    // Heard after the command: sound recorded beyond the position shown when it was given.
    window.ask("add cut.wav");
    window.ask("add zz_join1.wav");
    window.ask("add zz_join2.wav");
    for (const char* name : {"zx_a.wav", "zx_b.wav", "zx_c.wma"}) window.ask(std::string("add ") + name);
    const std::string recording = folder + "rec.raw";
    for (int run = 0; run < runs; ++run) {
        for (const std::string command : {"pause", "stop", "seek 6"}) {
            double at = 0;
            const Sound sound = analyse(record(recording, [&] {
                window.ask("play cut.wav");
                waitMs(1500);
                at = window.askNumber(command);  // the position when the command came
                waitMs(800);
                window.ask("stop");
            }));
            figures["heard after " + command.substr(0, command.find(" ")) + " ms"].push_back(
                sound.lengthMs - at);
        }
        // Two rows in order, then the end of the list. The position read mid-track ties the
        // recording to the clock: frame i of it is heard at anchorUs + (i - start) / rate -
        // anchorPosition.
        double anchorPosition = 0, anchorUs = 0, joinShownUs = 0, stopShownUs = 0;
        const std::vector<std::int16_t> joinRecording = record(recording, [&] {
            window.ask("play zz_join1.wav");
            waitMs(700);
            std::sscanf(window.ask("anchor").c_str(), "%lf %lf", &anchorPosition, &anchorUs);
            waitMs(2900);
            joinShownUs = window.askNumber("shown zz_join2.wav");
            stopShownUs = window.askNumber("shown stop");
        });
        const Sound joined = analyse(joinRecording);
        figures["join silence ms"].push_back(joined.longestGapMs);
        figures["joined length ms (3000 played)"].push_back(joined.lengthMs);
        const long start = firstAudible(joinRecording);
        if (start >= 0 && joinShownUs > 0 && stopShownUs > 0) {
            auto heardUs = [&](long frame) {
                return anchorUs + (double(frame - start) * 1000.0 / kRate - anchorPosition) * 1000;
            };
            const long last = start + long(joined.lengthMs * kRate / 1000);
            figures["next title shown after join heard ms"].push_back(
                (joinShownUs - heardUs(start + kJoinFrames)) / 1000);
            figures["stop shown after last sound ms"].push_back((stopShownUs - heardUs(last)) / 1000);
        }

        const Sound across = analyse(record(recording, [&] {
            window.ask("play zx_a.wav");
            waitMs(3800);
            window.ask("stop");
        }));
        figures["join silence across formats ms"].push_back(across.longestGapMs);
        figures["joined length across formats ms (3800 played)"].push_back(across.lengthMs);

        // The controls that change the level: a steady tone, the command 1.5 s in (after a
        // mute 1 s in, for the un-mute), where the recorded level changes. Channel 0 is the
        // left one.
        struct Control {
            const char* name;
            std::vector<std::string> before;  // at 1 s
            std::string command;
            std::string undo;
            int channel;
            int threshold;
            bool falling;
        };
        const Control controls[] = {
            {"mute", {}, "mute", "mute", 0, 300, true},
            {"un-mute", {"mute"}, "mute", "", 0, 3000, false},
            {"volume 255->40", {}, "volume 40", "volume 255", 0, 5000, true},
            {"left channel", {}, "left", "stereo", 1, 300, true},
            {"right channel", {}, "right", "stereo", 0, 300, true},
            {"stereo from left", {"left"}, "stereo", "", 1, 3000, false},
        };
        for (const Control& control : controls) {
            double at = 0;
            const std::vector<std::int16_t> heard = record(recording, [&] {
                window.ask("play cut.wav");
                waitMs(1000);
                for (const std::string& command : control.before) window.ask(command);
                waitMs(500);
                at = window.askNumber(control.command);
                waitMs(600);
                window.ask("stop");
                if (!control.undo.empty()) window.ask(control.undo);
            });
            const long toneStart = firstAudible(heard);
            const long change = levelChange(heard, control.channel,
                                            toneStart + long(at * kRate / 1000), control.threshold,
                                            control.falling);
            if (toneStart >= 0 && change >= 0)
                figures[std::string("heard after ") + control.name + " ms"].push_back(
                    double(change - toneStart) * 1000.0 / kRate - at);
        }
    }

    std::printf(
        "quiet play: %s output (%s), MP3 %.0f s, private PulseAudio null sink, %d runs, "
        "medians\n",
        sdl ? "SDL2" : "default", driver.c_str(), trackMs / 1000.0, runs);
    std::printf("  our stream:\n%s", properties.c_str());
    for (const auto& [name, values] : figures)
        std::printf("  %-34s %8.3f   (min %.3f, max %.3f)\n", name.c_str(), median(values),
                    *std::min_element(values.begin(), values.end()),
                    *std::max_element(values.begin(), values.end()));
    for (const auto& [verb, what] :
         {std::pair{"textlate", "time text changed after the second crossed"},
          std::pair{"ticklate", "  its tick came after the moment armed for"},
          std::pair{"afterplay", "time text shown after a play (the design: its first tick)"},
          std::pair{"aftermove", "time text shown after a resume or a seek"}}) {
        double count = 0, lateMedian = 0, lateMax = 0;
        std::sscanf(window.ask(verb).c_str(), "%lf %lf %lf", &count, &lateMedian, &lateMax);
        std::printf("  %s: median %.1f ms, max %.1f ms (%.0f)\n", what, lateMedian, lateMax, count);
    }
    const double ours = median(figures["ours playing ours ms/s"]);
    const double theirs = median(figures["mpg123 playing ours ms/s"]);
    std::printf("playing: ours %.2f ms/s against mpg123 %.2f ms/s: ratio %.2fx\n", ours, theirs,
                theirs > 0 ? ours / theirs : 0.0);
    std::printf("server while playing: ours %.2f ms/s against mpg123's %.2f ms/s\n",
                median(figures["ours playing server ms/s"]),
                median(figures["mpg123 playing server ms/s"]));
    return 0;
}
