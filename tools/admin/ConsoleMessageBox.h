#pragma once

#include <cstdio>
#include <string>

#include "platform/profile/MessageBox.h"

// The message boxes of the database and the registry, on a terminal: each text is a line on
// standard error, and a question is asked there and answered on standard input (anything but
// "y" or "yes" is No; --yes answers Yes without asking). Information boxes are left out: the
// database's "opened" would precede every command, and each command says what it did itself.
class ConsoleMessageBox final : public IMessageBox {
public:
    explicit ConsoleMessageBox(bool assumeYes) : assumeYes(assumeYes) {}

    MessageAnswer Show(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageButtons buttons) override;
    // A question was answered No.
    bool Declined() const { return declined; }

private:
    bool assumeYes;
    bool declined = false;
};

// Writes the text of `key` in `section` of "./Messages.ini" as a line on `stream`; the key itself
// when the file has no text for it, so that a line never comes out empty.
void PrintMessageText(std::FILE* stream, const char* section, const char* key);
