// One input for each file reader the fuzzers drive, shared with the regression
// tests of the reliability suite. Each runs the game's own reader on the bytes
// and returns what is wrong with the result, or null when nothing is; a crash
// or a sanitizer report is a failure of its own.
#pragma once

#include <cstddef>
#include <cstdint>

// config.ini read with 0, 1 and 2 joysticks connected.
const char* ReadConfigInput(const uint8_t* data, size_t size);
// score.dat read, and the record it gives written and read back.
const char* ReadScoreInput(const uint8_t* data, size_t size);
// A DDS file parsed and every level it keeps decoded.
const char* ReadDdsInput(const uint8_t* data, size_t size);
// Any other image file as the texture table reads it: SDL2_image, then RGBA rows.
const char* ReadImageInput(const uint8_t* data, size_t size);
