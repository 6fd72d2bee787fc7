#pragma once
// The colour scale's legend as a PNG image, built into the program (see legend.png's script).

#include <cstddef>
#include <cstdint>

namespace vireon {

extern const uint8_t kLegendPng[];
extern const size_t kLegendPngSize;

}  // namespace vireon
