// The library document: the pictures and the program the operator edits,
// their counts and the labels their lists show, with every operation the
// picture page and the program page perform on them. The window's lists
// mirror it and korvex-cli reads libraries through it, so the two can never
// disagree on what is listed, saved or sent.
//
// Item i of the picture list stands for picture record i, item s of the
// program list for program entry s: the counts are the lists' lengths.
#pragma once

#include <string>
#include <vector>

#include "model/library.h"
#include "model/library_file.h"

namespace korvex {

// The listing rule: a program step is listed only while its picture exists.
inline bool StepIsListed(const ProgramEntry &entry, int pictureCount)
{
    return entry.picture < pictureCount;
}

class LibraryDocument {
public:
    // Names are held as GBK bytes; `decode` turns them into the UTF-8 text
    // the labels show.
    using NameDecoder = std::string (*)(const std::string &gbk);
    explicit LibraryDocument(NameDecoder decode);

    const PictureTable &Pictures() const { return pictures_; }
    const PictureRecord &Picture(int i) const { return pictures_[static_cast<size_t>(i)]; }
    // The raw program table. Entries at and past ProgramLength() are not
    // listed; a caller that writes entries brings the list in line with
    // RebuildProgram.
    const ProgramTable &Program() const { return program_; }
    ProgramTable &Program() { return program_; }

    int PictureCount() const { return static_cast<int>(pictureLabels_.size()); }
    int ProgramLength() const { return static_cast<int>(stepLabels_.size()); }
    bool PicturesFull() const { return PictureCount() >= kMaxPictures; }
    bool ProgramFull() const { return ProgramLength() >= kMaxProgram; }

    // "001: name" for picture i, "001: name - 显示" for step s (UTF-8).
    const std::string &PictureLabel(int i) const { return pictureLabels_[static_cast<size_t>(i)]; }
    const std::string &StepLabel(int s) const { return stepLabels_[static_cast<size_t>(s)]; }
    // Picture i's name as UTF-8.
    std::string PictureName(int i) const;

    // The library as a file gives it: both tables as read, then the first
    // `data.pictureCount` pictures listed and the program rebuilt from the
    // first `data.programLength` entries.
    void Load(const LibraryData &data);
    // What a save writes.
    void Store(LibraryData &data) const;

    // ---- pictures ----
    // Appends a picture (colours and name cut to 18 bytes); its index, or -1
    // when the library already holds 121.
    int NewPicture(const PictureColours &colours, const std::string &gbkName);
    // Puts new colours and name into picture p, then rebuilds the program.
    void ReplacePicture(int p, const PictureColours &colours, const std::string &gbkName);
    // Gives picture r a new name, then rebuilds the program.
    void RenamePicture(int r, const std::string &gbkName);
    // Removes picture d: the later ones move up a place (their numbers
    // follow), then the program is rebuilt.
    void DeletePicture(int d);

    // ---- program ----
    // Lists the first n table entries whose picture exists (n cut to
    // 0..512), numbered from 1. Entries naming a picture that is not there
    // are dropped from the table as the listed ones move up, so step s is
    // always table entry s: that is what Save and both uploads rely on.
    void RebuildProgram(int n);
    // Appends step {picture, effect, value}; its label is the picture's
    // label and the effect's text. The step's index, or -1 at 512 steps.
    int AddStep(int picture, int effect, int value);
    // Sets step s's value and, when `effect` is not negative, its effect;
    // the label's effect text follows.
    void ChangeStep(int s, int effect, int value);
    // Removes step s; the later ones move up.
    void DeleteStep(int s);

private:
    std::string MakePictureLabel(int i) const;

    NameDecoder decode_;
    PictureTable pictures_{};
    ProgramTable program_{};
    std::vector<std::string> pictureLabels_;
    std::vector<std::string> stepLabels_;
};

}  // namespace korvex
