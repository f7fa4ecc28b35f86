#include "mathlib/euler.h"

#include "mathlib/tests/test_util.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

using Eigen::AngleAxisd;
using Eigen::Matrix3d;
using Eigen::Quaterniond;
using Eigen::Vector3d;
using test_util::same_bits;

constexpr float kHalfPi = 1.57079632679489662f; // rounds to 1.57079637, above pi/2
constexpr float kPi = 3.14159265358979324f;     // rounds to 3.14159274, above pi
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// The axes an order code names, worked out here from its bit layout alone:
// i from the inner-axis field (3 reads as X), j after i in X -> Y -> Z -> X
// for even parity and before it for odd parity, k the remaining axis, and c
// the axis of the third turn (i with repetition, k without).
struct CodeAxes {
  int i, j, k, c;
  bool odd, repeats, rotating;
};

CodeAxes code_axes(int code)
{
  CodeAxes a{};
  const int inner = (code >> 3) & 3;
  a.odd = (code & 4) != 0;
  a.repeats = (code & 2) != 0;
  a.rotating = (code & 1) != 0;
  a.i = inner == 3 ? 0 : inner;
  a.j = (a.i + (a.odd ? 2 : 1)) % 3;
  a.k = 3 - a.i - a.j;
  a.c = a.repeats ? a.i : a.k;
  return a;
}

AngleAxisd turn(int axis, double angle) { return AngleAxisd(angle, Vector3d::Unit(axis)); }

// The rotation an order gives to (x, y, z), built from Eigen's elementary
// rotations: Rc(z) Rj(y) Ri(x) on static axes, Rc(x) Rj(y) Ri(z) on rotating ones.
Matrix3d expected_matrix(int code, float x, float y, float z)
{
  const CodeAxes a = code_axes(code);
  const double first = a.rotating ? z : x;
  const double last = a.rotating ? x : z;
  return turn(a.c, last).toRotationMatrix() * turn(a.j, y).toRotationMatrix() * turn(a.i, first).toRotationMatrix();
}

// The same rotation as a product of Eigen's elementary quaternions.
Quaterniond expected_quat(int code, float x, float y, float z)
{
  const CodeAxes a = code_axes(code);
  const double first = a.rotating ? z : x;
  const double last = a.rotating ? x : z;
  return Quaterniond(turn(a.c, last)) * Quaterniond(turn(a.j, y)) * Quaterniond(turn(a.i, first));
}

struct Angles {
  float x, y, z;
};

// Every combination of the given first/third and middle angles.
std::vector<Angles> combine(const std::vector<float> &outer, const std::vector<float> &middle)
{
  std::vector<Angles> out;
  for (float x : outer)
    for (float y : middle)
      for (float z : outer)
        out.push_back({x, y, z});
  return out;
}

// Angles anywhere, also outside the ranges the conversions back return.
std::vector<Angles> any_angles()
{
  return combine({-5.5f, -3.0f, -1.7f, -0.4f, 0.0f, 0.9f, 2.2f, 3.1f, 4.0f},
                 {-2.5f, -1.3f, -0.6f, 0.0f, 0.25f, 1.1f, 2.0f, 2.8f});
}

// Angles inside the output ranges of the conversions back, for this order,
// and clear of the gimbal-locked middle angles.
std::vector<Angles> in_range_angles(int code)
{
  const CodeAxes a = code_axes(code);
  std::vector<float> middle = {-1.3f, -0.6f, 0.0f, 0.25f, 1.1f};
  if (a.repeats) {
    middle = {0.35f, 1.2f, 2.0f, 2.8f};
    if (a.odd)
      for (float &m : middle)
        m = -m;
  }
  return combine({-3.0f, -1.7f, -0.4f, 0.0f, 0.9f, 2.2f, 3.1f}, middle);
}

Matrix4f to_matrix4f(const Matrix3d &r)
{
  Matrix4f m{};
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col)
      m.m[4 * row + col] = static_cast<float>(r(row, col));
  m.m[15] = 1.0f;
  return m;
}

Matrix4f matrix_of(float x, float y, float z, EulerOrder code)
{
  const EulerAngles ea = euler_make(x, y, z, code);
  Matrix4f m;
  euler_to_matrix4f(&ea, &m);
  return m;
}

bool same_record(const EulerAngles &a, const EulerAngles &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Largest difference between the angles returned and those put in.
double angle_error(const EulerAngles &out, const Angles &in)
{
  return std::fmax(std::fabs(out.v[X] - in.x), std::fmax(std::fabs(out.v[Y] - in.y), std::fabs(out.v[Z] - in.z)));
}

// A few units of single precision on values of magnitude up to 1.
constexpr double kElementTolerance = 4 * 0x1p-23;
// Angles read back through atan2 of rounded elements, away from gimbal lock.
constexpr double kAngleTolerance = 1e-6;

// Catches a wrong axis, sign, sequence or frame in the matrix formulas of
// any order, and a call that changes the caller's record.
TEST(EulerToMatrix, MatchesEigenElementaryRotationsForEveryOrder)
{
  for (int code = 0; code < 24; ++code) {
    double worst = 0;
    bool border_ok = true, record_kept = true;
    for (const Angles &a : any_angles()) {
      const EulerAngles ea = euler_make(a.x, a.y, a.z, code);
      EulerAngles arg = ea;
      Matrix4f m;
      euler_to_matrix4f(&arg, &m);
      record_kept = record_kept && same_record(arg, ea);
      const Matrix3d want = expected_matrix(code, a.x, a.y, a.z);
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
          worst = std::fmax(worst, std::fabs(m.m[4 * r + c] - want(r, c)));
      border_ok = border_ok && m.m[3] == 0 && m.m[7] == 0 && m.m[11] == 0 && m.m[12] == 0 && m.m[13] == 0 &&
                  m.m[14] == 0 && m.m[15] == 1;
    }
    EXPECT_LE(worst, kElementTolerance) << "code " << code;
    EXPECT_TRUE(border_ok) << "code " << code;
    EXPECT_TRUE(record_kept) << "code " << code;
  }
}

// Catches a quaternion formula that disagrees with the matrix meaning of the
// order, or whose sign differs from the product of the elementary turns.
TEST(EulerToQuat, MatchesEigenElementaryQuaternionsForEveryOrder)
{
  for (int code = 0; code < 24; ++code) {
    double worst = 0;
    bool record_kept = true;
    for (const Angles &a : any_angles()) {
      const EulerAngles ea = euler_make(a.x, a.y, a.z, code);
      EulerAngles arg = ea;
      Quatf q;
      euler_to_quatf(&arg, &q);
      record_kept = record_kept && same_record(arg, ea);
      const Quaterniond want = expected_quat(code, a.x, a.y, a.z);
      for (int n = 0; n < 4; ++n)
        worst = std::fmax(worst, std::fabs(q.v[n] - want.coeffs()[n])); // Eigen stores x, y, z, w too
    }
    EXPECT_LE(worst, kElementTolerance) << "code " << code;
    EXPECT_TRUE(record_kept) << "code " << code;
  }
}

// Catches element lookups, signs or the final exchange in the way back, fed
// with Eigen's matrix so that no error of the way there can cancel one here.
TEST(MatrixToEuler, RecoversAnglesInsideOutputRangesForEveryOrder)
{
  for (int code = 0; code < 24; ++code) {
    double worst = 0;
    bool order_stored = true;
    for (const Angles &a : in_range_angles(code)) {
      const Matrix4f m = to_matrix4f(expected_matrix(code, a.x, a.y, a.z));
      EulerAngles out;
      matrix4f_to_euler(&m, code, &out);
      worst = std::fmax(worst, angle_error(out, a));
      order_stored = order_stored && out.v[W] == static_cast<float>(code);
    }
    EXPECT_LE(worst, kAngleTolerance) << "code " << code;
    EXPECT_TRUE(order_stored) << "code " << code;
  }
}

// Catches a wrong quaternion-to-matrix step, including with a non-unit
// quaternion (Eigen's, scaled by 3), which must read as its normalised form.
TEST(QuatToEuler, RecoversAnglesInsideOutputRangesForEveryOrder)
{
  for (int code = 0; code < 24; ++code) {
    double worst = 0;
    for (const Angles &a : in_range_angles(code)) {
      const Quaterniond e = expected_quat(code, a.x, a.y, a.z);
      for (double scale : {1.0, 3.0}) {
        const Quatf q = {{static_cast<float>(e.x() * scale), static_cast<float>(e.y() * scale),
                          static_cast<float>(e.z() * scale), static_cast<float>(e.w() * scale)}};
        EulerAngles out;
        quatf_to_euler(&q, code, &out);
        worst = std::fmax(worst, angle_error(out, a));
        EXPECT_EQ(out.v[W], static_cast<float>(code));
      }
    }
    EXPECT_LE(worst, kAngleTolerance) << "code " << code;
  }
}

// Catches arithmetic in another precision or order than the one written
// (products and sums in single precision left to right, functions in double
// rounded to single), e.g. a fused multiply-add or a widened product. The bits
// come from a separate model of that evaluation and hold on every target.
TEST(EulerExactBits, SinglePrecisionInWrittenOrder)
{
  struct Case {
    EulerOrder code;
    float m[9], q[4], from_m[3], from_q[3];
  };
  const Case cases[] = {
      {EULER_HPB,
       {0x1.0dff5cp-2f, -0x1.e021dap-1f, 0x1.cee6e6p-3f, 0x1.5cff02p-1f, 0x1.634178p-2f, 0x1.49d6e6p-1f,
        -0x1.5d754ep-1f, -0x1.02c2cp-6f, 0x1.761beap-1f},
       {-0x1.b9b274p-3f, 0x1.300458p-2f, 0x1.0eef5ap-1f, 0x1.87b63cp-1f},
       {0x1.333334p-2f, -0x1.666664p-1f, 0x1.19999ap+0f},
       {0x1.333336p-2f, -0x1.666666p-1f, 0x1.19999ap+0f}},
      {EULER_YXY_R,
       {0x1.daeebp-3f, -0x1.85e59cp-3f, 0x1.e86932p-1f, -0x1.25f492p-1f, 0x1.879966p-1f, 0x1.2b3a4ep-2f,
        -0x1.920a6ap-1f, -0x1.3b1b9p-1f, 0x1.16caep-4f},
       {-0x1.4368e4p-2f, 0x1.35d79ap-1f, -0x1.11788cp-3f, 0x1.6fdb8ap-1f},
       {0x1.333334p-2f, -0x1.666666p-1f, 0x1.19999ap+0f},
       {0x1.333336p-2f, -0x1.66666ap-1f, 0x1.19999cp+0f}},
      {EULER_XZY_S,
       {0x1.634178p-2f, 0x1.15c6e6p-1f, 0x1.87b452p-1f, -0x1.49d6e6p-1f, 0x1.761beap-1f, -0x1.cee6e6p-3f,
        -0x1.5cff02p-1f, -0x1.a8637cp-2f, 0x1.34bcfep-1f},
       {-0x1.d75e18p-5f, 0x1.c46724p-2f, -0x1.731e42p-2f, 0x1.a3236p-1f},
       {0x1.333334p-2f, -0x1.666666p-1f, 0x1.19999ap+0f},
       {0x1.333336p-2f, -0x1.666666p-1f, 0x1.19999cp+0f}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.code);
    const EulerAngles ea = euler_make(0.3f, -0.7f, 1.1f, c.code);
    Matrix4f m;
    euler_to_matrix4f(&ea, &m);
    for (int n = 0; n < 9; ++n)
      EXPECT_TRUE(same_bits(m.m[4 * (n / 3) + n % 3], c.m[n])) << "element " << n;
    Quatf q;
    euler_to_quatf(&ea, &q);
    for (int n = 0; n < 4; ++n)
      EXPECT_TRUE(same_bits(q.v[n], c.q[n])) << "component " << n;
    EulerAngles from_m, from_q;
    matrix4f_to_euler(&m, c.code, &from_m);
    quatf_to_euler(&q, c.code, &from_q);
    for (int n = 0; n < 3; ++n) {
      EXPECT_TRUE(same_bits(from_m.v[n], c.from_m[n])) << "angle " << n << " from the matrix";
      EXPECT_TRUE(same_bits(from_q.v[n], c.from_q[n])) << "angle " << n << " from the quaternion";
    }
  }
}

// Catches a wrong gimbal-lock branch: the threshold test, which angle becomes
// 0 (third for static, first for rotating frames, -0 after odd parity), and
// the elements the remaining angles are read from. Values are exact bits.
TEST(MatrixToEuler, GimbalLockBranchesGiveExactAngles)
{
  struct Case {
    const char *what;
    EulerOrder code;
    Matrix4f m;
    float x, y, z;
  };
  // The single-precision pi/2 and pi lie above the true values, so their cosine,
  // resp. sine, is about -4.4e-8, resp. -8.7e-8, not 0: far below 2^-19, so the
  // branch is taken, but the middle angle read back is one unit below them.
  constexpr float kBelowHalfPi = 0x1.921fb4p+0f, kBelowPi = 0x1.921fb4p+1f;
  const Case cases[] = {
      {"hpb (0.3, pi/2, 0.2)", EULER_HPB, matrix_of(0.3f, kHalfPi, 0.2f, EULER_HPB), 0.0f, kBelowHalfPi, -0.1f},
      {"hpb (0.3, -pi/2, 0.2)", EULER_HPB, matrix_of(0.3f, -kHalfPi, 0.2f, EULER_HPB), 0.0f, -kBelowHalfPi, 0.5f},
      // RY(h) RX(pi/2) RZ(b) with exact zeros, cos(h - b) = 0.8, sin(h - b) = 0.6:
      // pitch is the single pi/2 itself and bank -atan2(0.6, 0.8).
      {"hpb exact pitch pi/2", EULER_HPB,
       {{0.8f, 0.6f, 0, 0, /**/ 0, 0, -1, 0, /**/ -0.6f, 0.8f, 0, 0, /**/ 0, 0, 0, 1}}, 0.0f, kHalfPi,
       -0x1.4978fap-1f},
      // About 0.7 and 0.1, a few units off 0.7f and 0.1f from the rounded elements.
      {"XYX static (0.4, 0, 0.3)", EULER_XYX_S, matrix_of(0.4f, 0.0f, 0.3f, EULER_XYX_S), 0x1.666668p-1f, 0.0f,
       0.0f},
      {"XYX static (0.4, pi, 0.3)", EULER_XYX_S, matrix_of(0.4f, kPi, 0.3f, EULER_XYX_S), 0x1.999994p-4f, kBelowPi,
       0.0f},
      {"XZX static (0.4, 0, 0.3)", EULER_XZX_S, matrix_of(0.4f, 0.0f, 0.3f, EULER_XZX_S), 0x1.666668p-1f, -0.0f,
       -0.0f},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    EulerAngles out;
    matrix4f_to_euler(&c.m, c.code, &out);
    EXPECT_TRUE(same_bits(out.v[X], c.x)) << out.v[X];
    EXPECT_TRUE(same_bits(out.v[Y], c.y)) << out.v[Y];
    EXPECT_TRUE(same_bits(out.v[Z], c.z)) << out.v[Z];
    EXPECT_EQ(out.v[W], static_cast<float>(c.code));
  }
}

// Catches reading more than the five low bits of a code, an inner-axis field
// of 3 not read as X, and a w that is rounded instead of truncated. A w that
// is NaN or beyond the int range reads as code 0.
TEST(EulerOrderCode, OutOfRangeCodesActLikeTheirLowBits)
{
  struct Case {
    float w;
    EulerOrder like;
  };
  const Case cases[] = {{24.0f, 0},  {31.0f, 7}, {49.0f, 17}, {-25.0f, 7}, {17.9f, 17},
                        {-0.9f, 0}, {kNaN, 0},   {1e10f, 0},  {-kInf, 0}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.w);
    const EulerAngles got_ea = {{0.3f, -0.7f, 1.1f, c.w}};
    const EulerAngles want_ea = euler_make(0.3f, -0.7f, 1.1f, c.like);
    Matrix4f got_m, want_m;
    euler_to_matrix4f(&got_ea, &got_m);
    euler_to_matrix4f(&want_ea, &want_m);
    EXPECT_EQ(std::memcmp(&got_m, &want_m, sizeof got_m), 0);
    Quatf got_q, want_q;
    euler_to_quatf(&got_ea, &got_q);
    euler_to_quatf(&want_ea, &want_q);
    EXPECT_EQ(std::memcmp(&got_q, &want_q, sizeof got_q), 0);

    if (std::fabs(c.w) < 1e9f && std::trunc(c.w) == c.w) { // integer codes, also as an argument
      const EulerOrder code = static_cast<EulerOrder>(c.w);
      EulerAngles got, want;
      matrix4f_to_euler(&want_m, code, &got);
      matrix4f_to_euler(&want_m, c.like, &want);
      EXPECT_EQ(std::memcmp(&got, &want, 3 * sizeof(float)), 0);
      EXPECT_EQ(got.v[W], c.w);
    }
  }
}

// Catches a missing zero-norm guard and a conversion that does not divide by
// the squared norm (the quaternion times 2 must give the very same bits).
TEST(QuatToEuler, ZeroAndNonUnitQuaternions)
{
  const float s = static_cast<float>(std::sin(0.25)), c = static_cast<float>(std::cos(0.25));
  struct Case {
    Quatf q;
    float x, y, z;
  };
  const Case cases[] = {
      {{{0, 0, 0, 0}}, 0, 0, 0},
      {{{0, 0, 0, 2}}, 0, 0, 0},
      {{{0, s, 0, c}}, 0.5f, 0, 0},
      {{{0, 2 * s, 0, 2 * c}}, 0.5f, 0, 0},
  };
  for (const Case &k : cases) {
    EulerAngles out;
    quatf_to_euler(&k.q, EULER_HPB, &out);
    EXPECT_EQ(out.v[X], k.x);
    EXPECT_EQ(out.v[Y], k.y);
    EXPECT_EQ(out.v[Z], k.z);
  }
}

// Catches a NaN that is lost instead of passed on, and a NaN square root that
// does not fall into the gimbal-lock branch (which sets the third angle to 0).
TEST(EulerNaN, NaNPassesThrough)
{
  // A NaN first angle of XYZ static spoils the columns it turns (Y and Z), not X.
  const EulerAngles ea = euler_make(kNaN, 0.2f, 0.3f, EULER_XYZ_S);
  Matrix4f m;
  euler_to_matrix4f(&ea, &m);
  for (int r = 0; r < 3; ++r) {
    EXPECT_FALSE(std::isnan(m.m[4 * r + X])) << r;
    EXPECT_TRUE(std::isnan(m.m[4 * r + Y]) && std::isnan(m.m[4 * r + Z])) << r;
  }
  Quatf q;
  euler_to_quatf(&ea, &q);
  for (float v : q.v)
    EXPECT_TRUE(std::isnan(v));

  Matrix4f bad = matrix_of(0.1f, 0.2f, 0.3f, EULER_XYZ_S);
  bad.m[0] = kNaN;
  EulerAngles out;
  matrix4f_to_euler(&bad, EULER_XYZ_S, &out);
  EXPECT_TRUE(std::isnan(out.v[Y]));
  EXPECT_TRUE(same_bits(out.v[Z], 0.0f));
}

} // namespace
