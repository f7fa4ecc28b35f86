#include "mathlib/quat.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "mathlib/precision.h"

using mathlib_detail::combine;
using mathlib_detail::interleave_high;
using mathlib_detail::interleave_low;
using mathlib_detail::lane;
using mathlib_detail::Lanes;
using mathlib_detail::load4;
using mathlib_detail::shuffle;
using mathlib_detail::splat;
using mathlib_detail::store4;
using mathlib_detail::with_lane3;
using mathlib_detail::wide_acos;
using mathlib_detail::wide_cos;
using mathlib_detail::wide_sin;
using mathlib_detail::wide_sqrt;

namespace {

// A sine of the half angle at or below this leaves the axis output as it was.
constexpr double kAxisSineEpsilon = 1e-6;

// Element (r, c) of a 3x3 row-major matrix.
inline float at(const Matrix3f *m, int r, int c) { return m->m[3 * r + c]; }

// q / |q| over the element type T (float or double), the sum of squares in T,
// the root and the reciprocal in double.
template <class T> T squared_length(const T q[4]) { return q[X] * q[X] + q[Y] * q[Y] + q[Z] * q[Z] + q[W] * q[W]; }

template <class T> void normalize(const T q[4], T out[4])
{
  T n = squared_length(q);
  // A finite, nonzero quaternion whose squared length overflows or falls below
  // the normal range would come out as zero, as the identity or off unit
  // length; it is first scaled by a power of two (exactly) to a largest
  // component in [0.5, 1).
  T scaled[4];
  if (!std::isnormal(n) && std::isfinite(q[X]) && std::isfinite(q[Y]) && std::isfinite(q[Z]) &&
      std::isfinite(q[W])) {
    const T largest = std::max(std::max(std::fabs(q[X]), std::fabs(q[Y])), std::max(std::fabs(q[Z]), std::fabs(q[W])));
    if (largest != T(0)) {
      int exponent;
      std::frexp(largest, &exponent);
      for (int i = 0; i < 4; ++i)
        scaled[i] = std::ldexp(q[i], -exponent);
      q = scaled;
      n = squared_length(q);
    }
  }
  const T len = wide_sqrt(n);
  if (len == T(0)) {
    out[X] = T(0);
    out[Y] = T(0);
    out[Z] = T(0);
    out[W] = T(1);
    return;
  }
  const T r = static_cast<T>(1.0 / static_cast<double>(len));
  out[X] = q[X] * r;
  out[Y] = q[Y] * r;
  out[Z] = q[Z] * r;
  out[W] = q[W] * r;
}

// Angle and axis of q over the element type T. The axis is written only when
// |sin(angle / 2)| > 1e-6.
template <class T> void to_axis_angle(const T q[4], T *angle, T axis[3])
{
  T p[4];
  normalize(q, p);
  const T a = wide_acos(p[W]); // p[W] is not clamped: |p[W]| > 1 gives NaN
  const T s = wide_sin(a);
  *angle = static_cast<T>(2.0 * static_cast<double>(a));
  if (std::fabs(static_cast<double>(s)) > kAxisSineEpsilon) {
    axis[X] = p[X] / s;
    axis[Y] = p[Y] / s;
    axis[Z] = p[Z] / s;
  }
}

} // namespace

void quatf_normalize(const Quatf *q, Quatf *out) { normalize(q->v, out->v); }

void quatd_normalize(const Quatd *q, Quatd *out) { normalize(q->v, out->v); }

// w in scalar, x, y, z in lanes 0 to 2, each a sum formed left to right:
//   w = ((pw*qw - px*qx) - py*qy) - pz*qz
//   x = ((pw*qx + px*qw) + py*qz) - pz*qy
//   y = ((pw*qy + py*qw) + pz*qx) - px*qz
//   z = ((pw*qz + pz*qw) + px*qy) - py*qx
// Both operands are read before out is written, so out may be a or b.
void quatf_multiply(const Quatf *a, const Quatf *b, Quatf *out)
{
  const float *p = a->v, *q = b->v;
  const float w = ((p[W] * q[W] - p[X] * q[X]) - p[Y] * q[Y]) - p[Z] * q[Z];
  const Lanes<float> lp = load4(p), lq = load4(q);
  Lanes<float> t = shuffle<W, W, W, W>(lp) * lq + lp * shuffle<W, W, W, W>(lq);
  t = t + shuffle<Y, Z, X, X>(lp) * shuffle<Z, X, Y, Y>(lq);
  t = t - shuffle<Z, X, Y, Y>(lp) * shuffle<Y, Z, X, X>(lq);
  store4(out->v, with_lane3(t, w));
}

void quatf_inverse(const Quatf *q, Quatf *out)
{
  const float x = q->v[X], y = q->v[Y], z = q->v[Z], w = q->v[W];
  float n = x * x + y * y + z * z + w * w;
  if (static_cast<double>(n) == 0.0)
    n = 1.0f;
  const float r = static_cast<float>(1.0 / static_cast<double>(n));
  out->v[X] = -x * r;
  out->v[Y] = -y * r;
  out->v[Z] = -z * r;
  out->v[W] = w * r;
}

// The nine elements in three lanes each (lane 3 repeats lane 2):
//   diag  = 1 - (yy + zz), 1 - (xx + zz), 1 - (xx + yy)
//   plus  = xz + wy, yz + wx, xy + wz   (elements (0, 2), (2, 1), (1, 0))
//   minus = xz - wy, yz - wx, xy - wz   (elements (2, 0), (1, 2), (0, 1))
// The subtraction from 1 is written in float: its operands are floats, and a
// double carries more than twice float's precision plus two bits, so the
// double difference rounded to float is exactly the float difference (GCC
// narrows the scalar double form to this same float instruction).
void quatf_to_matrix3f(const Quatf *q, Matrix3f *m)
{
  const float x = q->v[X], y = q->v[Y], z = q->v[Z], w = q->v[W];
  const float n = x * x + y * y + z * z + w * w;
  // Dividing by the squared norm makes any nonzero q act as its normalised form.
  const float s = static_cast<double>(n) == 0.0 ? 1.0f : static_cast<float>(2.0 / static_cast<double>(n));
  const Lanes<float> lq = load4(q->v);
  const Lanes<float> xyz_s = shuffle<X, Y, Z, Z>(lq) * splat(s); // xs, ys, zs
  const Lanes<float> zs_ys = shuffle<Z, Z, Y, Y>(xyz_s);
  const Lanes<float> diag =
      splat(1.0f) - (shuffle<Y, X, X, X>(lq) * shuffle<Y, X, X, X>(xyz_s) + shuffle<Z, Z, Y, Y>(lq) * zs_ys);
  const Lanes<float> xz_yz_xy = shuffle<X, Y, X, X>(lq) * zs_ys;
  const Lanes<float> wy_wx_wz = shuffle<W, W, W, W>(lq) * shuffle<Y, X, Z, Z>(xyz_s);
  const Lanes<float> plus = xz_yz_xy + wy_wx_wz;
  const Lanes<float> minus = xz_yz_xy - wy_wx_wz;
  // Rows in storage order: m00 m01 m02 m10 | m11 m12 m20 m21 | m22.
  store4(m->m, interleave_low(interleave_low(diag, plus), interleave_high(minus, plus)));
  store4(m->m + 4, combine<2, 3, 0, 3>(interleave_low(diag, minus), interleave_low(minus, plus)));
  m->m[8] = lane<2>(diag);
}

namespace {

// The quaternion from the largest diagonal element, (I, I), of m, with
// J = quat_next_axis[I] and K = quat_next_axis[J].
template <int I> void from_largest_diagonal(const Matrix3f *m, Quatf *out)
{
  constexpr int J = quat_next_axis[I];
  constexpr int K = quat_next_axis[J];
  const float d = at(m, I, I) - (at(m, J, J) + at(m, K, K));
  float s = static_cast<float>(std::sqrt(static_cast<double>(d) + 1.0));
  out->v[I] = static_cast<float>(static_cast<double>(s) * 0.5);
  if (static_cast<double>(s) != 0.0)
    s = static_cast<float>(0.5 / static_cast<double>(s));
  out->v[W] = (at(m, K, J) - at(m, J, K)) * s;
  out->v[J] = (at(m, J, I) + at(m, I, J)) * s;
  out->v[K] = (at(m, K, I) + at(m, I, K)) * s;
}

} // namespace

void matrix3f_to_quatf(const Matrix3f *m, Quatf *out)
{
  const float tr = at(m, 0, 0) + at(m, 1, 1) + at(m, 2, 2);
  if (static_cast<double>(tr) > 0.0) {
    float s = static_cast<float>(std::sqrt(static_cast<double>(tr) + 1.0));
    out->v[W] = static_cast<float>(static_cast<double>(s) * 0.5);
    s = static_cast<float>(0.5 / static_cast<double>(s));
    out->v[X] = (at(m, 2, 1) - at(m, 1, 2)) * s;
    out->v[Y] = (at(m, 0, 2) - at(m, 2, 0)) * s;
    out->v[Z] = (at(m, 1, 0) - at(m, 0, 1)) * s;
    return;
  }

  // Work from the largest diagonal element; on a tie the lower index stays
  // (i = 0; i = 1 if m11 > m00; then i = 2 if m22 > m(i, i)).
  if (at(m, 1, 1) > at(m, 0, 0)) {
    if (at(m, 2, 2) > at(m, 1, 1))
      from_largest_diagonal<2>(m, out);
    else
      from_largest_diagonal<1>(m, out);
  } else if (at(m, 2, 2) > at(m, 0, 0)) {
    from_largest_diagonal<2>(m, out);
  } else {
    from_largest_diagonal<0>(m, out);
  }
}

void quatf_from_axis_angle(float angle, const float axis[3], Quatf *out)
{
  const float h = static_cast<float>(static_cast<double>(angle) * 0.5);
  const float s = wide_sin(h);
  const float c = wide_cos(h);
  const float x = s * axis[X], y = s * axis[Y], z = s * axis[Z];
  out->v[X] = x;
  out->v[Y] = y;
  out->v[Z] = z;
  out->v[W] = c;
}

void quatf_to_axis_angle(const Quatf *q, float *angle, float axis[3]) { to_axis_angle(q->v, angle, axis); }

void quatd_to_axis_angle(const Quatd *q, double *angle, double axis[3]) { to_axis_angle(q->v, angle, axis); }

float quatf_relative_axis_angle(const Quatf *q1, const Quatf *q2, float axis[3])
{
  Quatf d;
  quatf_inverse(q1, &d);
  quatf_multiply(&d, q2, &d);
  float angle;
  quatf_to_axis_angle(&d, &angle, axis);
  return angle;
}

void matrix4f_transform_vec4(const Matrix4f *m, const Vec4f *v, Vec4f *out)
{
  std::memset(out, 0, sizeof *out);
  for (int r = 0; r < 4; ++r) {
    const float *row = &m->m[4 * r];
    out->v[r] = row[0] * v->v[0] + row[1] * v->v[1] + row[2] * v->v[2] + row[3] * v->v[3];
  }
}
