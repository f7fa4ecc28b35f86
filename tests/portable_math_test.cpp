// The substitute host's own sine, cosine and arc tangents: the host evaluates
// every scene with them, so a wrong quadrant or series term would make every
// bake test compare against a wrong scene.

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "substitute_host/portable_math.h"

namespace {

using namespace subhost;

constexpr double pi = 3.141592653589793;

// Within a few units in the last place of the C library's values, over a
// spread of arguments that includes every quadrant and large angles.
TEST(PortableMath, AgreesWithTheCLibrary)
{
  std::mt19937_64 gen(7);
  for (int n = 0; n < 200000; ++n) {
    const double x = static_cast<double>(gen() % 2000001) / 1000.0 - 1000.0; // [-1000, 1000]
    const double y = static_cast<double>(gen() % 2000001) / 1000.0 - 1000.0;
    ASSERT_NEAR(portable_sin(x), std::sin(x), 5e-16) << x;
    ASSERT_NEAR(portable_cos(x), std::cos(x), 5e-16) << x;
    ASSERT_NEAR(portable_atan(x / 37), std::atan(x / 37), 5e-16 * std::fabs(std::atan(x / 37))) << x;
    ASSERT_NEAR(portable_atan2(y, x), std::atan2(y, x), 5e-16 * std::fabs(std::atan2(y, x))) << y << ", " << x;
  }
}

// The edges of atan2 and the non-finite arguments.
TEST(PortableMath, SpecialArguments)
{
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double y, x, want;
  } atan2_cases[] = {
      {0.0, 1.0, 0.0},   {0.0, -1.0, pi},       {-0.0, -1.0, -pi},    {1.0, 0.0, pi / 2},
      {-1.0, 0.0, -pi / 2}, {0.0, -0.0, pi},    {-0.0, 0.0, -0.0},    {inf, inf, pi / 4},
      {-inf, -inf, -3 * pi / 4}, {1.0, inf, 0.0}, {1.0, -inf, pi},    {inf, 1.0, pi / 2},
      {1.0, 1.0, pi / 4}, {-1.0, -1.0, -3 * pi / 4},
  };
  for (const auto &c : atan2_cases)
    EXPECT_EQ(portable_atan2(c.y, c.x), c.want) << c.y << ", " << c.x;
  EXPECT_TRUE(std::isnan(portable_atan2(nan, 1.0)));
  EXPECT_TRUE(std::isnan(portable_sin(inf)));
  EXPECT_TRUE(std::isnan(portable_cos(nan)));
  EXPECT_EQ(portable_atan(inf), pi / 2);
  EXPECT_EQ(portable_sin(0.0), 0.0);
  EXPECT_EQ(portable_cos(0.0), 1.0);
}

} // namespace
