// A show as plain files, for version control, review and other tools: a
// folder with `show.json` (the names, the picture files and the program)
// and `pictures/NNN.png`, one 2048 x 1 PNG per picture. Export writes what
// the library document lists; import builds a document from such a folder
// through the same loading and capture as `korvex-cli capture`, refusing
// the whole show on the first fault, so that nothing half-read is saved.
//
//   {
//       "format": "korvex-show",
//       "pictures": [{"file": "pictures/001.png", "name": "红蓝渐变"}, ...],
//       "program": [{"effect": "渐显", "picture": 1, "value": 31}, ...],
//       "version": 1
//   }
//
// Keys come in Qt's order (alphabetical), so two exports of one library
// are the same bytes. A picture may also carry "width" (8..2048) and
// "stretch" (true or false), which capture a picture of another width as
// the capture dialog would; an effect is its text or its index (0..7).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "model/library_document.h"

namespace korvex {

inline constexpr const char *kShowFileName = "show.json";
inline constexpr const char *kShowFormat = "korvex-show";
constexpr int kShowVersion = 1;
// Far above what 121 pictures and 512 steps take (about 60 KB).
constexpr int64_t kMaxShowJsonBytes = 1024 * 1024;

struct ShowFile {
    QString path;  // relative to the show's folder: "show.json", "pictures/001.png"
    QByteArray bytes;
};

struct ShowExport {
    std::vector<ShowFile> files;  // the pictures in order, then show.json
    // Items an import of these files would refuse or read differently: a
    // name that is longer than 15 GBK bytes or does not decode, colours with
    // bits below the upper four of a channel (the capture clears them), a
    // step whose effect or value is out of range (damaged files, other
    // software).
    QStringList warnings;
};

// The files for the document's pictures and listed steps. Pixel k of a
// picture's PNG is colour k (0x00BBGGRR) as stored, 8 bits a channel.
ShowExport ShowToFiles(const LibraryDocument &doc);

// Writes `show` into `dir`, made when missing. A folder that holds anything
// is refused unless `force`; then the files are replaced, and picture files
// of an earlier export (pictures/NNN.png) that this one has not are removed,
// so the folder holds exactly this show. Each file is written through a
// temporary file. False with `error` set on failure.
bool WriteShowFolder(const ShowExport &show, const QString &dir, bool force, QString &error);

// Reads the show in `dir` into `doc`, which should be empty: every picture
// (PNG, BMP or JPEG) captured from its file's top row as `korvex-cli
// capture` does (an image 2048 pixels wide is taken pixel for pixel), then
// every step. False with `error` naming the file and the item at the first
// fault: show.json missing, larger than kMaxShowJsonBytes, not JSON (with
// line and column), an unknown or missing key, a value of the wrong type or
// out of range, more than 121 pictures or 512 steps, a name GBK cannot
// hold or longer than 15 bytes, a picture file path that is absolute, has a
// ".." or leads outside `dir` through a symbolic link, or a file that is
// missing or gives no whole picture. `doc` is then not to be used.
bool ReadShowFolder(const QString &dir, LibraryDocument &doc, QString &error);

}  // namespace korvex
