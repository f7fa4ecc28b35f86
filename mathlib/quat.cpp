#include "mathlib/quat.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "mathlib/precision.h"

using mathlib_detail::wide_acos;
using mathlib_detail::wide_cos;
using mathlib_detail::wide_sin;
using mathlib_detail::wide_sqrt;

namespace {

// A sine of the half angle at or below this leaves the axis output as it was.
constexpr double kAxisSineEpsilon = 1e-6;

// Element (r, c) of a 3x3 row-major matrix.
inline float &at(Matrix3f *m, int r, int c) { return m->m[3 * r + c]; }
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

void quatf_multiply(const Quatf *a, const Quatf *b, Quatf *out)
{
  const float *p = a->v, *q = b->v;
  Quatf t;
  t.v[W] = p[W] * q[W] - p[X] * q[X] - p[Y] * q[Y] - p[Z] * q[Z];
  t.v[X] = p[W] * q[X] + p[X] * q[W] + p[Y] * q[Z] - p[Z] * q[Y];
  t.v[Y] = p[W] * q[Y] + p[Y] * q[W] + p[Z] * q[X] - p[X] * q[Z];
  t.v[Z] = p[W] * q[Z] + p[Z] * q[W] + p[X] * q[Y] - p[Y] * q[X];
  std::memcpy(out, &t, sizeof t);
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

void quatf_to_matrix3f(const Quatf *q, Matrix3f *m)
{
  const float x = q->v[X], y = q->v[Y], z = q->v[Z], w = q->v[W];
  const float n = x * x + y * y + z * z + w * w;
  // Dividing by the squared norm makes any nonzero q act as its normalised form.
  const float s = static_cast<double>(n) == 0.0 ? 1.0f : static_cast<float>(2.0 / static_cast<double>(n));
  const float xs = x * s, ys = y * s, zs = z * s;
  const float wx = w * xs, wy = w * ys, wz = w * zs;
  const float xx = x * xs, xy = x * ys, xz = x * zs;
  const float yy = y * ys, yz = y * zs, zz = z * zs;

  at(m, 0, 0) = static_cast<float>(1.0 - static_cast<double>(yy + zz));
  at(m, 0, 1) = xy - wz;
  at(m, 0, 2) = xz + wy;
  at(m, 1, 0) = xy + wz;
  at(m, 1, 1) = static_cast<float>(1.0 - static_cast<double>(xx + zz));
  at(m, 1, 2) = yz - wx;
  at(m, 2, 0) = xz - wy;
  at(m, 2, 1) = yz + wx;
  at(m, 2, 2) = static_cast<float>(1.0 - static_cast<double>(xx + yy));
}

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

  // Work from the largest diagonal element; on a tie the lower index stays.
  int i = 0;
  if (at(m, 1, 1) > at(m, 0, 0))
    i = 1;
  if (at(m, 2, 2) > at(m, i, i))
    i = 2;
  const int j = quat_next_axis[i];
  const int k = quat_next_axis[j];
  const float d = at(m, i, i) - (at(m, j, j) + at(m, k, k));
  float s = static_cast<float>(std::sqrt(static_cast<double>(d) + 1.0));
  out->v[i] = static_cast<float>(static_cast<double>(s) * 0.5);
  if (static_cast<double>(s) != 0.0)
    s = static_cast<float>(0.5 / static_cast<double>(s));
  out->v[W] = (at(m, k, j) - at(m, j, k)) * s;
  out->v[j] = (at(m, j, i) + at(m, i, j)) * s;
  out->v[k] = (at(m, k, i) + at(m, i, k)) * s;
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
