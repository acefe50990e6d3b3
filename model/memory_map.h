// Where the host's data lives in controller memory. Picture i fills page i
// (four 1 KiB blocks of pixel words); page 127 holds the two name tables
// (blocks 0 and 1), the program (block 2) and the configuration record
// (block 3, bytes 512..767).
#pragma once

namespace korvex {

constexpr int kBlocksPerPicture = 4;
constexpr int kTablesPage = 127;
constexpr int kNameTable1Block = 0;  // names of pictures 1..64
constexpr int kNameTable2Block = 1;  // names of pictures 65..120
constexpr int kProgramBlock = 2;
constexpr int kRecordBlock = 3;
constexpr int kRecordOffset = 512;  // the record's first byte in its block

}  // namespace korvex
