#pragma once
// Texts of the GPS screen that are built from several fields of a report.

#include <cstdint>
#include <string>

#include "gps/Gps.h"

namespace vireon {

// Receiver status byte 1: bits 7-5 fix code, bit 4 filter reset, bit 3 fast-acquisition position.
constexpr uint8_t kFastAcqPosBit = 0x08;
constexpr uint8_t kFilterResetBit = 0x10;

std::string ChannelStatusText(const TGPSChannel& channel);
// row is 1..12.
std::string ChannelRowText(int row, const TGPSChannel& channel);
// The four flag lines lblRecStat2..lblRecStat5, index 0..3; a line without flags is empty.
std::string RecStatFlagsText(const TGPS& gps, int line);

}  // namespace vireon
