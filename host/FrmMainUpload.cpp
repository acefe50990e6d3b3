// The main window's uploads: the picture and program Send buttons, and the
// close request that is refused while one of them runs.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QListWidget>
#include <QProgressBar>

#include "app/upload.h"
#include "host/FrmMain.h"
#include "host/MessageBox.h"

namespace korvex {

void TFormMain::BtnSendPictClick()
{
    const int n = PictList->count();
    PrgBar->setRange(0, n * 4);
    PrgBar->setValue(0);
    PrgBar->show();
    PrgBar->repaint();

    // The upload runs on this thread. After each block the bar is repainted
    // and pending non-input events (paint, window-system pings) are let
    // through, so the desktop does not take the window for hung; user input
    // stays blocked, and a close request is ignored while `uploading` is set.
    uploading = true;
    const UploadResult result = SendPictures(pictures, n, PortNumber(), [this](int position) {
        PrgBar->setValue(position);
        PrgBar->repaint();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
    uploading = false;
    PrgBar->hide();

    if (result.ok) {
        ShowMessage(this, QStringLiteral("发送图形"), QStringLiteral("      发送图形成功   "),
                    MsgIcon::None);
        RecordPictureCount(hostCopy, result.count);
    } else {
        ShowMessage(this, QStringLiteral("发送图形"), QStringLiteral("      发送图形失败!      "),
                    MsgIcon::Error);
    }
}

void TFormMain::BtnSendProgClick()
{
    uploading = true;
    const UploadResult result = SendProgram(program, nProgList->count(), PortNumber());
    uploading = false;

    if (result.ok) {
        ShowMessage(this, QStringLiteral("发送节目表"),
                    QStringLiteral("      发送节目表成功!      "), MsgIcon::None);
        RecordProgramLength(hostCopy, result.count);
    } else {
        ShowMessage(this, QStringLiteral("发送节目表"),
                    QStringLiteral("      发送节目表失败!      "), MsgIcon::Error);
    }
}

void TFormMain::closeEvent(QCloseEvent *event)
{
    // Closing half way would leave the controller half-written.
    if (uploading) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

}  // namespace korvex
