// The pure side of reading a controller back: counts, the backup's
// library and the comparison with what the host would send.
#include "model/readback.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <type_traits>

#include "model/library_document.h"
#include "model/memory_map.h"

namespace korvex {

std::optional<CountFault> RefuseCounts(const ConfigRecord &record)
{
    const int pictures = record[cfg::kPictureCount];
    if (pictures > kMaxPictures)
        return CountFault{CountField::PictureCount, pictures, kMaxPictures};
    const int steps = GetWord(record, cfg::kProgramCount);
    if (steps > kMaxProgram)
        return CountFault{CountField::ProgramLength, steps, kMaxProgram};
    return std::nullopt;
}

std::vector<int> UnlistedSteps(const ProgramTable &program, int steps, int pictures)
{
    std::vector<int> out;
    for (int j = 0; j < std::clamp(steps, 0, kMaxProgram); ++j)
        if (!StepIsListed(program[static_cast<size_t>(j)], pictures))
            out.push_back(j);
    return out;
}

void ContentToLibrary(const ControllerContent &content, LibraryData &library)
{
    // Reset in place: a LibraryData{} temporary would put the whole
    // library (about 1 MB) on the stack. Its defaults are all zero.
    static_assert(std::is_trivially_copyable_v<LibraryData>, "a library is plain bytes");
    std::memset(static_cast<void *>(&library), 0, sizeof library);
    const int n = std::min(content.PictureCount(), kMaxPictures);
    const int m = std::min(content.ProgramLength(), kMaxProgram);
    library.pictureCount = n;
    library.programLength = m;
    library.storedPictureCount = static_cast<uint16_t>(n);
    library.storedProgramLength = static_cast<uint16_t>(m);

    const std::vector<std::string> names[2] = {DecodeNameTable(content.nameTables[0], 0),
                                               DecodeNameTable(content.nameTables[1], 1)};
    PictureColours colours{};
    for (int i = 0; i < n; ++i) {
        PictureRecord &rec = library.pictures[static_cast<size_t>(i)];
        for (int b = 0; b < kBlocksPerPicture; ++b) {
            const size_t at = static_cast<size_t>(kBlocksPerPicture * i + b);
            if (at < content.pictureBlocks.size())
                DecodePictureBlock(content.pictureBlocks[at], b, colours);
            else
                std::fill(colours.begin() + kPixelsPerBlock * b,
                          colours.begin() + kPixelsPerBlock * (b + 1), 0u);
        }
        std::memcpy(rec.colours, colours.data(), sizeof rec.colours);
        int table = 0;
        int slot = 0;
        if (NameSlotOf(i, &table, &slot))
            StoreName(rec, names[table][static_cast<size_t>(slot)]);
    }
    DecodeProgramBlock(content.programBlock, m, library.program);
}

namespace {

Difference Values(Difference::Kind kind, int index, int expected, int actual)
{
    Difference d(kind, index);
    d.expected = expected;
    d.actual = actual;
    return d;
}

bool SameStep(const ProgramEntry &a, const ProgramEntry &b)
{
    return a.picture == b.picture && a.effect == b.effect && a.value == b.value;
}

}  // namespace

void Comparison::Record(const ConfigRecord &written, const ConfigRecord &read)
{
    for (size_t k = 0; k < written.size(); ++k)
        if (written[k] != read[k])
            differences_.push_back(
                Values(Difference::Kind::RecordByte, static_cast<int>(k), written[k], read[k]));
}

void Comparison::PictureCount(int expectedPictures, const ConfigRecord &actual)
{
    if (expectedPictures != actual[cfg::kPictureCount])
        differences_.push_back(Values(Difference::Kind::PictureCount, -1, expectedPictures,
                                      actual[cfg::kPictureCount]));
}

void Comparison::PictureBlock(int picture, int quarter, const Block1K &expected,
                              const Block1K &actual)
{
    int differing = 0;
    int first = -1;
    for (int k = 0; k < kPixelsPerBlock; ++k) {
        if (WordAt(expected, k) == WordAt(actual, k))
            continue;
        if (first < 0)
            first = kPixelsPerBlock * quarter + k;
        ++differing;
    }
    if (differing == 0)
        return;
    // The four quarters of a picture make one difference.
    for (Difference &d : differences_) {
        if (d.kind == Difference::Kind::Pixels && d.index == picture) {
            d.pixels += differing;
            d.firstPixel = std::min(d.firstPixel, first);
            return;
        }
    }
    Difference d(Difference::Kind::Pixels);
    d.index = picture;
    d.pixels = differing;
    d.firstPixel = first;
    differences_.push_back(d);
}

void Comparison::NameTable(int table, const Block1K &expected, const Block1K &actual, int pictures)
{
    const std::vector<std::string> want = DecodeNameTable(expected, table);
    const std::vector<std::string> got = DecodeNameTable(actual, table);
    const int first = FirstPictureOfTable(table);
    for (size_t s = 0; s < want.size() && first + static_cast<int>(s) < pictures; ++s) {
        if (want[s] == got[s])
            continue;
        Difference d(Difference::Kind::Name);
        d.index = first + static_cast<int>(s);
        d.expectedName = want[s];
        d.actualName = got[s];
        differences_.push_back(d);
    }
}

void Comparison::ProgramBlock(const Block1K &expected, const Block1K &actual, int steps)
{
    // A picture number is one byte: with 256 pictures held every step is listed.
    ListedProgram(expected, steps, actual, steps, 256);
}

void Comparison::ListedProgram(const Block1K &expected, int expectedSteps, const Block1K &actual,
                               int actualSteps, int actualPictures)
{
    auto want = std::make_unique<ProgramTable>();
    auto got = std::make_unique<ProgramTable>();
    const int m = std::clamp(expectedSteps, 0, kMaxProgram);
    const int held = std::clamp(actualSteps, 0, kMaxProgram);
    DecodeProgramBlock(expected, m, *want);
    DecodeProgramBlock(actual, held, *got);
    const std::vector<int> unlisted = UnlistedSteps(*got, held, actualPictures);
    for (const int j : unlisted) {
        Difference d(Difference::Kind::UnheldPicture, j);
        d.actualStep = (*got)[static_cast<size_t>(j)];
        differences_.push_back(d);
    }
    // The listed steps in turn against the host's, each named by its place
    // in the controller's program.
    int k = 0;
    for (int j = 0; j < held && k < m; ++j) {
        const ProgramEntry &g = (*got)[static_cast<size_t>(j)];
        if (!StepIsListed(g, actualPictures))
            continue;
        const ProgramEntry &w = (*want)[static_cast<size_t>(k++)];
        if (SameStep(w, g))
            continue;
        Difference d(Difference::Kind::Step, j);
        d.expectedStep = w;
        d.actualStep = g;
        differences_.push_back(d);
    }
    const int listed = held - static_cast<int>(unlisted.size());
    if (listed != m)
        differences_.push_back(Values(Difference::Kind::ProgramLength, -1, m, listed));
}

std::vector<Difference> Comparison::Differences() const
{
    std::vector<Difference> out = differences_;
    std::stable_sort(out.begin(), out.end(), [](const Difference &a, const Difference &b) {
        if (a.kind != b.kind)
            return static_cast<int>(a.kind) < static_cast<int>(b.kind);
        return a.index < b.index;
    });
    return out;
}

}  // namespace korvex
