#include "mathlib/quantise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr uint32_t kTop31 = 2147483647u;

// Every 8-bit and every 16-bit value survives the trip to float and back:
// catches a forward conversion that truncates without adding the half.
TEST(QuantiseTest, EightAndSixteenBitValuesRoundTrip)
{
  for (unsigned n = 0; n <= 0xFFu; ++n)
    ASSERT_EQ(float_to_u8(u8_to_float(static_cast<uint8_t>(n))), n);
  for (unsigned n = 0; n <= 0xFFFFu; ++n)
    ASSERT_EQ(float_to_u16(u16_to_float(static_cast<uint16_t>(n))), n);
}

// The float whose product with 255 is exactly 0.5 (a half that rounds up).
float half_over_255()
{
  float x = 0.5f / 255.0f;
  for (int step = 0; step < 8 && x * 255.0f != 0.5f; ++step)
    x = std::nextafter(x, x * 255.0f < 0.5f ? 1.0f : 0.0f);
  return x;
}

struct ForwardCase {
  float x;
  uint32_t want;
};

// Catches missing clamps, NaN and infinities reaching the integer conversion,
// and rounding that does not add the half in single precision.
TEST(QuantiseTest, ForwardRoundsAndClamps)
{
  const float half = half_over_255();
  ASSERT_EQ(half * 255.0f, 0.5f);
  const ForwardCase u8_cases[] = {{0, 0},      {1, 255},      {0.5f, 128},   {0.25f, 64}, {0.75f, 191},
                                  {-0.5f, 0},  {2, 255},      {1e10f, 255},  {kInf, 255}, {-kInf, 0},
                                  {kNaN, 0},   {half, 1},     {-0.0f, 0},    {-1e10f, 0}};
  for (const ForwardCase& c : u8_cases)
    EXPECT_EQ(float_to_u8(c.x), c.want) << "float_to_u8(" << c.x << ")";

  const ForwardCase u16_cases[] = {{0, 0},         {0.5f, 32768},     {1, 65535}, {40000, 65535},
                                   {kInf, 65535},  {-kInf, 0},        {kNaN, 0},  {-1, 0}};
  for (const ForwardCase& c : u16_cases)
    EXPECT_EQ(float_to_u16(c.x), c.want) << "float_to_u16(" << c.x << ")";

  // 31 bits: the scale 2^31 exceeds the top value, so 1 and everything above
  // clamp; from x * 2^31 = 2^23 the half is rounded away in float.
  const ForwardCase u31_cases[] = {
      {0, 0},
      {0.5f, 1u << 30},
      {1, kTop31},
      {std::nextafter(1.0f, 2.0f), kTop31},
      {2, kTop31}, // 2^32: beyond the range of uint32_t
      {1e30f, kTop31},
      {kInf, kTop31},
      {-1, 0},
      {-kInf, 0},
      {kNaN, 0},
      {0x1p-31f, 1},                       // 1 + 0.5 truncates to 1
      {(0x1p23f - 1.0f) * 0x1p-31f, (1u << 23) - 1},
      {(0x1p23f + 1.0f) * 0x1p-31f, (1u << 23) + 2}, // 2^23 + 1.5 rounds to even 2^23 + 2
      {(0x1p23f + 2.0f) * 0x1p-31f, (1u << 23) + 2},
      {std::nextafter(1.0f, 0.0f), kTop31 - 127}, // 1 - 2^-24 gives 2^31 - 128
  };
  for (const ForwardCase& c : u31_cases)
    EXPECT_EQ(float_to_u31(c.x), c.want) << "float_to_u31(" << c.x << ")";
}

// Catches an integer-to-float conversion that is not round-to-nearest, a
// division in double, and a missing clamp at 1 for 32-bit inputs.
TEST(QuantiseTest, BackwardDividesAndClampsAtOne)
{
  EXPECT_EQ(u8_to_float(0), 0.0f);
  EXPECT_EQ(u8_to_float(255), 1.0f);
  EXPECT_EQ(u8_to_float(51), 0.2f);
  EXPECT_EQ(u16_to_float(65535), 1.0f);
  EXPECT_EQ(u16_to_float(0), 0.0f);
  EXPECT_EQ(u31_to_float(0), 0.0f);
  EXPECT_EQ(u31_to_float(1u << 30), 0.5f);
  EXPECT_EQ(u31_to_float(kTop31 - 64), std::nextafter(1.0f, 0.0f)); // 2^31 - 65
  EXPECT_EQ(u31_to_float(kTop31 - 63), 1.0f);                       // 2^31 - 64: a tie, rounded to 2^31
  EXPECT_EQ(u31_to_float(kTop31), 1.0f);
  EXPECT_EQ(u31_to_float(0xFFFFFFFFu), 1.0f);
}

// 31-bit values come back unchanged below 2^23, odd ones one higher up to
// 2^24, and at float precision above: catches a 31-bit form that computes in
// double or rounds differently from single precision.
TEST(QuantiseTest, ThirtyOneBitRoundTrip)
{
  for (uint32_t n = 0; n < (1u << 23); ++n)
    ASSERT_EQ(float_to_u31(u31_to_float(n)), n);
  for (uint32_t n = (1u << 23); n < (1u << 24); ++n)
    ASSERT_EQ(float_to_u31(u31_to_float(n)), n % 2 ? n + 1 : n) << n;

  struct Trip {
    uint32_t n, back;
  };
  const Trip trips[] = {
      {(1u << 23) - 1, (1u << 23) - 1}, {(1u << 23) + 1, (1u << 23) + 2}, {(1u << 24) - 1, 1u << 24},
      {1u << 24, 1u << 24},             {(1u << 24) + 1, 1u << 24},       {(1u << 24) + 3, (1u << 24) + 4},
      {kTop31 - 64, kTop31 - 127},      {kTop31 - 63, kTop31},            {kTop31, kTop31},
      {0xFFFFFFFFu, kTop31},
  };
  for (const Trip& t : trips)
    EXPECT_EQ(float_to_u31(u31_to_float(t.n)), t.back) << "n = " << t.n;
}

} // namespace
