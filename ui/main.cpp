// telvorn: the desktop program. No arguments; reads its four INI files from the current directory.
// SIGINT or SIGTERM closes it as its close button does.
#include "server/StandardStreams.h"
#include "ui/TelvornApp.h"

int main(int argc, char** argv) {
    PrepareStandardStreams();
    BlockStopSignals();
    CTelvornApp app(argc, argv);
    app.InitInstance();
}
