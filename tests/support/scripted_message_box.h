// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A message-box double: records every box shown and answers from a script (IDOK, or the next
// queued answer). Installed for the lifetime of the object.

#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/message_box.h"

class QWidget;

namespace testing_support {

struct ShownBox {
    QWidget* owner;
    QString text;
    QString caption;
    unsigned style;
};

class ScriptedMessageBoxes {
public:
    ScriptedMessageBoxes();
    ~ScriptedMessageBoxes();
    ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
    ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;

    // Answers for the coming boxes, in order; when none is queued a box answers IDOK
    // (or IDNO for a Yes/No box).
    void queueAnswer(int answer) { answers_->push_back(answer); }
    // Runs while a box is "open", e.g. to check what the user would see behind it.
    void onShow(std::function<void(const ShownBox&)> f) { *hook_ = std::move(f); }

    const std::vector<ShownBox>& shown() const { return *shown_; }
    void clear() { shown_->clear(); }

private:
    std::shared_ptr<std::vector<ShownBox>> shown_ = std::make_shared<std::vector<ShownBox>>();
    std::shared_ptr<std::deque<int>> answers_ = std::make_shared<std::deque<int>>();
    std::shared_ptr<std::function<void(const ShownBox&)>> hook_ =
        std::make_shared<std::function<void(const ShownBox&)>>();
    std::unique_ptr<platform::MessageBoxService> previous_;
};

}  // namespace testing_support
