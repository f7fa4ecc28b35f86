#include "mathlib/euler.h"

#include <cmath>

#include "mathlib/precision.h"

using mathlib_detail::wide_atan2;
using mathlib_detail::wide_cos;
using mathlib_detail::wide_sin;
using mathlib_detail::wide_sqrt;

namespace {

// Above this the first-axis term (sy or cy) is trusted to separate the first
// and third angles; at or below it the rotation is taken as gimbal-locked.
constexpr float kGimbalEpsilon = 0x1p-19f; // 1.9073486e-6

// Element (r, c) of a 4x4 row-major matrix.
inline float &at(Matrix4f *m, int r, int c) { return m->m[4 * r + c]; }
inline float at(const Matrix4f *m, int r, int c) { return m->m[4 * r + c]; }

// The order held in an EulerAngles record: w truncated toward zero. The
// conversion would be undefined for a NaN or a value outside the int range;
// such a value reads as 0, which is also what its five low bits give, as every
// float of magnitude 2^28 or more is a multiple of 32.
EulerOrder order_of(const EulerAngles *ea)
{
  const float w = ea->v[W];
  if (!(std::fabs(w) < 0x1p31f))
    return 0;
  return static_cast<EulerOrder>(w);
}

// The record's angles as the conversions to a quaternion or a matrix work on
// them: x, y, z, with the first and third exchanged for rotating axes. The
// caller's record is not changed.
void working_angles(const EulerAngles *ea, const EulerOrderFields &o, float &a, float &b, float &c)
{
  a = ea->v[X];
  b = ea->v[Y];
  c = ea->v[Z];
  if (o.frame == EULER_ROTATING) {
    a = ea->v[Z];
    c = ea->v[X];
  }
}

// Row and column W of the identity; the 3x3 block is left to the caller.
void set_identity_border(Matrix4f *m)
{
  at(m, X, W) = 0.0f;
  at(m, Y, W) = 0.0f;
  at(m, Z, W) = 0.0f;
  at(m, W, X) = 0.0f;
  at(m, W, Y) = 0.0f;
  at(m, W, Z) = 0.0f;
  at(m, W, W) = 1.0f;
}

} // namespace

EulerAngles euler_make(float x, float y, float z, EulerOrder order)
{
  return EulerAngles{{x, y, z, static_cast<float>(order)}};
}

void euler_to_quatf(const EulerAngles *ea, Quatf *out)
{
  const EulerOrderFields o = euler_unpack(order_of(ea));
  float a, b, c;
  working_angles(ea, o, a, b, c);
  if (o.parity == EULER_ODD)
    b = -b;

  const float ti = a * 0.5f;
  const float tj = b * 0.5f;
  const float th = c * 0.5f;
  const float ci = wide_cos(ti);
  const float cj = wide_cos(tj);
  const float ch = wide_cos(th);
  const float si = wide_sin(ti);
  const float sj = wide_sin(tj);
  const float sh = wide_sin(th);
  const float cc = ci * ch;
  const float cs = ci * sh;
  const float sc = si * ch;
  const float ss = si * sh;

  float v[3];
  float w;
  if (o.repetition == EULER_REPEAT) {
    v[o.i] = cj * (cs + sc);
    v[o.j] = sj * (cc + ss);
    v[o.k] = sj * (cs - sc);
    w = cj * (cc - ss);
  } else {
    v[o.i] = cj * sc - sj * cs;
    v[o.j] = cj * ss + sj * cc;
    v[o.k] = cj * cs - sj * sc;
    w = cj * cc + sj * ss;
  }
  if (o.parity == EULER_ODD)
    v[o.j] = -v[o.j];

  out->v[X] = v[X];
  out->v[Y] = v[Y];
  out->v[Z] = v[Z];
  out->v[W] = w;
}

void euler_to_matrix4f(const EulerAngles *ea, Matrix4f *m)
{
  const EulerOrderFields o = euler_unpack(order_of(ea));
  float a, b, c;
  working_angles(ea, o, a, b, c);
  if (o.parity == EULER_ODD) {
    a = -a;
    b = -b;
    c = -c;
  }

  const float ci = wide_cos(a);
  const float cj = wide_cos(b);
  const float ch = wide_cos(c);
  const float si = wide_sin(a);
  const float sj = wide_sin(b);
  const float sh = wide_sin(c);
  const float cc = ci * ch;
  const float cs = ci * sh;
  const float sc = si * ch;
  const float ss = si * sh;

  const int i = o.i, j = o.j, k = o.k;
  if (o.repetition == EULER_REPEAT) {
    at(m, i, i) = cj;
    at(m, i, j) = sj * si;
    at(m, i, k) = sj * ci;
    at(m, j, i) = sj * sh;
    at(m, j, j) = -cj * ss + cc;
    at(m, j, k) = -cj * cs - sc;
    at(m, k, i) = -sj * ch;
    at(m, k, j) = cj * sc + cs;
    at(m, k, k) = cj * cc - ss;
  } else {
    at(m, i, i) = cj * ch;
    at(m, i, j) = sj * sc - cs;
    at(m, i, k) = sj * cc + ss;
    at(m, j, i) = cj * sh;
    at(m, j, j) = sj * ss + cc;
    at(m, j, k) = sj * cs - sc;
    at(m, k, i) = -sj;
    at(m, k, j) = cj * si;
    at(m, k, k) = cj * ci;
  }
  set_identity_border(m);
}

void matrix4f_to_euler(const Matrix4f *m, EulerOrder order, EulerAngles *out)
{
  const EulerOrderFields o = euler_unpack(order);
  const int i = o.i, j = o.j, k = o.k;
  float x, y, z;
  if (o.repetition == EULER_REPEAT) {
    const float sy = wide_sqrt(at(m, i, j) * at(m, i, j) + at(m, i, k) * at(m, i, k));
    if (sy > kGimbalEpsilon) {
      x = wide_atan2(at(m, i, j), at(m, i, k));
      y = wide_atan2(sy, at(m, i, i));
      z = wide_atan2(at(m, j, i), -at(m, k, i));
    } else {
      x = wide_atan2(-at(m, j, k), at(m, j, j));
      y = wide_atan2(sy, at(m, i, i));
      z = 0.0f;
    }
  } else {
    const float cy = wide_sqrt(at(m, i, i) * at(m, i, i) + at(m, j, i) * at(m, j, i));
    if (cy > kGimbalEpsilon) {
      x = wide_atan2(at(m, k, j), at(m, k, k));
      y = wide_atan2(-at(m, k, i), cy);
      z = wide_atan2(at(m, j, i), at(m, i, i));
    } else {
      x = wide_atan2(-at(m, j, k), at(m, j, j));
      y = wide_atan2(-at(m, k, i), cy);
      z = 0.0f;
    }
  }
  if (o.parity == EULER_ODD) {
    x = -x;
    y = -y;
    z = -z;
  }
  if (o.frame == EULER_ROTATING) {
    const float t = x;
    x = z;
    z = t;
  }
  out->v[X] = x;
  out->v[Y] = y;
  out->v[Z] = z;
  out->v[W] = static_cast<float>(order);
}

void quatf_to_euler(const Quatf *q, EulerOrder order, EulerAngles *out)
{
  const float qx = q->v[X], qy = q->v[Y], qz = q->v[Z], qw = q->v[W];
  const float n = qx * qx + qy * qy + qz * qz + qw * qw;
  // Dividing by the squared norm makes any nonzero q act as its normalised form.
  const float s = static_cast<double>(n) > 0.0 ? static_cast<float>(2.0 / static_cast<double>(n)) : 0.0f;
  const float xs = qx * s, ys = qy * s, zs = qz * s;
  const float wx = qw * xs, wy = qw * ys, wz = qw * zs;
  const float xx = qx * xs, xy = qx * ys, xz = qx * zs;
  const float yy = qy * ys, yz = qy * zs, zz = qz * zs;

  Matrix4f m;
  at(&m, X, X) = static_cast<float>(1.0 - static_cast<double>(yy + zz));
  at(&m, X, Y) = xy - wz;
  at(&m, X, Z) = xz + wy;
  at(&m, Y, X) = xy + wz;
  at(&m, Y, Y) = static_cast<float>(1.0 - static_cast<double>(xx + zz));
  at(&m, Y, Z) = yz - wx;
  at(&m, Z, X) = xz - wy;
  at(&m, Z, Y) = yz + wx;
  at(&m, Z, Z) = static_cast<float>(1.0 - static_cast<double>(xx + yy));
  set_identity_border(&m);
  matrix4f_to_euler(&m, order, out);
}
