#pragma once

#include <deque>
#include <ostream>
#include <string>
#include <vector>

#include "platform/profile/MessageBox.h"

struct ShownBox {
    std::string text;
    std::string caption;
    MessageIcon icon;
    MessageButtons buttons;

    bool operator==(const ShownBox&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const ShownBox& box) {
    return out << "{\"" << box.text << "\", \"" << box.caption << "\", icon " << static_cast<int>(box.icon)
               << ", buttons " << static_cast<int>(box.buttons) << "}";
}

// Keeps every box shown; a box with only OK is answered OK, a question with the next scripted
// answer, or with unansweredQuestion once the script is used up.
class FakeMessageBox final : public IMessageBox {
public:
    explicit FakeMessageBox(MessageAnswer unansweredQuestion = MessageAnswer::No)
        : unansweredQuestion(unansweredQuestion) {}

    MessageAnswer Show(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageButtons buttons) override {
        shown.push_back({text, caption, icon, buttons});
        if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
        if (answers.empty()) return unansweredQuestion;
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::vector<ShownBox> shown;
    std::deque<MessageAnswer> answers;
    MessageAnswer unansweredQuestion;
};
