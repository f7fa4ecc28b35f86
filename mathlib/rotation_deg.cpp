#include "mathlib/rotation_deg.h"

#include <cmath>

#include "mathlib/euler.h"
#include "mathlib/precision.h"
#include "mathlib/quat.h"

using mathlib_detail::wide_acos;
using mathlib_detail::wide_atan;
using mathlib_detail::wide_sin;
using mathlib_detail::wide_sqrt;

namespace {

constexpr double kDegToRad = 0.017453292519943295; // pi / 180
constexpr double kRadToDeg = 57.29577951308232;    // 180 / pi
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kPi = 3.141592653589793;

// A radian triple as an EulerAngles record under order, each angle rounded to
// single precision.
EulerAngles record_of(const double angles[3], EulerOrder order)
{
  return euler_make(static_cast<float>(angles[X]), static_cast<float>(angles[Y]), static_cast<float>(angles[Z]),
                    order);
}

// A degree triple as an EulerAngles record under order: each angle times
// pi/180 in double, rounded to single.
EulerAngles record_of_degrees(const double angles_deg[3], EulerOrder order)
{
  const double radians[3] = {angles_deg[X] * kDegToRad, angles_deg[Y] * kDegToRad, angles_deg[Z] * kDegToRad};
  return record_of(radians, order);
}

// out = -e, in degrees: each angle negated in single precision, then widened
// and multiplied by 180/pi.
void negated_degrees(const EulerAngles *e, double out[3])
{
  for (int n = X; n <= Z; ++n)
    out[n] = static_cast<double>(-e->v[n]) * kRadToDeg;
}

// Quaternion of angle_deg (degrees) about *axis, the axis not normalised: the
// half angle in double (angle * pi/180, then / 2), its sine and cosine rounded
// to single, the vector part axis * sine in single.
Quatf quat_of_degrees(float angle_deg, const Vec3f *axis)
{
  const double half = static_cast<double>(angle_deg) * kDegToRad / 2.0;
  const float s = static_cast<float>(std::sin(half));
  return Quatf{{axis->v[X] * s, axis->v[Y] * s, axis->v[Z] * s, static_cast<float>(std::cos(half))}};
}

// *point = m * *point for the column vector (x, y, z, 0): column W of m plays
// no part.
void rotate_point(const Matrix4f *m, Vec3f *point)
{
  const Vec4f v = {{point->v[X], point->v[Y], point->v[Z], 0.0f}};
  Vec4f r;
  matrix4f_transform_vec4(m, &v, &r);
  point->v[X] = r.v[X];
  point->v[Y] = r.v[Y];
  point->v[Z] = r.v[Z];
}

// Turns *point by the rotation of q (read as its normalised form), by way of
// its EULER_XYZ_S angles and their matrix.
void rotate_point_by_quat(const Quatf *q, Vec3f *point)
{
  EulerAngles ea;
  quatf_to_euler(q, EULER_XYZ_S, &ea);
  Matrix4f m;
  euler_to_matrix4f(&ea, &m);
  rotate_point(&m, point);
}

// The matrix of the triple under order, decomposed again under to_order, as
// negated degrees.
void reorder_degrees(const EulerAngles *from, EulerOrder to_order, double out[3])
{
  Matrix4f m;
  euler_to_matrix4f(from, &m);
  EulerAngles e;
  matrix4f_to_euler(&m, to_order, &e);
  negated_degrees(&e, out);
}

} // namespace

void vec3f_rotate_axis_angle_deg(float angle_deg, const Vec3f *axis, Vec3f *point)
{
  const Quatf q = quat_of_degrees(angle_deg, axis);
  rotate_point_by_quat(&q, point);
}

void vec3f_rotate_hpb(const double hpb[3], Vec3f *point)
{
  const EulerAngles ea = record_of(hpb, EULER_HPB);
  Matrix4f m;
  euler_to_matrix4f(&ea, &m);
  rotate_point(&m, point);
}

void vec3f_rotate_hpb_inverse(const double hpb[3], Vec3f *point)
{
  const EulerAngles ea = record_of(hpb, EULER_HPB);
  Quatf q;
  euler_to_quatf(&ea, &q);
  // The conjugate: the inverse rotation of a unit quaternion.
  q.v[X] = -q.v[X];
  q.v[Y] = -q.v[Y];
  q.v[Z] = -q.v[Z];
  rotate_point_by_quat(&q, point);
}

void hpb_to_quatf(const double hpb[3], Quatf *out)
{
  const EulerAngles ea = record_of(hpb, EULER_HPB);
  euler_to_quatf(&ea, out);
}

void hpb_to_axis_angle(const double hpb[3], float *angle, Vec3f *axis)
{
  const EulerAngles ea = record_of(hpb, EULER_HPB);
  Quatf q;
  euler_to_quatf(&ea, &q);
  const float half = wide_acos(q.v[W]); // not clamped: |w| > 1 gives NaN
  const float s = wide_sin(half);
  if (s != 0.0f) { // a NaN sine takes this branch and passes on
    axis->v[X] = q.v[X] / s;
    axis->v[Y] = q.v[Y] / s;
    axis->v[Z] = q.v[Z] / s;
  } else {
    axis->v[X] = 0.0f;
    axis->v[Y] = 0.0f;
    axis->v[Z] = 0.0f;
  }
  *angle = half * 2.0f; // exact
}

void hpb_deg_to_xyz_deg(const double hpb_deg[3], double out[3])
{
  const EulerAngles ea = record_of_degrees(hpb_deg, EULER_HPB);
  reorder_degrees(&ea, EULER_XYZ_S, out);
}

void hpb_deg_to_zxy_deg(const double hpb_deg[3], double out[3])
{
  const EulerAngles ea = record_of_degrees(hpb_deg, EULER_HPB);
  reorder_degrees(&ea, EULER_ZXY_S, out);
}

void zxy_rotating_deg_to_hpb_deg(const double zxy_deg[3], double out[3])
{
  const EulerAngles ea = record_of_degrees(zxy_deg, EULER_ZXY_R);
  reorder_degrees(&ea, EULER_HPB, out);
}

void axis_angle_deg_to_xyz_deg(float angle_deg, const Vec3f *axis, double out[3])
{
  const Quatf q = quat_of_degrees(angle_deg, axis);
  EulerAngles e;
  quatf_to_euler(&q, EULER_XYZ_S, &e);
  negated_degrees(&e, out);
}

void direction_to_heading_pitch(const Vec3f *dir, double out[2])
{
  const float x = dir->v[X], y = dir->v[Y], z = dir->v[Z];
  // Comparisons are exact; a NaN fails every one of them, so it counts as
  // nonzero and never as negative. Quotients are single-precision; the arc
  // tangents, the subtraction of pi and the results are double.
  double heading, pitch;
  if (x == 0.0f && z == 0.0f) {
    heading = 0.0;
    pitch = y == 0.0f ? 0.0 : (y < 0.0f ? kHalfPi : -kHalfPi);
  } else {
    if (z == 0.0f)
      heading = x < 0.0f ? -kHalfPi : kHalfPi;
    else if (z > 0.0f)
      heading = std::atan(static_cast<double>(x / z));
    else // z < 0, or NaN
      heading = std::atan(static_cast<double>(x / z)) - kPi;

    // The horizontal length; it is 0 when both squares vanish in single precision.
    const float d = wide_sqrt(x * x + z * z);
    if (d == 0.0f)
      pitch = y < 0.0f ? kHalfPi : -kHalfPi;
    else
      pitch = -std::atan(static_cast<double>(y / d));
  }
  out[0] = heading;
  out[1] = pitch;
}
