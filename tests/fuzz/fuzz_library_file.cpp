// libFuzzer target: the library file reader. Each input is read twice: as
// a file of its own (mostly short ones), and laid over a complete file,
// its first half at the start and the rest at the program length, so that
// both counts and the records see the fuzzer's bytes. A complete file whose
// counts are not damaged must write back byte for byte.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "model/library_file.h"

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

void CheckListed(const korvex::LibraryData &d)
{
    Check(d.pictureCount >= 0 && d.pictureCount <= korvex::kMaxPictures);
    Check(d.programLength >= 0 && d.programLength <= korvex::kMaxProgram);
    const bool damaged =
        d.storedPictureCount > korvex::kMaxPictures || d.storedProgramLength > korvex::kMaxProgram;
    Check(korvex::FindDamagedCount(d).has_value() == damaged);
    for (const korvex::PictureRecord &r : d.pictures)
        Check(korvex::NameOf(r).size() <= size_t(korvex::kNameField));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Kept across runs: a fresh megabyte each time would cost more than
    // the parse.
    static auto d = std::make_unique<korvex::LibraryData>();
    static std::string image(size_t(korvex::kLibraryFileSize), '\0');
    const bool complete = korvex::ParseLibraryImage(data, size, *d);
    Check(complete == (size >= size_t(korvex::kLibraryFileSize)));
    CheckListed(*d);

    std::memset(&image[0], 0, image.size());
    const size_t head = std::min(size / 2, image.size());
    const size_t tail = std::min(size - size / 2, image.size() - korvex::kProgramLengthOffset);
    std::memcpy(&image[0], data, head);
    std::memcpy(&image[korvex::kProgramLengthOffset], data + size / 2, tail);
    Check(korvex::ParseLibraryImage(reinterpret_cast<const uint8_t *>(image.data()), image.size(),
                                    *d));
    CheckListed(*d);
    if (!korvex::FindDamagedCount(*d)) {
        const bool listedAsStored =
            d->pictureCount == d->storedPictureCount && d->programLength == d->storedProgramLength;
        Check(listedAsStored);
        Check(korvex::SerialiseLibrary(*d) == image);
    }
    return 0;
}
