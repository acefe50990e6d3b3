// korvex: the desktop program. Creates the main window (which runs its
// start-up) and runs the event loop until the window is closed.
#include <QApplication>
#include <csignal>

#include "host/FrmMain.h"

int main(int argc, char **argv)
{
    std::signal(SIGXFSZ, SIG_IGN);  // a write past a file-size limit fails as "Disk full"
    QApplication app(argc, argv);
    korvex::TFormMain window;
    window.show();
    return app.exec();
}
