// The host's record of korvex's picture uploads, kept per user in the data
// folder ($XDG_DATA_HOME/korvex/uploads on Linux):
//   <id>.upload  what one upload left in the controller (its image), filed
//                under the upload id its tag names; the last 32 are kept;
//   pending      which pages of each record an upload since may have
//                touched: an upload marks its pages (and the name tables)
//                here before its first frame, so that a record never
//                vouches for a block an interrupted upload hit.
// Every file is written whole through a temporary file and a rename, and
// checked when read: a file that fails its check is "damaged".
#pragma once

#include <QString>
#include <bitset>
#include <vector>

#include "model/encoders.h"
#include "model/library.h"
#include "model/upload_tag.h"

namespace korvex {

// What a picture upload leaves in the controller: the picture count, the
// blocks of pictures 0..count-1 and the name tables (table 1 without its
// tag, bytes 896..1023 zero).
struct UploadImage {
    int count = 0;
    std::vector<Block1K> pictureBlocks;  // four per picture
    Block1K nameTables[2]{};
};

// The image an upload of pictures 0..n-1 of `pictures` leaves.
UploadImage ImageOfLibrary(const PictureTable &pictures, int n);
// SHA-256 of the image: the picture blocks in page order, name table 0,
// bytes 0..895 of name table 1 and the count as one byte.
UploadDigest DigestOf(const UploadImage &image);
// A fresh random id.
UploadId NewUploadId();

// <user data folder>/korvex/uploads; empty when the system names no data
// folder (then no record is kept or read).
QString UploadLedgerFolder();

enum class LedgerRead { Found, Missing, Damaged };

// The record of upload `id`.
LedgerRead LoadUpload(const QString &folder, const UploadId &id, UploadImage &image);
// Files the record of upload `id` (making the folder when needed) and
// removes the oldest records beyond the last 32. False when it could not be
// written whole.
bool StoreUpload(const QString &folder, const UploadId &id, const UploadImage &image);
// Removes the record of upload `id`; nothing when there is none.
void ForgetUpload(const QString &folder, const UploadId &id);

// The blocks of one record that an upload since may have touched.
struct Pending {
    std::bitset<kMaxPictures> pages;
    bool tables = false;  // both name tables
    bool Any() const { return tables || pages.any(); }
};

// Marks `pages` and both name tables as touched for every record held.
// When the mark cannot be written, every record is removed instead, so
// that none can vouch for what the upload may change; false when even that
// failed.
bool MarkPending(const QString &folder, const std::vector<int> &pages);
// The mark of record `id` (Found with an empty mark when it has none).
LedgerRead PendingOf(const QString &folder, const UploadId &id, Pending &pending);

}  // namespace korvex
