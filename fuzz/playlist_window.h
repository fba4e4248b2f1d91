// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window as the playlist fuzz targets drive it: offscreen, on the manual-clock output,
// with message boxes that answer at once and file dialogs that always choose `path`, the
// scratch playlist file. Single-threaded, made once per process.

#include <memory>
#include <string>

#include "fuzz_support.h"
#include "main_window/main_window.h"
#include "playback/manual_clock_output.h"

namespace fuzz_support {

struct PlaylistWindow {
    PlaylistWindow() {
        ensureApplication();
        auto answering = std::make_unique<AnsweringBoxes>();
        boxes = answering.get();
        platform::setMessageBoxService(std::move(answering));
        platform::setFileDialogService(std::make_unique<ChosenFile>(path));
        window = std::make_unique<main_window::MainWindow>(
            std::make_unique<playback::ManualClockOutput>());
    }
    const std::string path = scratchFolder() + "list.m3u";
    AnsweringBoxes* boxes = nullptr;
    std::unique_ptr<main_window::MainWindow> window;
};

}  // namespace fuzz_support
