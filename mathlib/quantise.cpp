// Quantisers. The three widths share one algorithm per direction, written once
// below and parameterised by the width's scale and top value.
#include "mathlib/quantise.h"

namespace {

struct Width {
  float scale;  // S: multiplies on the way in, divides on the way out
  uint32_t top; // T: the largest integer produced
};

constexpr Width kWidth8{255.0f, 255u};
constexpr Width kWidth16{65535.0f, 65535u};
constexpr Width kWidth31{2147483648.0f, 2147483647u};

// v = x * S + 0.5 in float, truncated toward zero as an unbounded integer and
// clamped to [0, T]. The bounds are tested on the float value (widened to
// double, which is exact) before anything is converted, so out-of-range
// values, infinities and NaN never reach the integer conversion.
template <class U> U to_fixed(float x, Width w)
{
  const float product = x * w.scale;
  const float v = product + 0.5f;
  const double wide = static_cast<double>(v);
  if (wide != wide)
    return 0; // NaN
  if (wide <= -1.0)
    return 0; // truncates below 0 (-inf included)
  if (wide >= static_cast<double>(w.top) + 1.0)
    return static_cast<U>(w.top); // truncates above T (+inf included)
  return static_cast<U>(wide); // truncation lands in [0, T]
}

// n rounded to the nearest float (through double, where every 32-bit n is
// exact), divided by S in float, clamped at 1.
template <class U> float from_fixed(U n, Width w)
{
  const float f = static_cast<float>(static_cast<double>(n));
  const float r = f / w.scale;
  return r > 1.0f ? 1.0f : r;
}

} // namespace

uint8_t float_to_u8(float x) { return to_fixed<uint8_t>(x, kWidth8); }
uint16_t float_to_u16(float x) { return to_fixed<uint16_t>(x, kWidth16); }
uint32_t float_to_u31(float x) { return to_fixed<uint32_t>(x, kWidth31); }

float u8_to_float(uint8_t n) { return from_fixed(n, kWidth8); }
float u16_to_float(uint16_t n) { return from_fixed(n, kWidth16); }
float u31_to_float(uint32_t n) { return from_fixed(n, kWidth31); }
