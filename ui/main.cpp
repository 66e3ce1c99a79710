// telvorn: the desktop program. No arguments; reads its four INI files from the current directory.
#include "ui/TelvornApp.h"

int main(int argc, char** argv) {
    CTelvornApp app(argc, argv);
    app.InitInstance();
}
