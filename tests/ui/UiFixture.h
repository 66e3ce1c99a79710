#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/profile/MessageBox.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/TempWorkingDirectory.h"
#include "tests/support/WaitUntil.h"
#include "ui/Resources.h"
#include "ui/SaveFileDialog.h"

namespace uitest {

// Runs the user-interface thread's events until the condition holds or a generous deadline passes.
inline bool ProcessEventsUntil(const std::function<bool()>& condition,
                               std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    return WaitUntil(
        [&] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            return condition();
        },
        limit);
}

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
    FakeMessageBox messageBox{MessageAnswer::Yes};
    ScriptedSaveFileDialog saveFile;
};

}  // namespace uitest
