#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/profile/MessageBox.h"
#include "tests/server/TempWorkingDirectory.h"
#include "ui/Resources.h"
#include "ui/SaveFileDialog.h"

namespace uitest {

// Runs the user-interface thread's events until the condition holds or a generous deadline passes.
inline bool ProcessEventsUntil(const std::function<bool()>& condition,
                               std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

struct ShownMessage {
    std::string text;
    MessageIcon icon;
};

// Answers every box with OK or Yes and keeps what was shown.
class RecordingMessageBox final : public IMessageBox {
public:
    MessageAnswer Show(const std::string& text, const std::string&, MessageIcon icon,
                       MessageButtons buttons) override {
        shown.push_back(ShownMessage{text, icon});
        return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    }
    std::vector<ShownMessage> shown;
};

// Picks the file name a test set, or none (cancelled), and keeps the filters asked with.
class ScriptedSaveFileDialog final : public ISaveFileDialog {
public:
    std::string AskSaveFileName(const std::string&, const std::string& filter) override {
        filters.push_back(filter);
        return chosen;
    }
    std::string chosen;
    std::vector<std::string> filters;
};

// Each test in a working directory of its own, where it writes the INI files it needs.
class UiTest : public ::testing::Test {
protected:
    UiTest() { InitTelvornResources(); }

    TempWorkingDirectory directory;
    RecordingMessageBox messageBox;
    ScriptedSaveFileDialog saveFile;
};

}  // namespace uitest
