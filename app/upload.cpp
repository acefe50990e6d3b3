// The picture upload and the program upload: one self-contained exchange
// each, in a fixed order. The port is closed whatever happened, a failed
// step skips every later command, and nothing is retried here.
#include "app/upload.h"

#include "link/korvex_api.h"
#include "model/encoders.h"
#include "model/line.h"

namespace korvex {

namespace {

constexpr int kTablesPage = 127;
constexpr int kNameTable0Block = 0;
constexpr int kNameTable1Block = 1;
constexpr int kProgramBlock = 2;

}  // namespace

UploadResult SendPictures(const PictureTable &pictures, int n, int port, const ProgressFn &progress)
{
    UploadResult result;
    // Never send more pages than the library holds.
    if (n < 0)
        n = 0;
    if (n > kMaxPictures)
        n = kMaxPictures;
    result.count = n;
    int position = 0;

    bool ok = ComInitial(port, kBaud) != 0;
    ConfigRecord scratch{};
    if (ok)
        ok = ReadConfigRecord(scratch);
    scratch[cfg::kPictureCount] = static_cast<uint8_t>(n);
    // The record carries the new count before the first picture block.
    if (ok)
        ok = WriteConfigRecord(scratch);
    for (int i = 0; i < n && ok; ++i) {
        for (int b = 0; b < 4 && ok; ++b) {
            // One block buffer, filled and sent before the next is filled.
            const Block1K block = EncodePictureBlock(pictures[i], b);
            ok = Write1KData_Ex(i, b, block.data()) != 0;
            ++position;
            if (progress)
                progress(position);
        }
    }
    if (ok) {
        const Block1K names = EncodeNameTable(pictures, 0);
        ok = Write1KData(kTablesPage, kNameTable0Block, names.data()) != 0;
    }
    if (ok) {
        const Block1K names = EncodeNameTable(pictures, 1);
        ok = Write1KData(kTablesPage, kNameTable1Block, names.data()) != 0;
    }
    if (ok)
        ok = ResetCard() != 0;
    ComClose();
    result.ok = ok;
    return result;
}

UploadResult SendProgram(const ProgramTable &program, int m, int port)
{
    UploadResult result;
    if (m < 0)
        m = 0;
    if (m > kMaxProgram)
        m = kMaxProgram;
    result.count = m;

    bool ok = ComInitial(port, kBaud) != 0;
    ConfigRecord scratch{};
    if (ok)
        ok = ReadConfigRecord(scratch);
    SetWord(scratch, cfg::kProgramCount, static_cast<uint16_t>(m));
    if (ok)
        ok = WriteConfigRecord(scratch);
    const Block1K block = EncodeProgramBlock(program, m);
    if (ok)
        ok = Write1KData(kTablesPage, kProgramBlock, block.data()) != 0;
    if (ok)
        ok = ResetCard() != 0;
    ComClose();
    result.ok = ok;
    return result;
}

void RecordPictureCount(ConfigRecord &host, int n)
{
    host[cfg::kPictureCount] = static_cast<uint8_t>(n);
}

void RecordProgramLength(ConfigRecord &host, int m)
{
    SetWord(host, cfg::kProgramCount, static_cast<uint16_t>(m));
}

}  // namespace korvex
