// The library document's operations, in the order of steps the pages take.
#include "model/library_document.h"

#include <algorithm>
#include <cstring>

#include "model/effects.h"
#include "model/labels.h"

namespace korvex {

namespace {

// Drops the last two characters of a UTF-8 text (every effect text is two
// characters long).
std::string DropLastTwoCharacters(std::string text)
{
    for (int n = 0; n < 2 && !text.empty(); ++n) {
        size_t end = text.size() - 1;
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end;
        text.resize(end);
    }
    return text;
}

void StoreColours(PictureRecord &record, const PictureColours &colours)
{
    std::copy(colours.begin(), colours.end(), record.colours);
}

}  // namespace

LibraryDocument::LibraryDocument(NameDecoder decode) : decode_(decode) {}

std::string LibraryDocument::PictureName(int i) const
{
    return decode_(NameOf(Picture(i)));
}

std::string LibraryDocument::MakePictureLabel(int i) const
{
    return korvex::PictureLabel(i + 1, PictureName(i));
}

void LibraryDocument::Load(const LibraryData &data)
{
    pictures_ = data.pictures;
    program_ = data.program;
    pictureLabels_.clear();
    stepLabels_.clear();
    const int count = std::clamp(data.pictureCount, 0, kMaxPictures);
    for (int i = 0; i < count; ++i)
        pictureLabels_.push_back(MakePictureLabel(i));
    RebuildProgram(data.programLength);
}

void LibraryDocument::Store(LibraryData &data) const
{
    data.pictures = pictures_;
    data.program = program_;
    data.pictureCount = PictureCount();
    data.programLength = ProgramLength();
}

int LibraryDocument::NewPicture(const PictureColours &colours, const std::string &gbkName)
{
    if (PicturesFull())
        return -1;
    const int i = PictureCount();
    StoreColours(pictures_[static_cast<size_t>(i)], colours);
    StoreName(pictures_[static_cast<size_t>(i)], gbkName);
    pictureLabels_.push_back(MakePictureLabel(i));
    return i;
}

void LibraryDocument::ReplacePicture(int p, const PictureColours &colours,
                                     const std::string &gbkName)
{
    StoreColours(pictures_[static_cast<size_t>(p)], colours);
    StoreName(pictures_[static_cast<size_t>(p)], gbkName);
    pictureLabels_[static_cast<size_t>(p)] = MakePictureLabel(p);
    RebuildProgram(ProgramLength());
}

void LibraryDocument::RenamePicture(int r, const std::string &gbkName)
{
    StoreName(pictures_[static_cast<size_t>(r)], gbkName);
    pictureLabels_[static_cast<size_t>(r)] = MakePictureLabel(r);
    RebuildProgram(ProgramLength());
}

void LibraryDocument::DeletePicture(int d)
{
    const int count = PictureCount();
    // The record past the new end keeps its bytes; nothing lists it.
    for (int k = d; k + 1 < count; ++k)
        std::memcpy(&pictures_[static_cast<size_t>(k)], &pictures_[static_cast<size_t>(k + 1)],
                    sizeof(PictureRecord));
    pictureLabels_.erase(pictureLabels_.begin() + d);
    for (int k = d; k < PictureCount(); ++k)
        pictureLabels_[static_cast<size_t>(k)] = MakePictureLabel(k);
    RebuildProgram(ProgramLength());
}

void LibraryDocument::RebuildProgram(int n)
{
    n = std::clamp(n, 0, kMaxProgram);
    const int pictureCount = PictureCount();
    std::vector<std::string> labels;
    int shown = 0;
    for (int i = 0; i < n; ++i) {
        const ProgramEntry entry = program_[static_cast<size_t>(i)];
        if (!StepIsListed(entry, pictureCount))
            continue;
        program_[static_cast<size_t>(shown)] = entry;
        labels.push_back(
            korvex::StepLabel(shown + 1, PictureName(entry.picture), EffectText(entry.effect)));
        ++shown;
    }
    stepLabels_.swap(labels);
}

int LibraryDocument::AddStep(int picture, int effect, int value)
{
    if (ProgramFull())
        return -1;
    const int s = ProgramLength();
    program_[static_cast<size_t>(s)] = {static_cast<uint8_t>(picture), static_cast<uint8_t>(effect),
                                        static_cast<uint8_t>(value)};
    stepLabels_.push_back(PictureLabel(picture) + " - " + EffectText(effect));
    return s;
}

void LibraryDocument::ChangeStep(int s, int effect, int value)
{
    ProgramEntry &entry = program_[static_cast<size_t>(s)];
    if (effect >= 0)
        entry.effect = static_cast<uint8_t>(effect);
    entry.value = static_cast<uint8_t>(value);
    std::string &label = stepLabels_[static_cast<size_t>(s)];
    label = DropLastTwoCharacters(label) + EffectText(entry.effect);
}

void LibraryDocument::DeleteStep(int s)
{
    const int length = ProgramLength();
    for (int k = s; k + 1 < length; ++k)
        program_[static_cast<size_t>(k)] = program_[static_cast<size_t>(k + 1)];
    stepLabels_.erase(stepLabels_.begin() + s);
}

}  // namespace korvex
