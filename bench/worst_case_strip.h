// A skin strip made to be hard on region building: 30 frames of 400 x 400
// pixels, each a blob whose outline jumps from row to row and whose inside is
// half holes, so nearly every row breaks into a hundred runs or more.
#pragma once

#include <string>

namespace bench {

constexpr int kWorstFrames = 30;
constexpr int kWorstFrameSize = 400;

// Writes it as a 24-bit BMP file; false when the file cannot be written.
bool WriteWorstCaseStrip(const std::string& path);

} // namespace bench
