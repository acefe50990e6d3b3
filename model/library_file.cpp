// The picture library file's bytes: explicit little-endian serialisation
// and its parse, and the name field of a picture record. Reading and
// writing the file is library_file_posix.cpp or library_file_win.cpp.
#include "model/library_file.h"

#include <algorithm>
#include <cstring>

namespace korvex {

namespace {

void PutU16(std::string &out, size_t at, uint16_t v)
{
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>(v >> 8);
}

uint16_t GetU16(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void PutRecord(std::string &out, size_t at, const PictureRecord &rec)
{
    for (int k = 0; k < kColours; ++k) {
        const uint32_t c = rec.colours[k];
        for (int i = 0; i < 4; ++i)
            out[at + 4 * k + i] = static_cast<char>((c >> (8 * i)) & 0xFF);
    }
    size_t p = at + 4 * kColours;
    out[p++] = static_cast<char>(rec.nameLength);
    for (int i = 0; i < kNameField; ++i)
        out[p++] = rec.name[i];
    out[p] = static_cast<char>(rec.reserved);
}

void GetRecord(const uint8_t *p, PictureRecord &rec)
{
    for (int k = 0; k < kColours; ++k) {
        const uint8_t *c = p + 4 * k;
        rec.colours[k] = uint32_t(c[0]) | (uint32_t(c[1]) << 8) | (uint32_t(c[2]) << 16) |
                         (uint32_t(c[3]) << 24);
    }
    p += 4 * kColours;
    rec.nameLength = *p++;
    std::memcpy(rec.name, p, kNameField);
    p += kNameField;
    rec.reserved = *p;
}

// A stored count as the reader lists it: a negative 16-bit value lists
// nothing, a value above the table is cut to the table's size.
int ListedCount(uint16_t stored, int max, bool &clamped)
{
    const int v = static_cast<int16_t>(stored);
    if (v < 0)
        return 0;
    if (v > max) {
        clamped = true;
        return max;
    }
    return v;
}

}  // namespace

std::optional<CountFault> FindDamagedCount(const LibraryData &data)
{
    if (data.storedPictureCount > kMaxPictures)
        return CountFault{CountField::PictureCount, data.storedPictureCount, kMaxPictures};
    if (data.storedProgramLength > kMaxProgram)
        return CountFault{CountField::ProgramLength, data.storedProgramLength, kMaxProgram};
    return std::nullopt;
}

std::string SerialiseLibrary(const LibraryData &data)
{
    std::string out(static_cast<size_t>(kLibraryFileSize), '\0');
    const int pictures = std::clamp(data.pictureCount, 0, kMaxPictures);
    const int program = std::clamp(data.programLength, 0, kMaxProgram);
    PutU16(out, 0, static_cast<uint16_t>(pictures));
    for (int i = 0; i < kMaxPictures; ++i)
        PutRecord(out, kPictureRecordsOffset + i * kPictureRecordSize, data.pictures[i]);
    PutU16(out, kProgramLengthOffset, static_cast<uint16_t>(program));
    for (int e = 0; e < kMaxProgram; ++e) {
        const size_t at = kProgramEntriesOffset + 3 * e;
        out[at] = static_cast<char>(data.program[e].picture);
        out[at + 1] = static_cast<char>(data.program[e].effect);
        out[at + 2] = static_cast<char>(data.program[e].value);
    }
    return out;
}

// Parses in file order, as far as the bytes go: the picture count, the
// records, the program length, the entries. Each part is taken only when
// it is complete.
bool ParseLibraryImage(const uint8_t *bytes, size_t size, LibraryData &data)
{
    data.countsClamped = false;
    data.storedPictureCount = data.storedProgramLength = 0;
    if (size < 2)
        return false;
    data.storedPictureCount = GetU16(bytes);
    data.pictureCount = ListedCount(data.storedPictureCount, kMaxPictures, data.countsClamped);
    for (int i = 0; i < kMaxPictures; ++i) {
        const size_t at = kPictureRecordsOffset + size_t(i) * kPictureRecordSize;
        if (at + kPictureRecordSize > size)
            return false;
        GetRecord(bytes + at, data.pictures[i]);
    }
    if (size < size_t(kProgramEntriesOffset))
        return false;
    data.storedProgramLength = GetU16(bytes + kProgramLengthOffset);
    data.programLength = ListedCount(data.storedProgramLength, kMaxProgram, data.countsClamped);
    for (int e = 0; e < kMaxProgram; ++e) {
        const size_t at = kProgramEntriesOffset + 3 * size_t(e);
        if (at + 3 > size)
            return false;
        data.program[e] = ProgramEntry{bytes[at], bytes[at + 1], bytes[at + 2]};
    }
    return true;
}

bool TakeLibraryImage(const std::string &image, size_t got, const std::string &readFailure,
                      LibraryData &data, std::string &error)
{
    const bool complete =
        ParseLibraryImage(reinterpret_cast<const uint8_t *>(image.data()), got, data);
    if (!readFailure.empty()) {
        error = readFailure;
        return false;
    }
    if (!complete) {
        error = "Read beyond end of file";
        return false;
    }
    return true;
}

void StoreName(PictureRecord &record, const std::string &gbk)
{
    const size_t n = std::min(gbk.size(), size_t(kNameField));
    record.nameLength = static_cast<uint8_t>(n);
    std::memcpy(record.name, gbk.data(), n);
}

std::string NameOf(const PictureRecord &record)
{
    const size_t n = std::min<size_t>(record.nameLength, kNameField);
    return std::string(record.name, n);
}

}  // namespace korvex
