// SPDX-License-Identifier: GPL-3.0-or-later
// Journeys through the real window with every real part behind it: the FFmpeg decoder and the
// SDL output, here on SDL's disk driver, which writes every frame the device played to a file
// (silence included) some 40 times faster than real time. The recording is then read back as a
// listener would hear it: which tones, in which order.
//
// The tracks end on the device's own time, so the tests wait on events (the status text, the
// device's notifications) with generous timeouts and never sleep.
#include <QAction>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QSlider>
#include <QTableView>
#include <QToolButton>
#include <QUrl>

#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>

#include "main_window/status_bar.h"
#include "main_window/window_fixture.h"

namespace {

using playback::PlayerMode;
using testing_support::ScriptedFileDialogs;
using testing_support::ScriptedMessageBoxes;

constexpr int kRate = 44100;  // the files' rate and the rate the output asks SDL for
constexpr int kToneMs = 1000;
// Long enough for three tracks on a loaded machine; the disk driver needs well under a second.
constexpr int kTimeoutMs = 60'000;

const QString kStopped = QStringLiteral(u"停止播放");
QString nowPlaying(const char* name) {
    return QStringLiteral(u"当前正在播放：") + QLatin1String(name);
}

// A stretch of the recording that holds one tone: its frequency and its length in windows.
struct ToneRun {
    double hz;
    int windows;
};

constexpr int kWindowFrames = kRate / 20;  // 50 ms

// The tones of one channel, in the order heard. The frames that are silent in both channels are
// dropped first (SDL writes silence while the device is paused, stopped or between tracks), the
// rest is cut into 50 ms windows, and each window is matched to the nearest of `tones` within
// 3 %. Windows that match none (those that straddle two tracks, or the encoder's ramp at a
// track's edge) are left out; consecutive windows of the same tone make one run.
std::vector<ToneRun> toneRuns(const std::vector<std::int16_t>& recording, int channel,
                              const std::vector<double>& tones) {
    std::vector<std::int16_t> audible;
    for (std::size_t i = 0; i + 1 < recording.size(); i += 2) {
        if (recording[i] != 0 || recording[i + 1] != 0) {
            audible.push_back(recording[i]);
            audible.push_back(recording[i + 1]);
        }
    }
    std::vector<ToneRun> runs;
    const std::size_t window = 2 * std::size_t(kWindowFrames);
    for (std::size_t at = 0; at + window <= audible.size(); at += window) {
        const std::vector<std::int16_t> piece(audible.begin() + std::ptrdiff_t(at),
                                              audible.begin() + std::ptrdiff_t(at + window));
        const double hz = fixtures::zeroCrossingFrequency(piece, 2, channel, kRate);
        for (const double tone : tones) {
            if (std::abs(hz - tone) > tone * 0.03) continue;
            if (runs.empty() || runs.back().hz != tone) runs.push_back({tone, 0});
            ++runs.back().windows;
        }
    }
    return runs;
}

// Each run must be the expected tone and last about one track (20 windows of 50 ms; the
// windows at the track's edges may match nothing).
void expectTonesInOrder(const std::vector<std::int16_t>& recording,
                        const std::vector<double>& expected) {
    for (int channel = 0; channel < 2; ++channel) {
        SCOPED_TRACE("channel " + std::to_string(channel));
        const std::vector<ToneRun> runs = toneRuns(recording, channel, {330.0, 440.0, 550.0});
        std::vector<double> heard;
        for (const ToneRun& run : runs) heard.push_back(run.hz);
        ASSERT_EQ(heard, expected);
        for (const ToneRun& run : runs) {
            SCOPED_TRACE(std::to_string(run.hz) + " Hz");
            EXPECT_GE(run.windows, 17);
            EXPECT_LE(run.windows, kToneMs / 50 + 1);
        }
    }
}

class JourneyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        recordingPath = inDir("out.raw");
        // Read by SDL when the device first opens, which is at the first track's open.
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QByteArray::fromStdString(recordingPath));
        // 1 ms per buffer; 0 would spin SDL's thread and starve the decoder on a busy machine.
        qputenv("SDL_DISKAUDIODELAY", "1");
        window = std::make_unique<main_window::MainWindow>();  // the real SDL output
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        // Each notification the device sends, as the window left things after handling it:
        // connected after the window's own handler, so it runs second.
        QObject::connect(window->player.get(), &playback::MediaPlayer::notified, window.get(),
                         [this] { noteStatus(); });
    }

    std::string inDir(const char* name) const {
        return QFile::encodeName(dir.filePath(QString::fromLatin1(name))).toStdString();
    }
    std::string tone(const char* name, double hz) const {
        const std::string path = inDir(name);
        fixtures::writeTone(path, fixtures::Format::Mp3, hz, kToneMs, kRate, 2);
        return path;
    }

    // Loads `lines` as an M3U file through the File menu's playlist command.
    void loadPlaylist(const std::vector<std::string>& lines) {
        const std::string m3u = inDir("list.m3u");
        std::string text;
        for (const std::string& line : lines) text += line + "\r\n";
        fixtures::writeBytes(m3u, text);
        dialogs.choose(m3u);
        window->openPlaylistAction->trigger();
    }

    // A click on a row, as the user selects it.
    void clickRow(int row) {
        const QRect cell = window->playlistView->visualRect(window->playlist->index(row, 0));
        QTest::mouseClick(window->playlistView->viewport(), Qt::LeftButton, Qt::NoModifier,
                          cell.center());
    }

    void drop(const std::vector<std::string>& paths) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const std::string& p : paths) {
            urls << QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(p)));
        }
        mime.setUrls(urls);
        QDropEvent event(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        window->dropEvent(&event);
    }

    // Records panel 0 whenever it holds a new text.
    void noteStatus() {
        const QString text = window->statusBar->panelText(0);
        if (statusTexts.empty() || statusTexts.back() != text) statusTexts.push_back(text);
        if (onNotify) onNotify(text);
    }

    // Waits until the window has stopped after the end of a track.
    bool waitForStop() {
        return QTest::qWaitFor(
            [this] {
                return window->statusBar->panelText(0) == kStopped &&
                       window->player->mode() == PlayerMode::Stopped;
            },
            kTimeoutMs);
    }

    // The driver in use and the device's format, while the device is open.
    void expectDiskDriver() {
        playback::AudioOutput& output = window->player->output();
        EXPECT_EQ(output.driver(), "disk");
        const playback::OutputFormat format = output.open();  // already open: only reports
        EXPECT_EQ(format.sampleRate, kRate);
        EXPECT_EQ(format.channels, 2);
    }

    // Closes the window, which closes the device and flushes the file, and reads the recording
    // (interleaved 16-bit stereo frames in the device's format).
    std::vector<std::int16_t> recording() {
        window.reset();
        std::ifstream in(recordingPath, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        std::vector<std::int16_t> samples(bytes.size() / 2);
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
        return samples;
    }

    QTemporaryDir dir;
    std::string recordingPath;
    ScriptedMessageBoxes boxes;  // any box would be recorded here, never block the journey
    ScriptedFileDialogs dialogs;
    std::vector<QString> statusTexts;
    std::function<void(const QString&)> onNotify;
    // Last, so that it goes first: the device must close before the folder and the records go.
    std::unique_ptr<main_window::MainWindow> window;
};

TEST_F(JourneyTest, InOrderTheListPlaysThroughByItselfAndStopsAfterTheLast) {
    const std::string a = tone("a_330.mp3", 330.0);
    const std::string b = tone("b_440.mp3", 440.0);
    const std::string c = tone("c_550.mp3", 550.0);
    // The file's order is not the list's: rows sort by file name.
    loadPlaylist({c, a, b});
    ASSERT_EQ(window->playlist->count(), 3);
    ASSERT_EQ(window->playlist->path(0), a);
    ASSERT_TRUE(window->inOrderAction->isChecked());  // in order is the mode at start

    clickRow(0);
    ASSERT_EQ(window->selectedRow(), 0);
    QTest::mouseClick(window->playButton, Qt::LeftButton);
    ASSERT_EQ(window->statusBar->panelText(0), nowPlaying("a_330.mp3"));
    expectDiskDriver();

    ASSERT_TRUE(waitForStop()) << window->statusBar->panelText(0).toStdString();
    EXPECT_EQ(statusTexts,
              (std::vector<QString>{nowPlaying("b_440.mp3"), nowPlaying("c_550.mp3"), kStopped}));
    EXPECT_EQ(window->player->fileName(), c);
    EXPECT_EQ(window->player->position(), window->player->length());
    EXPECT_EQ(window->selectedRow(), 2);
    EXPECT_EQ(window->progressBar->value(), 0);
    EXPECT_TRUE(window->playButton->isEnabled());
    EXPECT_FALSE(window->pauseButton->isEnabled());
    EXPECT_FALSE(window->stopButton->isEnabled());
    EXPECT_TRUE(boxes.shown().empty());

    expectTonesInOrder(recording(), {330.0, 440.0, 550.0});
}

// Repeat list goes from the last row back to the first; in order, chosen while that first row
// plays again, then takes the list to its end and stops.
TEST_F(JourneyTest, RepeatListWrapsAroundUntilInOrderIsChosen) {
    const std::string a = tone("a_330.mp3", 330.0);
    const std::string b = tone("b_440.mp3", 440.0);
    const std::string c = tone("c_550.mp3", 550.0);
    loadPlaylist({a, b, c});
    window->repeatListAction->trigger();
    ASSERT_TRUE(window->repeatListAction->isChecked());
    ASSERT_FALSE(window->inOrderAction->isChecked());
    int starts = 0;
    onNotify = [&](const QString& text) {
        if (text == nowPlaying("a_330.mp3") && ++starts == 1) window->inOrderAction->trigger();
    };

    clickRow(0);
    QTest::mouseClick(window->playButton, Qt::LeftButton);
    expectDiskDriver();

    ASSERT_TRUE(waitForStop()) << window->statusBar->panelText(0).toStdString();
    EXPECT_TRUE(window->inOrderAction->isChecked());
    EXPECT_FALSE(window->repeatListAction->isChecked());
    EXPECT_EQ(statusTexts, (std::vector<QString>{nowPlaying("b_440.mp3"), nowPlaying("c_550.mp3"),
                                                 nowPlaying("a_330.mp3"), nowPlaying("b_440.mp3"),
                                                 nowPlaying("c_550.mp3"), kStopped}));
    EXPECT_TRUE(boxes.shown().empty());

    expectTonesInOrder(recording(), {330.0, 440.0, 550.0, 330.0, 440.0, 550.0});
}

// A dropped file plays at once without the now-playing text; at its end the list goes on from
// the dropped file's row as for any other track.
TEST_F(JourneyTest, ADroppedFilePlaysAtOnceAndTheListGoesOnFromItsRow) {
    const std::string a = tone("a_330.mp3", 330.0);
    const std::string b = tone("b_440.mp3", 440.0);
    const std::string c = tone("c_550.mp3", 550.0);
    loadPlaylist({b, c});
    ASSERT_EQ(window->playlist->count(), 2);

    drop({a});
    ASSERT_EQ(window->playlist->count(), 3);
    EXPECT_EQ(window->playlist->path(0), a);
    EXPECT_EQ(window->player->fileName(), a);
    EXPECT_EQ(window->selectedRow(), -1);  // a drop selects nothing
    EXPECT_TRUE(window->statusBar->panelText(0).isEmpty());
    expectDiskDriver();

    ASSERT_TRUE(waitForStop()) << window->statusBar->panelText(0).toStdString();
    EXPECT_EQ(statusTexts,
              (std::vector<QString>{nowPlaying("b_440.mp3"), nowPlaying("c_550.mp3"), kStopped}));
    EXPECT_EQ(window->selectedRow(), 2);
    EXPECT_TRUE(boxes.shown().empty());

    expectTonesInOrder(recording(), {330.0, 440.0, 550.0});
}

}  // namespace
