// Reading the controller back from the picture list's menu: "从控制卡读取"
// replaces the document with what the controller holds (saved only by the
// Save buttons), "与控制卡核对" compares the controller with the document.
// Both read with the bar as the uploads do.
#include <QAction>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>
#include <memory>

#include "app/controller_read.h"
#include "app/port_diagnosis.h"
#include "host/FrmMain.h"
#include "host/MessageBox.h"
#include "host/exchange_run.h"
#include "model/readback.h"

namespace korvex {

namespace {

const QString kReadCaption = QStringLiteral("读取控制卡");
const QString kCheckCaption = QStringLiteral("核对控制卡");
const QString kReadFailed = QStringLiteral("读取失败");

// A block of controller memory as the operator knows it. Picture i fills
// page i; page and block are also given as numbered in memory.
QString BlockText(BlockAddress at)
{
    if (at.page != kTablesPage)
        return QStringLiteral("图形 %1 第 %2 块（第 %3 页第 %4 块）")
            .arg(at.page + 1)
            .arg(at.block + 1)
            .arg(at.page)
            .arg(at.block);
    switch (at.block) {
    case kNameTable1Block: return QStringLiteral("图形名表 1");
    case kNameTable2Block: return QStringLiteral("图形名表 2");
    case kProgramBlock: return QStringLiteral("节目表");
    default: break;
    }
    return QStringLiteral("配置记录");
}

// The failure box's detailed text: where the read ended and why.
QString ReadFailure(const ReadResult &r, int port)
{
    // The port's device and the cause, as the settings page tells them
    // after a failed connection check.
    const auto portCause = [port] { return PortStatusTip(port, false, link::ListSerialDevices()); };
    const QString where = r.where.page < 0
                              ? QString()
                              : QStringLiteral("停在：") + BlockText(r.where) + QLatin1Char('\n');
    switch (r.end) {
    case ReadEnd::OpenFailed: return QStringLiteral("打开串口失败\n") + portCause();
    case ReadEnd::NoReply: return where + portCause();
    case ReadEnd::Disagreed:
        return where + QStringLiteral("原因：三次读取中没有两次一致（线路可能受到干扰）");
    case ReadEnd::CountsRefused:
        if (r.refusal) {
            const bool pictures = r.refusal->field == CountField::PictureCount;
            return where +
                   QStringLiteral("原因：控制卡的%1为 %2，超过 %3")
                       .arg(pictures ? QStringLiteral("图形数") : QStringLiteral("节目步数"))
                       .arg(r.refusal->value)
                       .arg(r.refusal->limit);
        }
        break;
    case ReadEnd::Stopped: return where + QStringLiteral("原因：读取被中止");
    case ReadEnd::Done: break;
    }
    return where;
}

// The read's detailed text when the library will not list every step of
// the controller's program: which steps name pictures it does not hold and
// how many the library lists. Empty when it lists them all.
QString UnlistedStepsText(const LibraryData &data)
{
    const std::vector<int> steps =
        UnlistedSteps(data.program, data.programLength, data.pictureCount);
    if (steps.empty())
        return QString();
    QStringList numbers;
    for (const int j : steps)
        numbers << QString::number(j + 1);
    return QStringLiteral("节目第 %1 步所用的图形不在控制卡中，图形库只列出 %2 步中的 %3 步")
        .arg(numbers.join(QStringLiteral("、")))
        .arg(data.programLength)
        .arg(data.programLength - static_cast<int>(steps.size()));
}

// One line of the check's detailed text, numbers counted from 1.
QString DifferenceText(const Difference &d)
{
    switch (d.kind) {
    case Difference::Kind::PictureCount:
        return QStringLiteral("图形数：控制卡 %1，图形库 %2").arg(d.actual).arg(d.expected);
    case Difference::Kind::ProgramLength:
        return QStringLiteral("节目步数：控制卡 %1，图形库 %2").arg(d.actual).arg(d.expected);
    case Difference::Kind::Pixels:
        return QStringLiteral("图形 %1：%2 个点中有 %3 个不同，第一个在第 %4 点")
            .arg(d.index + 1)
            .arg(kColours)
            .arg(d.pixels)
            .arg(d.firstPixel + 1);
    case Difference::Kind::Name: return QStringLiteral("图形 %1 的名字不同").arg(d.index + 1);
    case Difference::Kind::Step: return QStringLiteral("第 %1 步不同").arg(d.index + 1);
    case Difference::Kind::UnheldPicture:
        return QStringLiteral("第 %1 步所用的图形 %2 不在控制卡中")
            .arg(d.index + 1)
            .arg(d.actualStep.picture + 1);
    case Difference::Kind::RecordByte: break;  // only a checked upload compares the record
    }
    return QString();
}

}  // namespace

void TFormMain::MnuReadCardClick()
{
    if ((BtnSavePict->isEnabled() || BtnSaveProgList->isEnabled()) &&
        !AskQuestion(this, kReadCaption,
                     QStringLiteral("图形库和节目表有未保存的修改，读取后将被控制卡中的内容替换。"
                                    "是否继续？")))
        return;

    const ReadResult result = RunExchange(this, PrgBar, 1, [&](ExchangeRun &run) {
        return ReadController(PortNumber(), ReadMode::Careful, run.ReadProgress(), run.Pause());
    });
    if (!result.ok) {
        ShowMessage(this, kReadCaption, kReadFailed, MsgIcon::Error,
                    ReadFailure(result, PortNumber()));
        return;
    }

    // The controller's content becomes the document, listed as at start-up;
    // it reaches the library file only through Save.
    auto data = std::make_unique<LibraryData>();
    ContentToLibrary(result.content, *data);
    const QString unlisted = UnlistedStepsText(*data);
    doc.Load(*data);
    ListLibrary();
    // What the previous library left selected and enabled follows the new
    // one (the rebuild does that only for a library with pictures).
    if (doc.PictureCount() == 0)
        PictListClick();
    nProgListClick();
    BtnNew->setEnabled(true);

    picturesDirty = true;
    programDirty = true;
    BtnSavePict->setEnabled(true);
    BtnSaveProgList->setEnabled(true);
    ShowMessage(this, kReadCaption, QStringLiteral("读取成功"), MsgIcon::None, unlisted);
}

void TFormMain::MnuCheckCardClick()
{
    const VerifyResult result = RunExchange(this, PrgBar, 1, [&](ExchangeRun &run) {
        return VerifyController(doc.Pictures(), doc.PictureCount(), doc.Program(),
                                doc.ProgramLength(), PortNumber(), run.ReadProgress(), run.Pause());
    });
    if (!result.read.ok) {
        ShowMessage(this, kCheckCaption, kReadFailed, MsgIcon::Error,
                    ReadFailure(result.read, PortNumber()));
        return;
    }
    if (result.differences.empty()) {
        ShowMessage(this, kCheckCaption, QStringLiteral("控制卡内容与图形库一致"), MsgIcon::None);
        return;
    }
    QStringList lines;
    for (const Difference &d : result.differences)
        lines << DifferenceText(d);
    ShowMessage(this, kCheckCaption, QStringLiteral("控制卡内容与图形库不一致"), MsgIcon::Warning,
                lines.join(QLatin1Char('\n')));
}

}  // namespace korvex
