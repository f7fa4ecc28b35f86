// Helpers shared by the math library's tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace test_util {

// Distance in units in the last place between two finite values of the same
// type (0 when equal, +0 and -0 count as equal).
template <class T> inline int64_t ulp_distance(T a, T b)
{
  using Bits = std::conditional_t<sizeof(T) == 4, int32_t, int64_t>;
  auto ordered = [](T v) {
    Bits bits;
    std::memcpy(&bits, &v, sizeof v);
    return bits < 0 ? static_cast<int64_t>(std::numeric_limits<Bits>::min()) - bits : static_cast<int64_t>(bits);
  };
  int64_t d = ordered(a) - ordered(b);
  return d < 0 ? -d : d;
}

// True when both values have the same bit pattern (tells -0 from +0).
template <class T> inline bool same_bits(T a, T b) { return std::memcmp(&a, &b, sizeof a) == 0; }

} // namespace test_util
