// The main window's uploads: the picture and program Send buttons, the
// picture list's menu that sends the selected picture only, and the close
// request that is refused while an upload or a read runs.
#include <QAction>
#include <QCloseEvent>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStringList>

#include "app/picture_numbers.h"
#include "app/upload.h"
#include "host/FrmMain.h"
#include "host/MessageBox.h"
#include "host/exchange_run.h"
#include "host/list_selection.h"
#include "model/memory_map.h"

namespace korvex {

namespace {

const QString kPictCaption = QStringLiteral("发送图形");

QString Numbers(const std::vector<int> &pictures)
{
    return QString::fromStdString(PictureNumbers(pictures));
}

// Where a failed upload stopped: the command that was not acknowledged.
QString FailedStep(const UploadResult &r, bool pictures)
{
    switch (r.step) {
    case UploadStep::Open: return QStringLiteral("打开串口失败");
    case UploadStep::RecordRead: return QStringLiteral("读取控制卡配置记录失败");
    case UploadStep::RecordWrite:
        return pictures ? QStringLiteral("写入图形数失败") : QStringLiteral("写入节目步数失败");
    case UploadStep::PictureBlock:
        return QStringLiteral("第 %1 块（共 %2 块，图形 %3）写入失败")
            .arg(r.blocksWritten + 1)
            .arg(r.Blocks())
            .arg(r.pages[static_cast<size_t>(r.blocksWritten / kBlocksPerPicture)] + 1);
    case UploadStep::NameTable1: return QStringLiteral("写入图形名表 1 失败");
    case UploadStep::NameTable2: return QStringLiteral("写入图形名表 2 失败");
    case UploadStep::ProgramBlock: return QStringLiteral("写入节目表失败");
    case UploadStep::ReadBack: return QStringLiteral("写入后读回核对失败");
    case UploadStep::Restart: return QStringLiteral("发送重启命令失败");
    case UploadStep::Done: break;
    }
    return QString();
}

// The failure box's detailed text: where the upload stopped and what the
// controller now holds, from the same facts korvex-cli reports.
QString FailureDetail(const UploadResult &r, bool pictures)
{
    QStringList lines{FailedStep(r, pictures), QStringLiteral("控制卡现在保存的是：")};
    const Held record = r.Left(UploadStep::RecordWrite);
    if (record != Held::Written) {
        lines << (record == Held::Unsure
                      ? QStringLiteral("配置记录未确认写入，其中的数目可能是旧的，也可能是新的；"
                                       "其余均未发送")
                      : QStringLiteral("原有内容，未写入任何数据"));
    } else if (pictures) {
        lines << QStringLiteral("图形数：%1（已在第一块之前写入）").arg(r.count);
        const std::vector<int> complete = r.CompletePictures();
        lines << QStringLiteral("完整的图形：%1")
                     .arg(complete.empty() ? QStringLiteral("无") : Numbers(complete));
        int acknowledged = 0;
        const int partial = r.PartialPicture(&acknowledged);
        // The window never stops an upload, so a partial picture is always
        // one whose block failed in flight.
        if (partial >= 0)
            lines << QStringLiteral(
                         "不完整的图形：%1（4 块中已写入 %2 块，第 %3 块可能只写入了一部分）")
                         .arg(partial + 1)
                         .arg(acknowledged)
                         .arg(acknowledged + 1);
        const std::vector<int> unsent = r.UnsentPictures();
        if (!unsent.empty())
            lines << QStringLiteral("未发送的图形：%1（仍为原有内容）").arg(Numbers(unsent));
        if (r.Left(UploadStep::NameTable2) == Held::Written)
            lines << QStringLiteral("两个图形名表均已写入");
        else if (r.Left(UploadStep::NameTable1) == Held::Written)
            lines << QStringLiteral(
                "图形名表 1 已写入，图形名表 2 未写入（图形 65-120 的名字仍为原来的）");
        else
            lines << QStringLiteral("图形名表未写入（名字仍为原来的）");
    } else {
        lines << QStringLiteral("节目步数：%1（已写入）").arg(r.count);
        const Held steps = r.Left(UploadStep::ProgramBlock);
        lines << (steps == Held::Written  ? QStringLiteral("节目表：已写入")
                  : steps == Held::Unsure ? QStringLiteral("节目表：可能只写入了一部分")
                                          : QStringLiteral("节目表：未写入（仍为原有内容）"));
    }
    if (!r.Confirmed(UploadStep::Restart))
        lines << QStringLiteral("未发送重启命令");
    lines << QStringLiteral("再次发送即可补全。");
    return lines.join(QLatin1Char('\n'));
}

// A picture upload of `blocks` blocks, run by `send` with the bar's
// progress function and the pause between commands, then its message box.
// The full upload and the upload of the selected picture differ only in
// what `send` sends.
void RunPictureUpload(TFormMain *form, int blocks,
                      const std::function<UploadResult(const ProgressFn &, const StopFn &)> &send)
{
    const UploadResult result = RunExchange(form, form->PrgBar, blocks, [&](ExchangeRun &run) {
        return send(run.Progress(), run.Pause());
    });
    if (result.ok) {
        ShowMessage(form, kPictCaption, QStringLiteral("      发送图形成功   "), MsgIcon::None);
        RecordPictureCount(form->hostCopy, result.count);
    } else {
        ShowMessage(form, kPictCaption, QStringLiteral("      发送图形失败!      "), MsgIcon::Error,
                    FailureDetail(result, true));
    }
}

}  // namespace

void TFormMain::BtnSendPictClick()
{
    const int n = doc.PictureCount();
    RunPictureUpload(this, n * 4, [&](const ProgressFn &progress, const StopFn &pause) {
        return SendPictures(doc.Pictures(), n, PortNumber(), progress, pause);
    });
}

// The list's menu offers the send of the selected picture when the Send
// button could send the library and a picture is selected, and the read and
// the check of the controller whenever the Send button could send.
void TFormMain::PictListPopup(const QPoint &pos)
{
    MnuSendSelected->setEnabled(BtnSendPict->isEnabled() && SelectedRow(PictList) >= 0);
    MnuReadCard->setEnabled(BtnSendPict->isEnabled());
    MnuCheckCard->setEnabled(BtnSendPict->isEnabled());
    MnuPattern->setEnabled(BtnNew->isEnabled() && !doc.PicturesFull());
    PictMenu->popup(PictList->viewport()->mapToGlobal(pos));
}

void TFormMain::MnuSendSelectedClick()
{
    const int selected = SelectedRow(PictList);
    if (selected < 0)
        return;
    const int n = doc.PictureCount();
    RunPictureUpload(this, 4, [&](const ProgressFn &progress, const StopFn &pause) {
        return SendChosenPictures(doc.Pictures(), n, {selected}, PortNumber(), progress, pause);
    });
}

void TFormMain::BtnSendProgClick()
{
    // The program page has no bar: the upload only lets events through
    // between its commands.
    const UploadResult result = RunExchange(this, nullptr, 0, [&](ExchangeRun &run) {
        return SendProgram(doc.Program(), doc.ProgramLength(), PortNumber(), run.Pause());
    });

    if (result.ok) {
        ShowMessage(this, QStringLiteral("发送节目表"),
                    QStringLiteral("      发送节目表成功!      "), MsgIcon::None);
        RecordProgramLength(hostCopy, result.count);
    } else {
        ShowMessage(this, QStringLiteral("发送节目表"),
                    QStringLiteral("      发送节目表失败!      "), MsgIcon::Error,
                    FailureDetail(result, false));
    }
}

void TFormMain::closeEvent(QCloseEvent *event)
{
    // Closing half way would leave the controller half-written, and would
    // destroy the window under an exchange still running on its thread.
    if (uploading) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

}  // namespace korvex
