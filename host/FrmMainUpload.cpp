// The main window's uploads: the picture and program Send buttons, the
// picture list's menu that sends the selected picture only or what changed
// since the controller's last upload, and the close request that is refused
// while an upload or a read runs.
#include <QAction>
#include <QCloseEvent>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStringList>

#include "app/changed_upload.h"
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

// Why a changed upload sent every picture, as the success box's detail.
QString FullUploadDetail(FullReason reason)
{
    switch (reason) {
    case FullReason::None: break;
    case FullReason::NoTag: return QStringLiteral("控制卡上次由其他程序写入，已发送全部图形。");
    case FullReason::Untracked:
        return QStringLiteral("控制卡上次只发送了选中的图形，本机不知道其余内容，已发送全部图形。");
    case FullReason::NoRecord:
        return QStringLiteral("本机没有控制卡上次发送的记录，已发送全部图形。");
    case FullReason::DamagedRecord: return QStringLiteral("上次发送的记录已损坏，已发送全部图形。");
    case FullReason::DigestMismatch:
        return QStringLiteral("上次发送的记录与控制卡中的内容不符，已发送全部图形。");
    case FullReason::CountMismatch:
        return QStringLiteral("控制卡中的图形数与上次发送的记录不符，已发送全部图形。");
    }
    return QString();
}

// What a changed upload sent, for its success box.
QString ChangedDetail(const ChangedPlan &plan)
{
    if (plan.full)
        return FullUploadDetail(plan.reason);
    if (plan.Nothing())
        return QStringLiteral("图形与控制卡中的相同，未发送任何数据。");
    if (plan.pages.empty())
        return QStringLiteral("只发送了图形数和图形名表。");
    return QStringLiteral("只发送了修改的图形：%1").arg(Numbers(plan.pages));
}

// A picture upload of `blocks` blocks, run by `send` with the exchange (its
// bar's progress, the pause between commands), then its message box, with
// `successDetail` (which `send` may fill) under a success. The full upload,
// the upload of the selected picture and the changed upload differ only in
// what `send` sends.
void RunPictureUpload(TFormMain *form, int blocks,
                      const std::function<UploadResult(ExchangeRun &)> &send,
                      const QString *successDetail = nullptr)
{
    const UploadResult result = RunExchange(form, form->PrgBar, blocks, send);
    if (result.ok) {
        ShowMessage(form, kPictCaption, QStringLiteral("      发送图形成功   "), MsgIcon::None,
                    successDetail ? *successDetail : QString());
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
    RunPictureUpload(this, n * 4, [&](ExchangeRun &run) {
        return SendPictures(doc.Pictures(), n, PortNumber(), run.Progress(), run.Pause());
    });
}

// The list's menu offers the send of the selected picture when the Send
// button could send the library and a picture is selected, and the send of
// what changed, the read and the check of the controller whenever the Send
// button could send.
void TFormMain::PictListPopup(const QPoint &pos)
{
    MnuSendSelected->setEnabled(BtnSendPict->isEnabled() && SelectedRow(PictList) >= 0);
    MnuSendChanged->setEnabled(BtnSendPict->isEnabled());
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
    RunPictureUpload(this, 4, [&](ExchangeRun &run) {
        return SendChosenPictures(doc.Pictures(), n, {selected}, PortNumber(), run.Progress(),
                                  run.Pause());
    });
}

// Sends what differs from the controller's last upload, or everything when
// the controller cannot be trusted; the bar's total is known once the
// controller's record and tag have been read.
void TFormMain::MnuSendChangedClick()
{
    const int n = doc.PictureCount();
    QString detail;
    RunPictureUpload(
        this, 0,
        [&](ExchangeRun &run) {
            ChangedOptions options;
            options.onPlan = [&](const ChangedPlan &plan) {
                detail = ChangedDetail(plan);
                run.SetTotal(plan.Blocks());
            };
            return SendChangedPictures(doc.Pictures(), n, PortNumber(), run.Progress(), run.Pause(),
                                       options)
                .upload;
        },
        &detail);
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
