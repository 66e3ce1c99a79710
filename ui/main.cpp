// telvorn: the desktop program. No arguments; reads its four INI files from the current directory.
#include "server/StandardStreams.h"
#include "ui/TelvornApp.h"

int main(int argc, char** argv) {
    PrepareStandardStreams();
    CTelvornApp app(argc, argv);
    app.InitInstance();
}
