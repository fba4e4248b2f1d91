// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The real main window, offscreen, with its playback device on the manual-clock output, a
// temporary folder for real audio files, and scripted message boxes and file dialogs.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <memory>
#include <string>

#include "main_window/main_window.h"
#include "playback/audio_fixtures.h"
#include "playback/manual_clock_output.h"
#include "playback/media_player.h"
#include "support/scripted_file_dialogs.h"
#include "support/scripted_message_box.h"

namespace testing_support {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto output = std::make_unique<playback::ManualClockOutput>(
            playback::OutputFormat{48000, 2}, outputLatency());
        clock = output.get();
        window = std::make_unique<main_window::MainWindow>(std::move(output));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        boxes.clear();  // start-up shows nothing, but a test starts from a clean record
    }

    // How long the output holds what it is handed before it is heard (a sound server's buffer).
    virtual std::chrono::milliseconds outputLatency() const { return std::chrono::milliseconds(0); }

    // A real audio file of `ms` milliseconds in the temporary folder; returns its path.
    std::string tone(const std::string& name, int ms = 1000, double hz = 440) {
        const std::string path = folder() + name;
        const auto dot = name.rfind('.');
        const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
        const fixtures::Format format = ext == ".mp3" || ext == ".MP3" ? fixtures::Format::Mp3
                                        : ext == ".wma"                ? fixtures::Format::Wma
                                                                       : fixtures::Format::Wav;
        fixtures::writeTone(path, format, hz, ms, 48000, 2);
        return path;
    }
    // The temporary folder, ending in the separator.
    std::string folder() const { return dir.path().toStdString() + "/"; }

    // Plays `ms` of audio on the manual clock, then lets queued events (notifications) run.
    void play(std::chrono::milliseconds ms) {
        clock->advance(ms);
        settle();
    }
    static void settle() {
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    }

    std::string rowCaption(int i) const { return std::string(window->playlist->row(i).caption()); }
    std::string rowFolder(int i) const { return std::string(window->playlist->row(i).folder()); }

    QTemporaryDir dir;
    ScriptedMessageBoxes boxes;
    ScriptedFileDialogs dialogs;
    playback::ManualClockOutput* clock = nullptr;
    std::unique_ptr<main_window::MainWindow> window;
};

}  // namespace testing_support
