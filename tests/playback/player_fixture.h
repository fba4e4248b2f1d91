// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A MediaPlayer on the manual-clock output, a temporary folder for generated files, and a
// count of notified signals delivered by the event loop.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <string>

#include "audio_fixtures.h"
#include "playback/manual_clock_output.h"
#include "playback/media_player.h"

namespace playback_test {

using namespace std::chrono_literals;
using playback::PlayerMode;

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        playback::setWaveOutVolume(0xFFFFFFFFu);
        auto output = std::make_unique<playback::ManualClockOutput>();
        clock_ = output.get();
        player_ = std::make_unique<playback::MediaPlayer>(std::move(output));
        QObject::connect(player_.get(), &playback::MediaPlayer::notified,
                         [this] { ++notifications_; });
    }
    void TearDown() override {
        player_.reset();
        playback::setWaveOutVolume(0xFFFFFFFFu);
    }

    std::string path(const std::string& name) const {
        return dir_.filePath(QString::fromLocal8Bit(name.c_str())).toLocal8Bit().toStdString();
    }
    std::string tone(fixtures::Format format, int durationMs = 1000, int rate = 48000,
                     int channels = 2, double frequency = 440.0) {
        const std::string file = path(std::string("tone_") + fixtures::formatName(format) + "_" +
                                      std::to_string(rate) + "_" + std::to_string(channels) + "_" +
                                      std::to_string(durationMs) + fixtures::extension(format));
        fixtures::writeTone(file, format, frequency, durationMs, rate, channels);
        return file;
    }
    void open(const std::string& file) {
        player_->setFileName(file);
        player_->open();
    }
    // Delivers every posted event, so that queued notifications arrive.
    int pump() {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        return notifications_;
    }
    // Plays on until the end (or `limit`), in steps of `step`.
    void runToEnd(std::chrono::milliseconds step = 100ms, int limit = 1000) {
        for (int i = 0; i < limit && player_->mode() == PlayerMode::Playing; ++i)
            clock_->advance(step);
    }

    QTemporaryDir dir_;
    playback::ManualClockOutput* clock_ = nullptr;
    std::unique_ptr<playback::MediaPlayer> player_;
    int notifications_ = 0;
};

}  // namespace playback_test
