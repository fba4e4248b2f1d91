// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/scripted_message_box.h"

namespace testing_support {
namespace {

class Service final : public platform::MessageBoxService {
public:
    Service(std::shared_ptr<std::vector<ShownBox>> shown, std::shared_ptr<std::deque<int>> answers,
            std::shared_ptr<std::function<void(const ShownBox&)>> hook)
        : shown_(std::move(shown)), answers_(std::move(answers)), hook_(std::move(hook)) {}

    int show(QWidget* owner, const QString& text, const QString& caption, unsigned style) override {
        shown_->push_back({owner, text, caption, style});
        if (*hook_) (*hook_)(shown_->back());
        if (!answers_->empty()) {
            const int answer = answers_->front();
            answers_->pop_front();
            return answer;
        }
        return (style & 0xF) == platform::MB_YESNO ? platform::IDNO : platform::IDOK;
    }

private:
    std::shared_ptr<std::vector<ShownBox>> shown_;
    std::shared_ptr<std::deque<int>> answers_;
    std::shared_ptr<std::function<void(const ShownBox&)>> hook_;
};

}  // namespace

ScriptedMessageBoxes::ScriptedMessageBoxes()
    : previous_(
          platform::setMessageBoxService(std::make_unique<Service>(shown_, answers_, hook_))) {}

ScriptedMessageBoxes::~ScriptedMessageBoxes() {
    platform::setMessageBoxService(std::move(previous_));
}

}  // namespace testing_support
