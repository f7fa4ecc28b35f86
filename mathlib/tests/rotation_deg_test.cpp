#include "mathlib/rotation_deg.h"

#include "mathlib/tests/test_util.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace {

using Eigen::AngleAxisd;
using Eigen::Matrix3d;
using Eigen::Vector3d;
using test_util::same_bits;

constexpr double kPi = std::numbers::pi;
constexpr double kHalfPi = kPi / 2;
constexpr double kQuarterPi = kPi / 4;
constexpr double kDeg = kPi / 180; // one degree in radians
constexpr float kNaNf = std::numeric_limits<float>::quiet_NaN();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kRoot2Half = std::sqrt(0.5);

using Result = std::vector<double>;

Result values(const Vec3f &v) { return {v.v[X], v.v[Y], v.v[Z]}; }
Result values(const Quatf &q) { return {q.v[X], q.v[Y], q.v[Z], q.v[W]}; }
Result values(const double *a, int n) { return Result(a, a + n); }

// ---- the operations, each with its inputs in a plain form ---------------------

Result rotate_axis_angle_deg(float angle, Vec3f axis, Vec3f point)
{
  vec3f_rotate_axis_angle_deg(angle, &axis, &point);
  return values(point);
}

Result rotate_hpb(const double hpb[3], Vec3f point)
{
  vec3f_rotate_hpb(hpb, &point);
  return values(point);
}

Result rotate_hpb_inverse(const double hpb[3], Vec3f point)
{
  vec3f_rotate_hpb_inverse(hpb, &point);
  return values(point);
}

Result to_quat(const double hpb[3])
{
  Quatf q;
  hpb_to_quatf(hpb, &q);
  return values(q);
}

// Angle first, then the axis.
Result to_axis_angle(const double hpb[3])
{
  float angle;
  Vec3f axis;
  hpb_to_axis_angle(hpb, &angle, &axis);
  return {angle, axis.v[X], axis.v[Y], axis.v[Z]};
}

using Reexpress = void (*)(const double[3], double[3]);

Result reexpress(Reexpress f, const double in[3])
{
  double out[3];
  f(in, out);
  return values(out, 3);
}

Result axis_angle_to_xyz(float angle, Vec3f axis)
{
  double out[3];
  axis_angle_deg_to_xyz_deg(angle, &axis, out);
  return values(out, 3);
}

Result heading_pitch(Vec3f dir)
{
  double out[2];
  direction_to_heading_pitch(&dir, out);
  return values(out, 2);
}

// ---- Eigen references ------------------------------------------------------------

Matrix3d turn(int axis, double angle) { return AngleAxisd(angle, Vector3d::Unit(axis)).toRotationMatrix(); }

// Ra(ta) Rb(tb) Rc(tc): the turn about c applied first.
Matrix3d turns(int a, double ta, int b, double tb, int c, double tc) { return turn(a, ta) * turn(b, tb) * turn(c, tc); }

// RY(h) RX(p) RZ(b), each angle as the single-precision value the operations use.
Matrix3d hpb_rotation(const double hpb[3])
{
  return turns(Y, static_cast<float>(hpb[0]), X, static_cast<float>(hpb[1]), Z, static_cast<float>(hpb[2]));
}

Vector3d widen(const Vec3f &v) { return Vector3d(v.v[X], v.v[Y], v.v[Z]); }

// Largest difference between two rotation matrices, element by element.
double matrix_error(const Matrix3d &a, const Matrix3d &b) { return (a - b).cwiseAbs().maxCoeff(); }

// Values from std::mt19937 through our own mapping: the top 24 bits of a draw,
// scaled by 2^-24, are exact in double, so every target sees the same inputs.
class Source {
public:
  double uniform(double lo, double hi) { return lo + (hi - lo) * (static_cast<double>(gen_() >> 8) * 0x1p-24); }
  // Components drawn in the order x, y, z (a braced list is evaluated in order).
  Vec3f vec3f(double lo, double hi)
  {
    return {{static_cast<float>(uniform(lo, hi)), static_cast<float>(uniform(lo, hi)),
             static_cast<float>(uniform(lo, hi))}};
  }
  // A direction in the cube [-1, 1)^3, kept away from the zero vector.
  Vec3f direction()
  {
    for (;;) {
      const Vec3f v = vec3f(-1, 1);
      const double x = v.v[X], y = v.v[Y], z = v.v[Z];
      if (x * x + y * y + z * z > 0.05 * 0.05)
        return v;
    }
  }

private:
  std::mt19937 gen_{20240613u};
};

constexpr int kRandomCases = 500;

// ---- worked values ---------------------------------------------------------------

// Catches a wrong order code, axis, sign, unit or negation in any operation,
// and a wrong branch of direction_to_heading_pitch: the hand-worked results of
// simple inputs, which hold to a few units of single precision (in degrees,
// scaled by 57.3).
TEST(RotationDeg, WorkedValues)
{
  constexpr double kUnit = 1e-6;  // results of magnitude about 1
  constexpr double kDegs = 2e-5;  // results in degrees
  const Vec3f ex = {{1, 0, 0}}, ez = {{0, 0, 1}};
  struct Case {
    const char *what;
    Result got;
    Result want;
    double tol;
  };
  const double yaw90[3] = {kHalfPi, 0, 0}, pitch90[3] = {0, kHalfPi, 0}, bank90[3] = {0, 0, kHalfPi};
  const double zero[3] = {0, 0, 0}, full_turn[3] = {2 * kPi, 0, 0};
  const double h30[3] = {30, 0, 0}, p30[3] = {0, 30, 0}, b30[3] = {0, 0, 30}, h90[3] = {90, 0, 0};
  const double hpb_10_20_30[3] = {10, 20, 30};
  const Case cases[] = {
      {"axis angle: 90 about Z takes X to Y", rotate_axis_angle_deg(90, ez, ex), {0, 1, 0}, kUnit},
      // The quaternion (0, 0, 2 sin 45, cos 45) turns by 2 atan 2: (cos, sin) = (-0.6, 0.8).
      {"axis angle: 90 about (0, 0, 2) turns by 2 atan 2", rotate_axis_angle_deg(90, {{0, 0, 2}}, ex), {-0.6, 0.8, 0},
       kUnit},
      {"rotate hpb: heading takes +Z to +X", rotate_hpb(yaw90, ez), {1, 0, 0}, kUnit},
      {"rotate hpb: pitch takes +Z to -Y", rotate_hpb(pitch90, ez), {0, -1, 0}, kUnit},
      {"rotate hpb: bank takes +X to +Y", rotate_hpb(bank90, ex), {0, 1, 0}, kUnit},
      {"rotate hpb inverse: heading back from +X to +Z", rotate_hpb_inverse(yaw90, ex), {0, 0, 1}, kUnit},
      {"hpb to quat: identity", to_quat(zero), {0, 0, 0, 1}, 0},
      {"hpb to quat: heading 90 about Y", to_quat(yaw90), {0, kRoot2Half, 0, kRoot2Half}, kUnit},
      {"hpb to axis angle: identity has zero axis", to_axis_angle(zero), {0, 0, 0, 0}, 0},
      {"hpb to axis angle: heading 90 about Y", to_axis_angle(yaw90), {kHalfPi, 0, 1, 0}, kUnit},
      // The sine of the half angle is about -8.7e-8 here: no threshold, so the axis is still written.
      {"hpb to axis angle: full turn about Y", to_axis_angle(full_turn), {2 * kPi, 0, 1, 0}, kUnit},
      {"hpb to xyz: heading 30", reexpress(hpb_deg_to_xyz_deg, h30), {0, -30, 0}, kDegs},
      {"hpb to xyz: pitch 30", reexpress(hpb_deg_to_xyz_deg, p30), {-30, 0, 0}, kDegs},
      {"hpb to xyz: bank 30", reexpress(hpb_deg_to_xyz_deg, b30), {0, 0, -30}, kDegs},
      {"hpb to xyz: heading 90, gimbal-locked", reexpress(hpb_deg_to_xyz_deg, h90), {0, -90, 0}, kDegs},
      {"hpb to zxy: reversed and negated", reexpress(hpb_deg_to_zxy_deg, hpb_10_20_30), {-30, -20, -10}, kDegs},
      {"zxy rotating to hpb: Z first", reexpress(zxy_rotating_deg_to_hpb_deg, h30), {0, 0, -30}, kDegs},
      {"zxy rotating to hpb: X", reexpress(zxy_rotating_deg_to_hpb_deg, p30), {0, -30, 0}, kDegs},
      {"zxy rotating to hpb: Y last", reexpress(zxy_rotating_deg_to_hpb_deg, b30), {-30, 0, 0}, kDegs},
      {"axis angle to xyz: 90 about Z", axis_angle_to_xyz(90, ez), {0, 0, -90}, kDegs},
      {"axis angle to xyz: 90 about X", axis_angle_to_xyz(90, ex), {-90, 0, 0}, kDegs},
      {"direction: zero", heading_pitch({{0, 0, 0}}), {0, 0}, 0},
      {"direction: up", heading_pitch({{0, 1, 0}}), {0, -kHalfPi}, kUnit},
      {"direction: down", heading_pitch({{0, -1, 0}}), {0, kHalfPi}, kUnit},
      {"direction: +X", heading_pitch({{1, 0, 0}}), {kHalfPi, 0}, kUnit},
      {"direction: -X", heading_pitch({{-1, 0, 0}}), {-kHalfPi, 0}, kUnit},
      {"direction: -Z", heading_pitch({{0, 0, -1}}), {-kPi, 0}, kUnit},
      {"direction: +X -Z", heading_pitch({{1, 0, -1}}), {-5 * kQuarterPi, 0}, kUnit},
      {"direction: -X -Z", heading_pitch({{-1, 0, -1}}), {-3 * kQuarterPi, 0}, kUnit},
      {"direction: +Y +Z", heading_pitch({{0, 1, 1}}), {0, -kQuarterPi}, kUnit},
      // 1e-30 squared vanishes in single precision: horizontal length 0.
      {"direction: squares vanish, up", heading_pitch({{1e-30f, 5, 1e-30f}}), {kQuarterPi, -kHalfPi}, kUnit},
      {"direction: squares vanish, down", heading_pitch({{1e-30f, -5, 1e-30f}}), {kQuarterPi, kHalfPi}, kUnit},
      {"direction: squares vanish, -Z", heading_pitch({{-1e-30f, 5, -1e-30f}}), {-3 * kQuarterPi, -kHalfPi},
       kUnit},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(c.got.size(), c.want.size());
    for (size_t n = 0; n < c.got.size(); ++n)
      EXPECT_NEAR(c.got[n], c.want[n], c.tol) << "[" << n << "]";
  }
}

// ---- exact bits --------------------------------------------------------------------

// Catches arithmetic in another precision than the one written: degrees to
// radians in single precision, the half angle rounded to single before its
// sine, a result in degrees rounded to single, a fused multiply-add, or a
// rotation by another chain of conversions. The bits come from a separate
// model of the chains (single-precision products and sums in the written
// order, library functions in double rounded to single) and hold on every
// target.
TEST(RotationDeg, ExactBits)
{
  const Vec3f axis = {{0.36f, 0.48f, -0.8f}}, point = {{1.5f, -2.25f, 0.75f}};
  const double hpb[3] = {0.3, -0.7, 1.1}, deg[3] = {25.3, -40.7, 70.1};
  struct Case {
    const char *what;
    Result got;
    Result want;
  };
  const Case cases[] = {
      {"rotate axis angle deg", rotate_axis_angle_deg(37.5f, axis, point),
       {0x1.d42f48p-3f, -0x1.65811p+1f, -0x1.2ef4f8p-3f}},
      {"rotate hpb", rotate_hpb(hpb, point), {0x1.5665bep+1f, 0x1.733608p-1f, -0x1.c2d2a4p-2f}},
      {"rotate hpb inverse", rotate_hpb_inverse(hpb, point), {-0x1.a66b1cp+0f, -0x1.197b4p+1f, -0x1.1ff802p-1f}},
      {"hpb to quat", to_quat(hpb), {-0x1.b9b274p-3f, 0x1.300458p-2f, 0x1.0eef5ap-1f, 0x1.87b63cp-1f}},
      {"hpb to axis angle", to_axis_angle(hpb), {0x1.6639ap+0f, -0x1.56f4acp-2f, 0x1.d81ba8p-2f, 0x1.a4bc28p-1f}},
      {"hpb deg to xyz deg", reexpress(hpb_deg_to_xyz_deg, deg),
       {-0x1.05b5ca4d2c97cp+4, -0x1.634b8a0c2fd67p+5, -0x1.595488c0b1eb5p+6}},
      {"hpb deg to zxy deg", reexpress(hpb_deg_to_zxy_deg, deg),
       {-0x1.18666685ff4c9p+6, 0x1.45999a2255625p+5, -0x1.94cccda8589dp+4}},
      {"zxy rotating deg to hpb deg", reexpress(zxy_rotating_deg_to_hpb_deg, deg),
       {-0x1.1c8ace58849dep+6, 0x1.28663afbe384fp+5, 0x1.ed17025a682afp+4}},
      {"axis angle deg to xyz deg", axis_angle_to_xyz(37.5f, axis),
       {-0x1.12d869c9cd66fp+3, -0x1.497b0831c7016p+4, 0x1.cd2ac3d74b9ccp+4}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(c.got.size(), c.want.size());
    for (size_t n = 0; n < c.got.size(); ++n)
      EXPECT_TRUE(same_bits(c.got[n], c.want[n])) << "[" << n << "]: " << std::hexfloat << c.got[n];
  }
}

// Catches a quotient formed in double instead of single, or heading and pitch
// rounded to single: the double results of direction_to_heading_pitch. Their
// arc tangent is the C library's in double, which may differ between targets
// in the last bit, so they hold to a few units of double precision.
TEST(RotationDeg, HeadingPitchInDouble)
{
  const struct {
    Vec3f dir;
    double want[2];
  } cases[] = {
      // atan(0.3f / -1.1f) - pi, -atan(-0.7f / sqrt(0.3f^2 + 1.1f^2)), single quotients
      {{{0.3f, -0.7f, -1.1f}}, {std::atan(static_cast<double>(0.3f / -1.1f)) - kPi,
                                -std::atan(static_cast<double>(-0.7f / static_cast<float>(std::sqrt(
                                                                           static_cast<double>(0.3f * 0.3f + -1.1f * -1.1f)))))}},
      {{{1, 0, -1}}, {-5 * kQuarterPi, 0}},
      {{{0, 1, 1}}, {0, -kQuarterPi}},
      {{{0, -1, 0}}, {0, kHalfPi}},
  };
  for (const auto &c : cases) {
    const Result got = heading_pitch(c.dir);
    for (int n = 0; n < 2; ++n)
      EXPECT_NEAR(got[n], c.want[n], 4e-16 * std::fmax(1.0, std::fabs(c.want[n]))) << std::hexfloat << got[n];
  }
  // Exactly the constants where the result is one.
  EXPECT_EQ(heading_pitch({{0, 1, 0}})[1], -1.5707963267948966);
  EXPECT_EQ(heading_pitch({{-1, 0, 0}})[0], -1.5707963267948966);
}

// ---- properties over random inputs --------------------------------------------------

// Catches a forward rotation that is wrong (checked against Eigen's
// RY(h) RX(p) RZ(b)) and an inverse that is not its inverse: a conjugate
// missed or applied twice, or a transposed matrix. Angles range beyond the
// decompositions' output ranges.
TEST(RotationDeg, RotateHpbThenInverseReturnsThePoint)
{
  Source src;
  double forward = 0, back = 0;
  for (int n = 0; n < kRandomCases; ++n) {
    const double hpb[3] = {src.uniform(-7, 7), src.uniform(-7, 7), src.uniform(-7, 7)};
    const Vec3f p = src.vec3f(-10, 10);
    Vec3f q = p;
    vec3f_rotate_hpb(hpb, &q);
    forward = std::fmax(forward, (widen(q) - hpb_rotation(hpb) * widen(p)).norm() / widen(p).norm());
    vec3f_rotate_hpb_inverse(hpb, &q);
    back = std::fmax(back, (widen(q) - widen(p)).norm() / widen(p).norm());
  }
  // The way back runs through Euler angles, which lose digits near their
  // gimbal lock.
  EXPECT_LE(forward, 1e-6);
  EXPECT_LE(back, 1e-5);
}

// Catches a wrong heading branch (the -pi for z < 0, the sign at z = 0), a
// pitch of the wrong sign or from the wrong length, and results out of range:
// heading and pitch must turn +Z into the unit direction.
TEST(RotationDeg, HeadingPitchTurnPlusZToTheDirection)
{
  const double lowest = -1.5 * kPi, highest = kHalfPi;
  Source src;
  double worst = 0;
  bool in_range = true;
  std::vector<Vec3f> dirs = {{{1, 0, 0}}, {{-1, 0, 0}}, {{0.5f, -2, 0}}, {{-3, 1, 0}}, {{0, 0, -4}}, {{0, 1, -1}}};
  for (int n = 0; n < kRandomCases; ++n)
    dirs.push_back(src.direction());
  for (const Vec3f &v : dirs) {
    double hp[2];
    direction_to_heading_pitch(&v, hp);
    in_range = in_range && hp[0] >= lowest && hp[0] <= highest && std::fabs(hp[1]) <= highest;
    const double hpb[3] = {hp[0], hp[1], 0};
    Vec3f z = {{0, 0, 1}};
    vec3f_rotate_hpb(hpb, &z);
    worst = std::fmax(worst, (widen(z) - widen(v).normalized()).norm());
  }
  EXPECT_TRUE(in_range);
  EXPECT_LE(worst, 1e-6);
}

// Catches a wrong half angle, degree factor or quaternion-to-rotation chain:
// with a unit axis the point must turn as under Eigen's angle-axis rotation,
// and the angles axis_angle_deg_to_xyz_deg gives, negated, must be the XYZ
// static angles of that rotation (RZ(z) RY(y) RX(x)).
TEST(RotationDeg, AxisAngleDegAgreesWithEigen)
{
  Source src;
  double point_error = 0, angle_error = 0;
  for (int n = 0; n < kRandomCases; ++n) {
    const Vector3d unit = widen(src.direction()).normalized();
    const Vec3f axis = {{static_cast<float>(unit.x()), static_cast<float>(unit.y()), static_cast<float>(unit.z())}};
    const float angle = static_cast<float>(src.uniform(-720, 720));
    const Vec3f p = src.vec3f(-10, 10);
    const Matrix3d want = AngleAxisd(angle * kDeg, widen(axis).normalized()).toRotationMatrix();

    Vec3f q = p;
    vec3f_rotate_axis_angle_deg(angle, &axis, &q);
    point_error = std::fmax(point_error, (widen(q) - want * widen(p)).norm() / widen(p).norm());

    double xyz[3];
    axis_angle_deg_to_xyz_deg(angle, &axis, xyz);
    const Matrix3d got = turns(Z, -xyz[2] * kDeg, Y, -xyz[1] * kDeg, X, -xyz[0] * kDeg);
    angle_error = std::fmax(angle_error, matrix_error(got, want));
  }
  // Both run through XYZ angles, which lose digits near their gimbal lock.
  EXPECT_LE(point_error, 1e-5);
  EXPECT_LE(angle_error, 2e-5);
}

// Catches a wrong order code or a missed negation in the conversions between
// orders, and an axis or angle that does not describe the rotation: the
// result, read back through Eigen's elementary rotations, must be the input
// rotation.
TEST(RotationDeg, ReexpressedAnglesDescribeTheSameRotation)
{
  struct Case {
    const char *what;
    bool radians;                          // input in radians, else in degrees
    Matrix3d (*input)(const double in[3]); // the rotation the input stands for
    Matrix3d (*output)(const double in[3]); // the rotation the result stands for
  };
  const Case cases[] = {
      {"hpb deg to xyz deg", false,
       [](const double in[3]) { return turns(Y, in[0] * kDeg, X, in[1] * kDeg, Z, in[2] * kDeg); },
       [](const double in[3]) {
         double o[3];
         hpb_deg_to_xyz_deg(in, o);
         return turns(Z, -o[2] * kDeg, Y, -o[1] * kDeg, X, -o[0] * kDeg);
       }},
      {"hpb deg to zxy deg", false,
       [](const double in[3]) { return turns(Y, in[0] * kDeg, X, in[1] * kDeg, Z, in[2] * kDeg); },
       [](const double in[3]) {
         double o[3];
         hpb_deg_to_zxy_deg(in, o);
         return turns(Y, -o[2] * kDeg, X, -o[1] * kDeg, Z, -o[0] * kDeg);
       }},
      {"zxy rotating deg to hpb deg", false,
       [](const double in[3]) { return turns(Z, in[0] * kDeg, X, in[1] * kDeg, Y, in[2] * kDeg); },
       [](const double in[3]) {
         double o[3];
         zxy_rotating_deg_to_hpb_deg(in, o);
         return turns(Y, -o[0] * kDeg, X, -o[1] * kDeg, Z, -o[2] * kDeg);
       }},
      {"hpb to axis angle (radians)", true, [](const double in[3]) { return hpb_rotation(in); },
       [](const double in[3]) {
         float angle;
         Vec3f axis;
         hpb_to_axis_angle(in, &angle, &axis);
         return AngleAxisd(angle, widen(axis)).toRotationMatrix();
       }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Source src;
    double worst = 0;
    for (int n = 0; n < kRandomCases; ++n) {
      // Angles up to 400 degrees, or as many radians as that is.
      const double unit = c.radians ? kDeg : 1.0;
      const double in[3] = {src.uniform(-400, 400) * unit, src.uniform(-400, 400) * unit,
                            src.uniform(-400, 400) * unit};
      worst = std::fmax(worst, matrix_error(c.output(in), c.input(in)));
    }
    EXPECT_LE(worst, 1e-5);
  }
}

// ---- guards and special cases -------------------------------------------------------

// Catches a missing zero-axis guard on the way to the rotation: the zero
// axis gives the zero vector part, which must read as no rotation at all, for
// any angle, with the point kept bit for bit and zero angles.
TEST(RotationDeg, ZeroAxisIsTheIdentity)
{
  const Vec3f zero_axis = {{0, 0, 0}};
  const Vec3f p = {{0.3f, -1.2f, 2.5f}};
  for (float angle : {0.0f, 37.0f, 180.0f, -270.0f, 540.0f}) {
    SCOPED_TRACE(angle);
    Vec3f q = p;
    vec3f_rotate_axis_angle_deg(angle, &zero_axis, &q);
    for (int n = 0; n < 3; ++n)
      EXPECT_TRUE(same_bits(q.v[n], p.v[n])) << n;
    double xyz[3];
    axis_angle_deg_to_xyz_deg(angle, &zero_axis, xyz);
    EXPECT_EQ(xyz[0], 0.0);
    EXPECT_EQ(xyz[1], 0.0);
    EXPECT_EQ(xyz[2], 0.0);
  }
}

// Catches a NaN that is lost in an arc tangent or arc cosine, and guards
// that treat a NaN as 0: it passes through the quotients, while the branches
// that only compare (vertical case, x sign at z = 0, y sign at a vanishing
// length) turn it into their "otherwise" value.
TEST(RotationDeg, NaNPassesThroughWhereItIsComputedWith)
{
  struct Case {
    const char *what;
    Result got;
    Result want; // NaN where NaN is expected
  };
  const double nan_hpb[3] = {0, kNaN, 0};
  const Case cases[] = {
      {"rotate hpb", rotate_hpb(nan_hpb, {{1, 2, 3}}), {kNaN, kNaN, kNaN}},
      {"rotate axis angle", rotate_axis_angle_deg(kNaNf, {{0, 0, 1}}, {{1, 2, 3}}), {kNaN, kNaN, kNaN}},
      {"hpb to axis angle: NaN sine takes the division", to_axis_angle(nan_hpb), {kNaN, kNaN, kNaN, kNaN}},
      {"direction: NaN x", heading_pitch({{kNaNf, 1, 1}}), {kNaN, kNaN}},
      {"direction: NaN y", heading_pitch({{1, kNaNf, 1}}), {kQuarterPi, kNaN}},
      {"direction: NaN z", heading_pitch({{0, 0, kNaNf}}), {kNaN, kNaN}},
      {"direction: NaN x at z = 0, heading from the sign test", heading_pitch({{kNaNf, 1, 0}}), {kHalfPi, kNaN}},
      {"direction: NaN y, vertical", heading_pitch({{0, kNaNf, 0}}), {0, -kHalfPi}},
      {"direction: NaN y, squares vanish", heading_pitch({{1e-30f, kNaNf, 1e-30f}}), {kQuarterPi, -kHalfPi}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(c.got.size(), c.want.size());
    for (size_t n = 0; n < c.got.size(); ++n) {
      if (std::isnan(c.want[n]))
        EXPECT_TRUE(std::isnan(c.got[n])) << "[" << n << "]: " << c.got[n];
      else
        EXPECT_NEAR(c.got[n], c.want[n], 1e-6) << "[" << n << "]";
    }
  }
}

// Catches an operation that writes its output while still reading an input
// in the same storage: in place, each call must give the bits of the same
// call with separate storage.
TEST(RotationDeg, SharedStorageGivesSameResult)
{
  const double deg[3] = {25.3, -40.7, 70.1};
  for (Reexpress f : {hpb_deg_to_xyz_deg, hpb_deg_to_zxy_deg, zxy_rotating_deg_to_hpb_deg}) {
    double separate[3], shared[3] = {deg[0], deg[1], deg[2]};
    f(deg, separate);
    f(shared, shared);
    for (int n = 0; n < 3; ++n)
      EXPECT_TRUE(same_bits(shared[n], separate[n])) << n;
  }
  const Vec3f v = {{0.36f, 0.48f, -0.8f}};
  Vec3f separate = v, shared = v;
  vec3f_rotate_axis_angle_deg(37.5f, &v, &separate);
  vec3f_rotate_axis_angle_deg(37.5f, &shared, &shared);
  for (int n = 0; n < 3; ++n)
    EXPECT_TRUE(same_bits(shared.v[n], separate.v[n])) << n;
}

} // namespace
