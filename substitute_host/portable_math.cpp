#include "substitute_host/portable_math.h"

#include <cmath>
#include <initializer_list>

namespace subhost {
namespace {

constexpr double pi = 3.141592653589793;
constexpr double half_pi = 1.5707963267948966;
constexpr double two_over_pi = 0.6366197723675814;

// pi / 2 in three parts: the first two have 33 significant bits, so that k
// times them is exact for |k| < 2^20.
constexpr double half_pi_1 = 0x1.921fb544p+0;
constexpr double half_pi_2 = 0x1.0b4611a6p-34;
constexpr double half_pi_3 = 0x1.3198a2e037073p-69;

// sin and cos of r in [-pi/4, pi/4], by their Taylor series to r^17 and r^18.
double sin_reduced(double r)
{
  const double r2 = r * r;
  double p = 1.0 / 355687428096000.0;
  for (double c : {-1.0 / 1307674368000.0, 1.0 / 6227020800.0, -1.0 / 39916800.0, 1.0 / 362880.0, -1.0 / 5040.0,
                   1.0 / 120.0, -1.0 / 6.0})
    p = p * r2 + c;
  return r + r * r2 * p;
}

double cos_reduced(double r)
{
  const double r2 = r * r;
  double p = -1.0 / 6402373705728000.0;
  for (double c : {1.0 / 20922789888000.0, -1.0 / 87178291200.0, 1.0 / 479001600.0, -1.0 / 3628800.0,
                   1.0 / 40320.0, -1.0 / 720.0, 1.0 / 24.0})
    p = p * r2 + c;
  return 1.0 - r2 * 0.5 + r2 * r2 * p;
}

// x = k pi/2 + r with r in about [-pi/4, pi/4]; returns r, and k mod 4 in quadrant.
double reduce(double x, int &quadrant)
{
  const double k = std::nearbyint(x * two_over_pi);
  quadrant = static_cast<int>(std::fmod(k, 4.0));
  if (quadrant < 0)
    quadrant += 4;
  return ((x - k * half_pi_1) - k * half_pi_2) - k * half_pi_3;
}

// atan(j / 8) for j = 0 ... 8.
constexpr double atan_eighths[9] = {
    0.0,
    0x1.fd5ba9aac2f6ep-4,
    0x1.f5b75f92c80ddp-3,
    0x1.6f61941e4def1p-2,
    0x1.dac670561bb4fp-2,
    0x1.1e00babdefeb4p-1,
    0x1.4978fa3269ee1p-1,
    0x1.700a7c5784634p-1,
    0x1.921fb54442d18p-1,
};

// atan(a) for a in [0, 1]: atan(c) + atan((a - c) / (1 + a c)) with c the
// nearest eighth, the second by its series (|t| <= 1/16).
double atan_unit(double a)
{
  const double j = std::nearbyint(a * 8.0);
  const double c = j / 8.0;
  const double t = (a - c) / (1.0 + a * c);
  const double t2 = t * t;
  double p = -1.0 / 15.0;
  for (double k : {1.0 / 13.0, -1.0 / 11.0, 1.0 / 9.0, -1.0 / 7.0, 1.0 / 5.0, -1.0 / 3.0})
    p = p * t2 + k;
  return atan_eighths[static_cast<int>(j)] + (t + t * t2 * p);
}

} // namespace

double portable_sin(double x)
{
  if (!std::isfinite(x))
    return x - x; // NaN
  int quadrant;
  const double r = reduce(x, quadrant);
  switch (quadrant) {
  case 0: return sin_reduced(r);
  case 1: return cos_reduced(r);
  case 2: return -sin_reduced(r);
  default: return -cos_reduced(r);
  }
}

double portable_cos(double x)
{
  if (!std::isfinite(x))
    return x - x;
  int quadrant;
  const double r = reduce(x, quadrant);
  switch (quadrant) {
  case 0: return cos_reduced(r);
  case 1: return -sin_reduced(r);
  case 2: return -cos_reduced(r);
  default: return sin_reduced(r);
  }
}

double portable_atan(double x)
{
  if (std::isnan(x))
    return x;
  const double a = std::fabs(x);
  const double r = a <= 1.0 ? atan_unit(a) : half_pi - atan_unit(1.0 / a);
  return std::signbit(x) ? -r : r;
}

double portable_atan2(double y, double x)
{
  if (std::isnan(x) || std::isnan(y))
    return x + y;
  if (std::isinf(x) && std::isinf(y)) {
    const double r = x > 0 ? pi / 4 : 3 * pi / 4;
    return std::signbit(y) ? -r : r;
  }
  if (x == 0.0 && y == 0.0) {
    const double r = std::signbit(x) ? pi : 0.0;
    return std::signbit(y) ? -r : r;
  }
  double r;
  if (std::fabs(y) <= std::fabs(x)) {
    r = portable_atan(std::fabs(y) / std::fabs(x)); // in [0, pi/4]
    if (x < 0)
      r = pi - r;
  } else {
    r = half_pi - portable_atan(std::fabs(x) / std::fabs(y)); // in (pi/4, pi/2]
    if (x < 0)
      r = pi - r;
  }
  return std::signbit(y) ? -r : r;
}

} // namespace subhost
