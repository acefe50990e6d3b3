// korvex: the desktop program. Creates the main window (which runs its
// start-up) and runs the event loop until the window is closed.
#include <QApplication>

#include "host/FrmMain.h"

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    korvex::TFormMain window;
    window.show();
    return app.exec();
}
