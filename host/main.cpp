// korvex: the desktop program. Creates the main window (which runs its
// start-up) and runs the event loop until the window is closed. The one
// argument it reads is --version, which prints the version and ends
// without opening a window.
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <memory>

#include "host/FrmMain.h"
#include "app/platform.h"
#include "app/qt_translation.h"

int main(int argc, char **argv)
{
    korvex::PrepareProcess();
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("korvex %s\n", KORVEX_VERSION);
        return 0;
    }
    QApplication app(argc, argv);
    // Qt's own buttons and dialogs speak the window's language.
    korvex::InstallQtTranslation(app);
    // The window holds the whole library: on the heap, not in main's frame.
    auto window = std::make_unique<korvex::TFormMain>();
    window->show();
    return app.exec();
}
