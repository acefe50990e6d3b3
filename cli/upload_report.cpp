// The report of an unfinished upload, from the step where it ended.
#include "cli/upload_report.h"

#include <cstdio>
#include <string>

#include "app/picture_numbers.h"
#include "cli/cli.h"
#include "cli/port_choice.h"
#include "cli/readback_report.h"
#include "model/memory_map.h"

namespace korvex::cli {

namespace {

// The command of `step`, as a clause after "failed at" or "before".
std::string StepText(UploadStep step, UploadKind kind)
{
    switch (step) {
    case UploadStep::Open: return "opening the port";
    case UploadStep::RecordRead: return "reading the controller's record";
    case UploadStep::RecordWrite:
        return kind == UploadKind::Pictures ? "writing the picture count into the record"
                                            : "writing the program length into the record";
    case UploadStep::PictureBlock: return "a picture block";
    case UploadStep::NameTable1: return "writing name table 1";
    case UploadStep::NameTable2: return "writing name table 2";
    case UploadStep::ProgramBlock: return "writing the program block";
    case UploadStep::ReadBack: return "reading back what was written";
    case UploadStep::Restart: return "sending the restart";
    case UploadStep::Done: break;
    }
    return "the end";
}

// "picture 5" or "pictures 1-3, 7".
std::string Pictures(const std::vector<int> &pictures)
{
    return (pictures.size() == 1 ? "picture " : "pictures ") + PictureNumbers(pictures);
}

// The block where a picture upload ended, 1-based among its blocks, with
// its picture's number.
std::string BlockText(const UploadResult &r, int block)
{
    return "block " + std::to_string(block + 1) + " of " + std::to_string(r.Blocks()) +
           " (picture " +
           std::to_string(r.pages[static_cast<size_t>(block / kBlocksPerPicture)] + 1) + ")";
}

void Line(const std::string &text)
{
    std::fprintf(stderr, "  %s\n", text.c_str());
}

void WhereItEnded(UploadKind kind, const UploadResult &r, int port)
{
    const std::string what =
        kind == UploadKind::Pictures ? "sending pictures" : "sending the program";
    if (r.stopped) {
        if (r.step == UploadStep::PictureBlock && r.blocksWritten > 0)
            Error(what + " interrupted: stopped once " + BlockText(r, r.blocksWritten - 1) +
                  ", the block in flight, was written");
        else
            Error(what + " interrupted: stopped before " + StepText(r.step, kind));
        return;
    }
    if (r.step == UploadStep::ReadBack) {
        if (r.check.end == ReadEnd::Done) {
            Error(what + ": the controller acknowledged every block, but reading them back "
                         "shows it does not hold what was sent:");
            for (const Difference &d : r.check.differences)
                Line(DifferenceLine(d));
        } else {
            Error(what + " failed at " + StepText(r.step, kind) + ": " +
                  ReadEndText(r.check.end, r.check.where, std::nullopt, port));
        }
        return;
    }
    const std::string why = WhyExchangeFailed(port);
    if (r.step == UploadStep::Open)
        Error(what + " failed: " + why);
    else if (r.step == UploadStep::PictureBlock)
        Error(what + " failed at " + BlockText(r, r.blocksWritten) +
              ": its write was not acknowledged; " + why);
    else
        Error(what + " failed at " + StepText(r.step, kind) + ": " + why);
}

void PicturesHeld(const UploadResult &r)
{
    Line("picture count: " + std::to_string(r.count) + ", written before the first block");
    const std::vector<int> complete = r.CompletePictures();
    Line("complete: " + (complete.empty() ? std::string("none") : Pictures(complete)));
    int acknowledged = 0;
    const int partial = r.PartialPicture(&acknowledged);
    if (partial >= 0) {
        std::string text = "partial: picture " + std::to_string(partial + 1) + ", " +
                           std::to_string(acknowledged) + " of " +
                           std::to_string(kBlocksPerPicture) + " blocks written";
        if (r.Left(UploadStep::PictureBlock) == Held::Unsure)
            text += " and block " + std::to_string(acknowledged + 1) + " perhaps in part";
        Line(text + "; the rest is what it held before");
    }
    const std::vector<int> unsent = r.UnsentPictures();
    if (!unsent.empty())
        Line("not sent: " + Pictures(unsent) + ", as it held them before");
    if (r.Left(UploadStep::NameTable2) == Held::Written)
        Line("both name tables written");
    else if (r.Left(UploadStep::NameTable1) == Held::Written)
        Line("name table 1 written; name table 2 not: the names of pictures 65-120 are as before");
    else
        Line("name tables not written: the names are as before");
}

void ProgramHeld(const UploadResult &r)
{
    Line("program length: " + std::to_string(r.count) + ", written");
    const Held steps = r.Left(UploadStep::ProgramBlock);
    if (steps == Held::Written)
        Line("program steps: written");
    else if (steps == Held::Unsure)
        Line("program steps: not confirmed, perhaps written in part");
    else
        Line("program steps: not written, as it held them before");
}

}  // namespace

void ReportUnfinishedUpload(UploadKind kind, const UploadResult &r, int port)
{
    WhereItEnded(kind, r, port);
    std::fprintf(stderr, "the controller now holds:\n");
    const Held record = r.Left(UploadStep::RecordWrite);
    if (record != Held::Written) {
        if (record == Held::Unsure)
            Line("its record with the old or the new count: the write was not confirmed; "
                 "nothing else was sent");
        else
            Line("what it held before: nothing was written");
    } else {
        if (kind == UploadKind::Pictures)
            PicturesHeld(r);
        else
            ProgramHeld(r);
    }
    if (!r.Confirmed(UploadStep::Restart))
        Line("no restart was sent");
    std::fprintf(stderr, "sending the %s again completes it.\n",
                 kind == UploadKind::Pictures ? "same pictures" : "program");
}

}  // namespace korvex::cli
