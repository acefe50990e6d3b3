// What korvex-cli says about a read-back: where a read ended and why, and
// one line per difference between a controller and a library.
#pragma once

#include <string>
#include <vector>

#include "app/controller_read.h"

namespace korvex::cli {

// "picture 5, block 2 (page 4 block 1)", "name table 1 (page 127 block 0)".
std::string BlockText(BlockAddress at);

// Why a read ended early, as one sentence after "reading ... failed: ".
std::string ReadEndText(ReadEnd end, BlockAddress where, const std::optional<CountFault> &refusal,
                        int port);

// "picture 6: 12 of 2048 pixels differ, first at pixel 1030", "program
// step 4 differs: ...", numbered from 1 as 'list' shows them; "record byte
// 8: written 0x08, read 0x09", numbered from 0 as the record's bytes are.
std::string DifferenceLine(const Difference &d);
void PrintDifferences(const std::vector<Difference> &differences);

}  // namespace korvex::cli
