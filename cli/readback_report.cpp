// The read-back's report lines.
#include "cli/readback_report.h"

#include <cstdio>

#include "app/gbk_text.h"
#include "cli/port_choice.h"
#include "model/effects.h"

namespace korvex::cli {

namespace {

std::string Address(BlockAddress at)
{
    return "page " + std::to_string(at.page) + " block " + std::to_string(at.block);
}

std::string Step(const ProgramEntry &e)
{
    return "picture " + std::to_string(e.picture + 1) + ", " + EffectText(e.effect) + ", " +
           std::to_string(e.value);
}

std::string Hex(int byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(byte & 0xFF));
    return text;
}

std::string Quoted(const std::string &gbk)
{
    return "\"" + GbkToUtf8(gbk) + "\"";
}

}  // namespace

std::string BlockText(BlockAddress at)
{
    if (at.page < kTablesPage)
        return "picture " + std::to_string(at.page + 1) + ", block " +
               std::to_string(at.block + 1) + " (" + Address(at) + ")";
    switch (at.block) {
    case kNameTable1Block: return "name table 1 (" + Address(at) + ")";
    case kNameTable2Block: return "name table 2 (" + Address(at) + ")";
    case kProgramBlock: return "the program block (" + Address(at) + ")";
    default: return "the configuration record (" + Address(at) + ")";
    }
}

std::string ReadEndText(ReadEnd end, BlockAddress where, const std::optional<CountFault> &refusal,
                        int port)
{
    switch (end) {
    case ReadEnd::OpenFailed: return WhyExchangeFailed(port);
    case ReadEnd::NoReply:
        return "no complete reply to the read of " + BlockText(where) + "; " +
               WhyExchangeFailed(port);
    case ReadEnd::Disagreed:
        return "three reads of " + BlockText(where) +
               " gave three different blocks: the line is garbling the replies";
    case ReadEnd::Stopped:
        if (where.page < 0)
            return "stopped after the last block was read";
        return "stopped before " + BlockText(where);
    case ReadEnd::CountsRefused:
        if (refusal)
            return "the controller's record gives a " +
                   std::string(CountFieldName(refusal->field)) + " of " +
                   std::to_string(refusal->value) + ", above " + std::to_string(refusal->limit) +
                   "; nothing more was read";
        break;
    case ReadEnd::Done: break;
    }
    return "done";
}

std::string DifferenceLine(const Difference &d)
{
    const std::string held = "the controller holds ";
    switch (d.kind) {
    case Difference::Kind::RecordByte:
        return "record byte " + std::to_string(d.index) + ": written " + Hex(d.expected) +
               ", read " + Hex(d.actual);
    case Difference::Kind::PictureCount:
        return "picture count differs: " + held + std::to_string(d.actual) + ", the library " +
               std::to_string(d.expected);
    case Difference::Kind::ProgramLength:
        return "program length differs: " + held + std::to_string(d.actual) + ", the library " +
               std::to_string(d.expected);
    case Difference::Kind::Pixels:
        return "picture " + std::to_string(d.index + 1) + ": " + std::to_string(d.pixels) +
               " of 2048 pixels differ, first at pixel " + std::to_string(d.firstPixel);
    case Difference::Kind::Name:
        return "name of picture " + std::to_string(d.index + 1) + " differs: " + held +
               Quoted(d.actualName) + ", the library " + Quoted(d.expectedName);
    case Difference::Kind::UnheldPicture:
        return "program step " + std::to_string(d.index + 1) + " names picture " +
               std::to_string(d.actualStep.picture + 1) + ", which the controller does not hold";
    case Difference::Kind::Step:
        return "program step " + std::to_string(d.index + 1) + " differs: " + held +
               Step(d.actualStep) + "; the library " + Step(d.expectedStep);
    }
    return std::string();
}

void PrintDifferences(const std::vector<Difference> &differences)
{
    for (const Difference &d : differences)
        std::printf("%s\n", DifferenceLine(d).c_str());
}

}  // namespace korvex::cli
