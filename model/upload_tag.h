// The tag korvex leaves in the tail of name table 1 (bytes 896..1023, which
// carry no names): which upload wrote the controller and a digest of what
// that upload left there. A program that writes name table 1 without
// knowing the tag overwrites it, so a tag that is still ours says that
// korvex's upload was the last to write the table.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "model/encoders.h"

namespace korvex {

constexpr int kTagOffset = 896;  // the first byte of name table 1 after its 56 slots
constexpr int kTagSize = 1024 - kTagOffset;

using UploadId = std::array<uint8_t, 16>;
using UploadDigest = std::array<uint8_t, 32>;

struct UploadTag {
    // All zero: an upload of korvex that keeps no record of what it left
    // (one that sent chosen pictures only).
    UploadId id{};
    UploadDigest digest{};

    bool Tracked() const;
    bool operator==(const UploadTag &other) const
    {
        return id == other.id && digest == other.digest;
    }
};

// Writes the tag into bytes 896..1023 of `nameTable1` (the rest zero);
// bytes 0..895 are left as they are.
void PutUploadTag(Block1K &nameTable1, const UploadTag &tag);
// Zeroes bytes 896..1023: no tag.
void ClearUploadTag(Block1K &nameTable1);
// The tag of a name table 1 as read; nullopt when its magic or format
// version is not ours.
std::optional<UploadTag> ReadUploadTag(const Block1K &nameTable1);

}  // namespace korvex
