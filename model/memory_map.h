// Where the host's data lives in controller memory. Picture i fills page i
// (four 1 KiB blocks of pixel words); page 127 holds the two name tables
// (blocks 0 and 1), the program (block 2) and the configuration record
// (block 3, bytes 512..767). The uploads write and the read-back reads
// through these addresses, so the two cannot disagree on what is where.
#pragma once

namespace korvex {

constexpr int kBlocksPerPicture = 4;
constexpr int kPixelsPerBlock = 512;
constexpr int kTablesPage = 127;
constexpr int kNameTable1Block = 0;  // names of pictures 1..64
constexpr int kNameTable2Block = 1;  // names of pictures 65..120
constexpr int kProgramBlock = 2;
constexpr int kRecordBlock = 3;
constexpr int kRecordOffset = 512;  // the record's first byte in its block

// Name slots: 16 bytes each, table 0 for pictures 0..63, table 1 for
// pictures 64..119 in its slots 0..55. The picture at index 120 has none.
constexpr int kNameSlotSize = 16;
constexpr int kNameSlots[2] = {64, 56};
constexpr int kNamedPictures = kNameSlots[0] + kNameSlots[1];  // 120

// One 1 KiB block of controller memory.
struct BlockAddress {
    int page;
    int block;
};

constexpr BlockAddress PictureBlockAddress(int picture, int quarter)
{
    return {picture, quarter};
}
constexpr BlockAddress NameTableAddress(int table)
{
    return {kTablesPage, table == 0 ? kNameTable1Block : kNameTable2Block};
}
constexpr BlockAddress kProgramAddress = {kTablesPage, kProgramBlock};
constexpr BlockAddress kRecordAddress = {kTablesPage, kRecordBlock};

// The picture whose name slot 0 of name table t carries.
constexpr int FirstPictureOfTable(int table)
{
    return table == 0 ? 0 : kNameSlots[0];
}

// The table and slot that carry picture i's name; false for a picture
// without a slot.
constexpr bool NameSlotOf(int picture, int *table, int *slot)
{
    if (picture < 0 || picture >= kNamedPictures)
        return false;
    *table = picture < kNameSlots[0] ? 0 : 1;
    *slot = picture - FirstPictureOfTable(*table);
    return true;
}

}  // namespace korvex
