#pragma once

#include <QApplication>

// The application: creates the process-wide objects, runs the main window modally and ends the
// process when it closes. Runs on the main thread, which is the user-interface thread.
class CTelvornApp final {
public:
    CTelvornApp(int& argc, char** argv);

    // Never returns: after the window's teardown the process ends without static destructors, since
    // the server's threads may still be running.
    [[noreturn]] void InitInstance();

private:
    // SIGINT and SIGTERM (BlockStopSignals) close the window as its close button does.
    static void ServeStopSignals();

    QApplication application;
};

// Blocks SIGINT and SIGTERM for every thread made afterwards, so that only the application's own
// waiter takes them; before the application, whose toolkit starts threads of its own.
void BlockStopSignals();
