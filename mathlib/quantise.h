// Quantisers: a normalised float, nominally in [0, 1], to an unsigned
// fixed-point integer of 8, 16 or 31 significant bits, and back.
//
// Forward: x * S + 0.5 in single precision, truncated toward zero, clamped to
// [0, T]; NaN gives 0. S = T = 255 resp. 65535 for 8 and 16 bits; for 31 bits
// S = 2^31 and T = 2^31 - 1, so 1.0 clamps to T, and from x * S = 2^23 upward
// the added 0.5 is lost to float rounding. Backward: n / S in single
// precision, clamped at 1.
#pragma once

#include <cstdint>

// Forward conversions: an integer in [0, 255], [0, 65535] resp. [0, 2^31 - 1].
uint8_t float_to_u8(float x);
uint16_t float_to_u16(float x);
uint32_t float_to_u31(float x);

// Backward conversions: a float in [0, 1]. For u31_to_float every 32-bit n is
// accepted; n is rounded to the nearest float first, and n >= 2^31 - 64 gives 1.
float u8_to_float(uint8_t n);
float u16_to_float(uint16_t n);
float u31_to_float(uint32_t n);
