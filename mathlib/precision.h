// Library-internal: how the math library evaluates the functions of the C
// library. Each takes its operand in the storage precision T, widens it to
// double, evaluates in double and rounds the result back to T.
#pragma once

#include <cmath>

namespace mathlib_detail {

template <class T> inline T wide_sqrt(T x) { return static_cast<T>(std::sqrt(static_cast<double>(x))); }
template <class T> inline T wide_sin(T x) { return static_cast<T>(std::sin(static_cast<double>(x))); }
template <class T> inline T wide_cos(T x) { return static_cast<T>(std::cos(static_cast<double>(x))); }
template <class T> inline T wide_atan(T x) { return static_cast<T>(std::atan(static_cast<double>(x))); }
template <class T> inline T wide_acos(T x) { return static_cast<T>(std::acos(static_cast<double>(x))); }
template <class T> inline T wide_atan2(T a, T b)
{
  return static_cast<T>(std::atan2(static_cast<double>(a), static_cast<double>(b)));
}

} // namespace mathlib_detail
