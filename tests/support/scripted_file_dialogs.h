// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file-dialog double: answers the coming dialogs from a queue (a path, or cancel) and records
// what each dialog was asked to show. Installed for the lifetime of the object.

#include <QString>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_dialogs.h"

namespace testing_support {

class ScriptedFileDialogs {
public:
    struct Shown {
        bool folderChooser;
        platform::FileDialogSettings settings;  // for file dialogs
        QString title;                          // for the folder chooser
    };

    ScriptedFileDialogs();
    ~ScriptedFileDialogs();
    ScriptedFileDialogs(const ScriptedFileDialogs&) = delete;
    ScriptedFileDialogs& operator=(const ScriptedFileDialogs&) = delete;

    // The next dialog returns `path`; with nothing queued a dialog is cancelled.
    void choose(std::string path) { state_->answers.emplace_back(std::move(path)); }
    void cancel() { state_->answers.emplace_back(std::nullopt); }
    const std::vector<Shown>& shown() const { return state_->shown; }

    struct State {
        std::deque<std::optional<std::string>> answers;
        std::vector<Shown> shown;
    };

private:
    std::shared_ptr<State> state_ = std::make_shared<State>();
    std::unique_ptr<platform::FileDialogService> previous_;
};

}  // namespace testing_support
