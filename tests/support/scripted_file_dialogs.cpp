// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/scripted_file_dialogs.h"

namespace testing_support {
namespace {

class Service final : public platform::FileDialogService {
public:
    explicit Service(std::shared_ptr<ScriptedFileDialogs::State> state)
        : state_(std::move(state)) {}

    std::optional<std::string> runFileDialog(
        QWidget*, const platform::FileDialogSettings& settings) override {
        state_->shown.push_back({false, settings, {}});
        return next();
    }
    std::optional<std::string> chooseFolder(QWidget*, const QString& title) override {
        state_->shown.push_back({true, {}, title});
        return next();
    }

private:
    std::optional<std::string> next() {
        if (state_->answers.empty()) return std::nullopt;
        auto answer = std::move(state_->answers.front());
        state_->answers.pop_front();
        return answer;
    }
    std::shared_ptr<ScriptedFileDialogs::State> state_;
};

}  // namespace

ScriptedFileDialogs::ScriptedFileDialogs()
    : previous_(platform::setFileDialogService(std::make_unique<Service>(state_))) {}

ScriptedFileDialogs::~ScriptedFileDialogs() {
    platform::setFileDialogService(std::move(previous_));
}

}  // namespace testing_support
