// The tag's layout: an 8-byte magic, a format version, the 16-byte upload
// id and the 32-byte digest, then zeros to the end of the block (a tail
// that is not zero is not a tag of ours).
#include "model/upload_tag.h"

#include <algorithm>

namespace korvex {

namespace {

// No name slot starts like this: a slot's first byte is 0 or a GBK byte
// (never 0xFF), and the slots before the tail end at byte 895.
constexpr uint8_t kMagic[8] = {0xFF, 0x00, 'k', 'o', 'r', 'v', 't', 'g'};
constexpr uint8_t kVersion = 1;
constexpr int kVersionAt = kTagOffset + 8;
constexpr int kIdAt = kVersionAt + 1;
constexpr int kDigestAt = kIdAt + 16;

}  // namespace

bool UploadTag::Tracked() const
{
    return std::any_of(id.begin(), id.end(), [](uint8_t b) { return b != 0; });
}

void PutUploadTag(Block1K &nameTable1, const UploadTag &tag)
{
    ClearUploadTag(nameTable1);
    std::copy(std::begin(kMagic), std::end(kMagic), nameTable1.begin() + kTagOffset);
    nameTable1[kVersionAt] = kVersion;
    std::copy(tag.id.begin(), tag.id.end(), nameTable1.begin() + kIdAt);
    std::copy(tag.digest.begin(), tag.digest.end(), nameTable1.begin() + kDigestAt);
}

void ClearUploadTag(Block1K &nameTable1)
{
    std::fill(nameTable1.begin() + kTagOffset, nameTable1.end(), 0);
}

std::optional<UploadTag> ReadUploadTag(const Block1K &nameTable1)
{
    if (!std::equal(std::begin(kMagic), std::end(kMagic), nameTable1.begin() + kTagOffset) ||
        nameTable1[kVersionAt] != kVersion ||
        std::any_of(nameTable1.begin() + kDigestAt + 32, nameTable1.end(),
                    [](uint8_t b) { return b != 0; }))
        return std::nullopt;
    UploadTag tag;
    std::copy_n(nameTable1.begin() + kIdAt, tag.id.size(), tag.id.begin());
    std::copy_n(nameTable1.begin() + kDigestAt, tag.digest.size(), tag.digest.begin());
    return tag;
}

}  // namespace korvex
