#pragma once

#include <string>

// The icon of a message box. Stop is the error icon.
enum class MessageIcon { None, Stop, Information, Question, Warning };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

// A modal message box, as the operator sees it. The window shows a real box; tests and the headless
// runner answer it themselves. Called on the user-interface thread (or the thread that plays its
// part); Show returns once the box is answered.
class IMessageBox {
public:
    // An empty caption means the program's own title.
    virtual MessageAnswer Show(const std::string& text, const std::string& caption, MessageIcon icon,
                               MessageButtons buttons) = 0;

protected:
    ~IMessageBox() = default;
};
