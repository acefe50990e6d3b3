// libFuzzer target: a backup of whatever a controller returns. The first
// 1024 bytes of the input (zero-padded) are page 127 block 3, the record's
// block. The bytes after it fill, in this order, name table 0, name table
// 1, the program block and then the 4 * n picture blocks, wrapping around
// to the start of those bytes as often as needed, so that short inputs
// reach every table and any picture count (zero when nothing follows the
// record). The content then takes the backup's path: the count check, the
// library, its file image, the image parsed again and the document loaded
// from it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "model/config_record.h"
#include "model/library_document.h"
#include "model/library_file.h"
#include "model/memory_map.h"
#include "model/readback.h"

namespace {

using namespace korvex;

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

// Fills `block` from `tail` starting at stream position `at`, wrapping around.
void FillBlock(Block1K &block, const uint8_t *tail, size_t size, size_t at)
{
    if (size == 0) {
        block.fill(0);
        return;
    }
    for (size_t k = 0; k < block.size();) {
        const size_t from = (at + k) % size;
        const size_t n = std::min(block.size() - k, size - from);
        std::memcpy(block.data() + k, tail + from, n);
        k += n;
    }
}

std::string SameText(const std::string &gbk)
{
    return gbk;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Kept across runs: the tables are a megabyte each.
    static auto content = std::make_unique<ControllerContent>();
    static auto library = std::make_unique<LibraryData>();
    static auto parsed = std::make_unique<LibraryData>();
    static auto doc = std::make_unique<LibraryDocument>(&SameText);

    Block1K recordBlock{};
    std::memcpy(recordBlock.data(), data, std::min(size, recordBlock.size()));
    content->record = RecordFromBlock(recordBlock.data());
    const int n = recordBlock[kRecordOffset + cfg::kPictureCount];
    const int m = recordBlock[kRecordOffset + cfg::kProgramCount] << 8 |
                  recordBlock[kRecordOffset + cfg::kProgramCount + 1];
    Check(content->PictureCount() == n && content->ProgramLength() == m);

    const auto refusal = RefuseCounts(content->record);
    Check(refusal.has_value() == (n > kMaxPictures || m > kMaxProgram));
    if (refusal) {
        const bool pictures = n > kMaxPictures;
        Check(refusal->field == (pictures ? CountField::PictureCount : CountField::ProgramLength));
        Check(refusal->value == (pictures ? n : m));
        Check(refusal->limit == (pictures ? kMaxPictures : kMaxProgram));
        return 0;
    }

    const uint8_t *tail = data + std::min(size, recordBlock.size());
    const size_t tailSize = size - std::min(size, recordBlock.size());
    size_t at = 0;
    for (Block1K &table : content->nameTables) {
        FillBlock(table, tail, tailSize, at);
        at += table.size();
    }
    FillBlock(content->programBlock, tail, tailSize, at);
    at += content->programBlock.size();
    content->pictureBlocks.resize(static_cast<size_t>(kBlocksPerPicture * n));
    for (Block1K &block : content->pictureBlocks) {
        FillBlock(block, tail, tailSize, at);
        at += block.size();
    }

    ContentToLibrary(*content, *library);
    const std::string image = SerialiseLibrary(*library);
    Check(image.size() == size_t(kLibraryFileSize));
    Check(
        ParseLibraryImage(reinterpret_cast<const uint8_t *>(image.data()), image.size(), *parsed));
    Check(!FindDamagedCount(*parsed));
    Check(parsed->pictureCount == n && parsed->storedPictureCount == n);
    Check(parsed->programLength == m && parsed->storedProgramLength == m);
    Check(!parsed->countsClamped);
    for (const PictureRecord &r : parsed->pictures)
        Check(NameOf(r).size() <= size_t(kNameSlotSize));

    doc->Load(*parsed);
    Check(doc->PictureCount() == n);
    return 0;
}
