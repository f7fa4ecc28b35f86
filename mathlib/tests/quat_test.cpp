#include "mathlib/quat.h"

#include "mathlib/tests/test_util.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <vector>

namespace {

using Eigen::AngleAxisd;
using Eigen::Matrix3d;
using Eigen::Quaterniond;
using Eigen::Vector3d;
using test_util::same_bits;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ---- helpers -----------------------------------------------------------------

// The float and double twins under one spelling.
template <class T> struct Twin;
template <> struct Twin<float> {
  using Quat = Quatf;
  static void normalize(const Quat *q, Quat *out) { quatf_normalize(q, out); }
  static void to_axis_angle(const Quat *q, float *angle, float axis[3]) { quatf_to_axis_angle(q, angle, axis); }
};
template <> struct Twin<double> {
  using Quat = Quatd;
  static void normalize(const Quat *q, Quat *out) { quatd_normalize(q, out); }
  static void to_axis_angle(const Quat *q, double *angle, double axis[3]) { quatd_to_axis_angle(q, angle, axis); }
};

// A few units in the last place of values of magnitude up to about 1.
template <class T> constexpr double kTol = 8 * std::numeric_limits<T>::epsilon();

// (x, y, z, w) in the element type T.
template <class T> typename Twin<T>::Quat make(double x, double y, double z, double w)
{
  return {{static_cast<T>(x), static_cast<T>(y), static_cast<T>(z), static_cast<T>(w)}};
}

template <class Q> Quaterniond widen(const Q &q) { return Quaterniond(q.v[W], q.v[X], q.v[Y], q.v[Z]); }

Quatf narrow(const Quaterniond &q)
{
  return {{static_cast<float>(q.x()), static_cast<float>(q.y()), static_cast<float>(q.z()), static_cast<float>(q.w())}};
}

Matrix3f narrow(const Matrix3d &r)
{
  Matrix3f m;
  for (int i = 0; i < 9; ++i)
    m.m[i] = static_cast<float>(r(i / 3, i % 3));
  return m;
}

template <class Q> void expect_quat_near(const Q &got, const Quaterniond &want, double tol)
{
  for (int n = 0; n < 4; ++n)
    EXPECT_NEAR(got.v[n], want.coeffs()[n], tol) << "component " << n; // Eigen stores x, y, z, w too
}

template <class Q> void expect_quat_bits(const Q &got, const Q &want)
{
  for (int n = 0; n < 4; ++n)
    EXPECT_TRUE(same_bits(got.v[n], want.v[n])) << "component " << n << ": " << got.v[n] << " vs " << want.v[n];
}

// Angle in [0, 2 pi] and axis, in the convention of the axis-angle readers (the
// axis along the vector part), from Eigen's, which keeps the angle in [0, pi]
// and flips the axis when w < 0.
AngleAxisd eigen_axis_angle(const Quaterniond &q)
{
  AngleAxisd aa(q.normalized());
  if (q.w() < 0)
    aa = AngleAxisd(2 * std::numbers::pi - aa.angle(), -aa.axis());
  return aa;
}

// Rotations of a spread of angles about a spread of axes, as Eigen quaternions.
std::vector<Quaterniond> sample_rotations()
{
  std::vector<Quaterniond> out;
  const Vector3d axes[] = {Vector3d(0.3, -0.5, 0.81).normalized(), Vector3d(-0.9, 0.1, 0.2).normalized(),
                           Vector3d(0.05, 0.99, -0.1).normalized(), Vector3d::UnitZ()};
  for (const Vector3d &axis : axes)
    for (double angle : {0.4, 1.3, 2.5, 3.0, 3.6, 5.5})
      out.emplace_back(AngleAxisd(angle, axis));
  return out;
}

template <class T> class QuatTwins : public ::testing::Test {};
using Elements = ::testing::Types<float, double>;
TYPED_TEST_SUITE(QuatTwins, Elements);

// ---- normalisation and axis-angle readers, float and double --------------------

// Catches a wrong norm (missing term, missing root) and in-place trouble.
TYPED_TEST(QuatTwins, NormalizeMatchesEigen)
{
  using T = TypeParam;
  using Quat = typename Twin<T>::Quat;
  const Quat inputs[] = {make<T>(0.3, -0.5, 0.8, 0.1), make<T>(1, 2, 3, 4), make<T>(-7, 0, 0.5, -2),
                         make<T>(1e-3, 2e-3, 0, 0), make<T>(0, 0, 0, 2)};
  for (const Quat &q : inputs) {
    Quat out, in_place = q;
    Twin<T>::normalize(&q, &out);
    Twin<T>::normalize(&in_place, &in_place);
    expect_quat_near(out, widen(q).normalized(), kTol<T>);
    expect_quat_bits(in_place, out);
  }
}

// Catches quaternions that are finite and nonzero but whose squared length
// overflows or leaves the normal range: without rescaling they normalise to
// zero, to the identity or off unit length.
TYPED_TEST(QuatTwins, NormalizeOutsideTheNormalRange)
{
  using T = TypeParam;
  using Quat = typename Twin<T>::Quat;
  const T big = std::numeric_limits<T>::max() / 4, tiny = std::numeric_limits<T>::min() * 3;
  const struct {
    Quat in, out;
  } cases[] = {
      {make<T>(big, 0, 0, 0), make<T>(1, 0, 0, 0)},
      {make<T>(0, 0, big, big), make<T>(0, 0, std::sqrt(0.5), std::sqrt(0.5))},
      {make<T>(tiny, 0, 0, 0), make<T>(1, 0, 0, 0)},
      {make<T>(3 * tiny, 4 * tiny, 0, 0), make<T>(0.6, 0.8, 0, 0)},
      {make<T>(0, std::numeric_limits<T>::denorm_min(), 0, 0), make<T>(0, 1, 0, 0)},
  };
  for (const auto &c : cases) {
    Quat out;
    Twin<T>::normalize(&c.in, &out);
    expect_quat_near(out, widen(c.out), kTol<T>);
  }
}

// Catches a missing zero-length guard (which would divide by zero).
TYPED_TEST(QuatTwins, ZeroLengthNormalizesToIdentity)
{
  using T = TypeParam;
  using Quat = typename Twin<T>::Quat;
  for (const Quat &q : {make<T>(0, 0, 0, 0), make<T>(-0.0, 0, -0.0, 0)}) {
    Quat out;
    Twin<T>::normalize(&q, &out);
    expect_quat_bits(out, make<T>(0, 0, 0, 1));
  }
}

// Catches a wrong angle (half angle, arc cosine of an unnormalised w) or axis
// (divided by the wrong sine), for unit, scaled and negated quaternions.
TYPED_TEST(QuatTwins, ToAxisAngleMatchesEigen)
{
  using T = TypeParam;
  for (const Quaterniond &r : sample_rotations()) {
    for (double scale : {1.0, 2.5, -0.5}) {
      const Quaterniond e(r.coeffs() * scale);
      const auto q = make<T>(e.x(), e.y(), e.z(), e.w());
      T angle, axis[3];
      Twin<T>::to_axis_angle(&q, &angle, axis);
      const AngleAxisd want = eigen_axis_angle(widen(q));
      EXPECT_NEAR(angle, want.angle(), 4 * kTol<T>);
      for (int n = 0; n < 3; ++n)
        EXPECT_NEAR(axis[n], want.axis()[n], 4 * kTol<T>);
    }
  }
}

// Catches a sine test that writes the axis when it must not (no rotation, a
// full turn), a missing normalisation and a NaN that is lost.
TYPED_TEST(QuatTwins, ToAxisAngleGuards)
{
  using T = TypeParam;
  using Quat = typename Twin<T>::Quat;
  const T keep[3] = {T(7), T(8), T(9)};
  struct Case {
    Quat q;
    T angle;
    bool axis_written;
    T axis[3];
  };
  const Case cases[] = {
      {make<T>(0, 0, 0, 1), T(0), false, {}},
      {make<T>(0, 0, 0, 3), T(0), false, {}},
      {make<T>(0, 0, 0, -1), static_cast<T>(2 * std::numbers::pi), false, {}},
      {make<T>(1, 0, 0, 0), static_cast<T>(std::numbers::pi), true, {T(1), T(0), T(0)}},
      {make<T>(0, -4, 0, 0), static_cast<T>(std::numbers::pi), true, {T(0), T(-1), T(0)}},
      {make<T>(kNaN, 0, 0, 1), static_cast<T>(kNaN), false, {}},
  };
  for (const Case &c : cases) {
    T angle, axis[3] = {keep[0], keep[1], keep[2]};
    Twin<T>::to_axis_angle(&c.q, &angle, axis);
    EXPECT_TRUE(same_bits(angle, c.angle) || (std::isnan(angle) && std::isnan(c.angle))) << angle;
    for (int n = 0; n < 3; ++n)
      EXPECT_TRUE(same_bits(axis[n], c.axis_written ? c.axis[n] : keep[n])) << "axis " << n << ": " << axis[n];
  }
}

// Catches a threshold other than 1e-6 on the sine of the half angle, which
// only double precision can resolve near no rotation.
TEST(QuatdToAxisAngle, AxisWrittenOnlyAboveSineThreshold)
{
  struct Case {
    double x;
    bool axis_written;
  };
  for (const Case c : {Case{5e-7, false}, Case{2e-6, true}}) {
    const Quatd q = {{c.x, 0, 0, 1}};
    double angle, axis[3] = {7, 8, 9};
    quatd_to_axis_angle(&q, &angle, axis);
    EXPECT_NEAR(angle, 2 * c.x, 1e-4 * c.x); // the arc cosine near 1 is ill-conditioned
    if (c.axis_written)
      EXPECT_NEAR(axis[X], 1.0, 1e-4);
    else
      EXPECT_EQ(axis[X], 7.0);
  }
}

// ---- single-precision operations against Eigen --------------------------------

// Catches a swapped operand order or sign in the Hamilton product; pairs
// include the basis products (i j = k, j i = -k) and non-unit operands.
TEST(QuatfMultiply, MatchesEigenProduct)
{
  std::vector<std::pair<Quatf, Quatf>> pairs = {
      {{{1, 0, 0, 0}}, {{0, 1, 0, 0}}}, {{{0, 1, 0, 0}}, {{1, 0, 0, 0}}}, {{{0, 0, 0, 1}}, {{0.3f, -0.2f, 0.5f, 0.7f}}},
      {{{0.1f, 0.2f, 0.3f, 0.4f}}, {{-0.5f, 0.6f, 0.7f, -0.8f}}}, {{{2, -1, 0.5f, 3}}, {{0.25f, 4, -2, 1}}}};
  const std::vector<Quaterniond> r = sample_rotations();
  for (size_t n = 0; n + 1 < r.size(); n += 3)
    pairs.emplace_back(narrow(r[n]), narrow(r[n + 1]));
  for (const auto &[a, b] : pairs) {
    Quatf out;
    quatf_multiply(&a, &b, &out);
    expect_quat_near(out, widen(a) * widen(b), 4 * kTol<float>);
  }
}

// Catches an inverse that forgets to divide by the squared norm.
TEST(QuatfInverse, MatchesEigenInverse)
{
  for (const Quatf &q : {Quatf{{0.3f, -0.5f, 0.8f, 0.1f}}, Quatf{{1, 2, 3, 4}}, Quatf{{0, 0, 0, -0.5f}}}) {
    Quatf out;
    quatf_inverse(&q, &out);
    expect_quat_near(out, widen(q).inverse(), kTol<float>);
  }
}

// Catches a rotation matrix that is transposed (the rotation for row vectors)
// or scaled by a non-unit quaternion.
TEST(QuatfToMatrix3f, MatchesEigenRotationMatrix)
{
  for (const Quaterniond &r : sample_rotations()) {
    for (double scale : {1.0, 3.0, -0.25}) {
      const Quatf q = narrow(Quaterniond(r.coeffs() * scale));
      Matrix3f m;
      quatf_to_matrix3f(&q, &m);
      const Matrix3d want = widen(q).normalized().toRotationMatrix();
      for (int n = 0; n < 9; ++n)
        EXPECT_NEAR(m.m[n], want(n / 3, n % 3), kTol<float>) << "element " << n;
    }
  }
}

// Catches wrong element pairs or signs in either branch, over rotations that
// take the trace branch and each of the three largest-diagonal branches. The
// expected sign: w > 0 when the trace is positive, otherwise the component of
// the largest diagonal element non-negative.
TEST(Matrix3fToQuatf, MatchesEigenUpToTheSignRule)
{
  std::vector<Quaterniond> rotations = sample_rotations();
  for (int axis = 0; axis < 3; ++axis)
    rotations.emplace_back(AngleAxisd(2.9, (Vector3d::Unit(axis) + Vector3d(0.1, 0.2, 0.15)).normalized()));
  for (const Quaterniond &r : rotations) {
    const Matrix3f m = narrow(r.toRotationMatrix());
    Quatf out;
    matrix3f_to_quatf(&m, &out);
    Quaterniond want(Matrix3d(r.toRotationMatrix()));
    const double trace = double(m.m[0]) + m.m[4] + m.m[8];
    int i = 0;
    for (int n = 1; n < 3; ++n)
      if (m.m[4 * n] > m.m[4 * i])
        i = n;
    if ((trace > 0 ? want.w() : want.coeffs()[i]) < 0)
      want.coeffs() = -want.coeffs();
    expect_quat_near(out, want, 4 * kTol<float>);
  }
}

// Catches a wrong half angle or cosine; the axis is not normalised, so a
// scaled axis scales the vector part as in Eigen.
TEST(QuatfFromAxisAngle, MatchesEigenAngleAxis)
{
  struct Case {
    float angle;
    float axis[3];
  };
  const Case cases[] = {{0.7f, {0, 0, 1}}, {-2.2f, {0.6f, 0, 0.8f}}, {5.0f, {0.36f, 0.48f, -0.8f}}, {1.1f, {0, 2, 0}}};
  for (const Case &c : cases) {
    Quatf out;
    quatf_from_axis_angle(c.angle, c.axis, &out);
    const Quaterniond want(AngleAxisd(c.angle, Vector3d(c.axis[X], c.axis[Y], c.axis[Z])));
    expect_quat_near(out, want, 2 * kTol<float>);
  }
}

// Catches the relative rotation taken the wrong way round (q2 q1^-1, or from q2
// to q1): q1 * d must give q2, with d read as Eigen's axis and angle.
TEST(QuatfRelativeAxisAngle, MatchesEigen)
{
  const std::vector<Quaterniond> r = sample_rotations();
  for (size_t n = 0; n + 1 < r.size(); n += 2) {
    const Quatf q1 = narrow(r[n]), q2 = narrow(r[n + 1]);
    float axis[3];
    const float angle = quatf_relative_axis_angle(&q1, &q2, axis);
    const AngleAxisd want = eigen_axis_angle(widen(q1).inverse() * widen(q2));
    EXPECT_NEAR(angle, want.angle(), 1e-5);
    for (int k = 0; k < 3; ++k)
      EXPECT_NEAR(axis[k], want.axis()[k], 1e-5);
  }
}

// Catches a transform that dots columns instead of rows (v' = M v, not v M).
TEST(Matrix4fTransformVec4, MatchesEigenMatrixTimesColumnVector)
{
  const Matrix4f m = {{0.5f, -1, 2, 3, /**/ 4, 0.25f, -6, 1, /**/ 0, 7, 1.5f, -2, /**/ 1, 2, 3, 4}};
  using RowMajor4f = Eigen::Matrix<float, 4, 4, Eigen::RowMajor>;
  const Eigen::Matrix4d e = Eigen::Map<const RowMajor4f>(m.m).cast<double>();
  for (const Vec4f &v : {Vec4f{{1, 1, 1, 1}}, Vec4f{{0.3f, -2, 5, 0}}, Vec4f{{-1, 0.5f, 0.25f, 2}}}) {
    Vec4f out;
    matrix4f_transform_vec4(&m, &v, &out);
    const Eigen::Vector4d want = e * Eigen::Vector4f(v.v[0], v.v[1], v.v[2], v.v[3]).cast<double>();
    for (int n = 0; n < 4; ++n)
      EXPECT_NEAR(out.v[n], want[n], 1e-5) << "row " << n;
  }
}

// ---- guards and exact cases ------------------------------------------------------

// Catches missing zero-norm guards in the inverse and the matrix conversion
// and a matrix conversion that does not divide by the squared norm.
TEST(QuatfGuards, ZeroAndNonUnitQuaternions)
{
  struct Case {
    Quatf q;
    Quatf inverse;
  };
  const Case cases[] = {
      {{{0, 0, 0, 0}}, {{-0.0f, -0.0f, -0.0f, 0}}},
      {{{0, 0, 0, 2}}, {{-0.0f, -0.0f, -0.0f, 0.5f}}},
  };
  const Matrix3f identity = {{1, 0, 0, 0, 1, 0, 0, 0, 1}};
  for (const Case &c : cases) {
    Quatf inv;
    quatf_inverse(&c.q, &inv);
    expect_quat_bits(inv, c.inverse);
    Matrix3f m;
    quatf_to_matrix3f(&c.q, &m);
    EXPECT_EQ(std::memcmp(&m, &identity, sizeof m), 0);
  }
}

// Catches a wrong branch choice in the matrix-to-quaternion conversion: a trace
// of exactly 0 must leave the trace branch, and a tie between diagonal elements
// must keep the lower index (so that component comes out positive).
TEST(Matrix3fToQuatf, BranchChoiceGivesExactQuaternions)
{
  constexpr float h = 0x1.6a09e6p-1f; // sqrt(2) / 2 rounded: s = sqrt(2), then s * 0.5 and (0.5 / s) * 2
  struct Case {
    const char *what;
    Matrix3f m;
    Quatf want;
  };
  const Case cases[] = {
      {"identity", {{1, 0, 0, 0, 1, 0, 0, 0, 1}}, {{0, 0, 0, 1}}},
      {"half turn about X", {{1, 0, 0, 0, -1, 0, 0, 0, -1}}, {{1, 0, 0, 0}}},
      {"half turn about Y", {{-1, 0, 0, 0, 1, 0, 0, 0, -1}}, {{0, 1, 0, 0}}},
      {"half turn about Z", {{-1, 0, 0, 0, -1, 0, 0, 0, 1}}, {{0, 0, 1, 0}}},
      {"zero matrix, trace 0", {{0, 0, 0, 0, 0, 0, 0, 0, 0}}, {{0.5f, 0, 0, 0}}},
      {"tie X-Y: half turn about (1, -1, 0)", {{0, -1, 0, -1, 0, 0, 0, 0, -1}}, {{h, -h, 0, 0}}},
      {"tie X-Z: half turn about (1, 0, -1)", {{0, 0, -1, 0, -1, 0, -1, 0, 0}}, {{h, 0, -h, 0}}},
      {"tie Y-Z: half turn about (0, 1, -1)", {{-1, 0, 0, 0, 0, -1, 0, -1, 0}}, {{0, h, -h, 0}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Quatf out;
    matrix3f_to_quatf(&c.m, &out);
    expect_quat_bits(out, c.want);
  }
}

// Catches a half angle taken after rounding the wrong way: the single pi lies
// above pi, so the half turn about Z keeps a tiny negative w, not 0.
TEST(QuatfFromAxisAngle, SinglePiLeavesTinyNegativeW)
{
  const float z_axis[3] = {0, 0, 1}, long_z_axis[3] = {0, 0, 2};
  Quatf q, q2;
  quatf_from_axis_angle(std::numbers::pi_v<float>, z_axis, &q);
  quatf_from_axis_angle(std::numbers::pi_v<float>, long_z_axis, &q2);
  expect_quat_bits(q, Quatf{{0, 0, 1, -0x1.777a5cp-25f}});
  expect_quat_bits(q2, Quatf{{0, 0, 2, -0x1.777a5cp-25f}});
}

// Catches an axis written for the identity relative rotation.
TEST(QuatfRelativeAxisAngle, NoRotationLeavesAxisUntouched)
{
  const Quatf id = {{0, 0, 0, 1}};
  float axis[3] = {7, 8, 9};
  EXPECT_EQ(quatf_relative_axis_angle(&id, &id, axis), 0.0f);
  EXPECT_EQ(axis[X], 7.0f);
  EXPECT_EQ(axis[Y], 8.0f);
  EXPECT_EQ(axis[Z], 9.0f);
}

// Two general quaternions for the exact and the shared-storage cases.
constexpr Quatf kA = {{0.3f, -0.5f, 0.8f, 0.1f}};
constexpr Quatf kB = {{-0.2f, 0.7f, 0.1f, 0.6f}};

// Catches arithmetic in another precision or order than the one written
// (products and sums in single precision left to right; roots, reciprocals,
// trigonometric functions and the subtractions from 1 in double, rounded to
// single), e.g. a fused multiply-add. The bits come from a separate model of
// that evaluation and hold on every target.
TEST(QuatfExactBits, SinglePrecisionInWrittenOrder)
{
  using Result = std::vector<float>;
  struct Case {
    const char *what;
    Result (*run)();
    Result want;
  };
  const Case cases[] = {
      {"multiply",
       [] { Quatf q; quatf_multiply(&kA, &kB, &q); return Result(q.v, q.v + 4); },
       {-0x1.ccccccp-2f, -0x1.ae147ep-2f, 0x1.333334p-1f, 0x1.8f5c28p-2f}},
      {"inverse",
       [] { Quatf q; quatf_inverse(&kA, &q); return Result(q.v, q.v + 4); },
       {-0x1.364d94p-2f, 0x1.0295fap-1f, -0x1.9dbcc4p-1f, 0x1.9dbcc4p-4f}},
      {"normalize",
       [] { Quatf q; quatf_normalize(&kA, &q); return Result(q.v, q.v + 4); },
       {0x1.34bf64p-2f, -0x1.014a28p-1f, 0x1.9ba9dap-1f, 0x1.9ba9dap-4f}},
      {"to matrix",
       [] { Matrix3f m; quatf_to_matrix3f(&kA, &m); return Result(m.m, m.m + 9); },
       {-0x1.9890dp-1f, -0x1.dbcc48p-2f, 0x1.890cfp-2f, -0x1.219dbep-3f, -0x1.e6243p-2f, -0x1.bcc486p-1f,
        0x1.2bf5a8p-1f, -0x1.7eb502p-1f, 0x1.40a58p-2f}},
      {"from matrix, trace < 0, largest diagonal element Z",
       [] { Matrix3f m; Quatf q; quatf_to_matrix3f(&kA, &m); matrix3f_to_quatf(&m, &q); return Result(q.v, q.v + 4); },
       {0x1.34bf66p-2f, -0x1.014a2ap-1f, 0x1.9ba9dap-1f, 0x1.9ba9dap-4f}},
      {"from matrix, trace > 0",
       [] { Matrix3f m; Quatf q; quatf_to_matrix3f(&kB, &m); matrix3f_to_quatf(&m, &q); return Result(q.v, q.v + 4); },
       {-0x1.afc1a2p-3f, 0x1.79c96cp-1f, 0x1.afc1a2p-4f, 0x1.43d136p-1f}},
      {"from axis angle",
       [] {
         const float axis[3] = {0.6f, 0.0f, 0.8f};
         Quatf q;
         quatf_from_axis_angle(2.2f, axis, &q);
         return Result(q.v, q.v + 4);
       },
       {0x1.11c768p-1f, 0.0f, 0x1.6d09dep-1f, 0x1.d07b7ep-2f}},
      {"to axis angle: angle, axis",
       [] {
         float angle, axis[3];
         quatf_to_axis_angle(&kA, &angle, axis);
         return Result{angle, axis[X], axis[Y], axis[Z]};
       },
       {0x1.7859f4p+1f, 0x1.3651ap-2f, -0x1.02995ap-1f, 0x1.9dc22ap-1f}},
      {"relative: angle, axis",
       [] {
         float axis[3];
         const float angle = quatf_relative_axis_angle(&kA, &kB, axis);
         return Result{angle, axis[X], axis[Y], axis[Z]};
       },
       {0x1.dc631p+1f, 0x1.d02c7cp-2f, 0x1.3cff2ap-1f, -0x1.48516cp-1f}},
      {"transform",
       [] {
         const Matrix4f m = {{0.5f, -1.25f, 2, 3, /**/ 0.1f, 0.2f, 0.3f, 0.4f, /**/ -7, 0.7f, 1.5f, -2, /**/ 1, 2, 3,
                              4}};
         const Vec4f v = {{0.3f, -2, 5, 0.7f}};
         Vec4f out;
         matrix4f_transform_vec4(&m, &v, &out);
         return Result(out.v, out.v + 4);
       },
       {0x1.d8p+3f, 0x1.68f5c2p+0f, 0x1.4cccccp+1f, 0x1.c33334p+3f}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const Result got = c.run();
    ASSERT_EQ(got.size(), c.want.size());
    for (size_t n = 0; n < got.size(); ++n)
      EXPECT_TRUE(same_bits(got[n], c.want[n])) << "[" << n << "]: " << got[n];
  }
}

// Catches an operation that writes its output while still reading an input
// held in the same storage: each call with shared storage must give the very
// bits of the same call with separate storage (angles stored in out->v[W]).
TEST(QuatfAliasing, SharedStorageGivesSameResult)
{
  struct Case {
    const char *what;
    void (*separate)(Quatf *out);
    void (*shared)(Quatf *out);
  };
  const Case cases[] = {
      {"normalize in place", [](Quatf *o) { quatf_normalize(&kA, o); },
       [](Quatf *o) { *o = kA; quatf_normalize(o, o); }},
      {"inverse in place", [](Quatf *o) { quatf_inverse(&kA, o); }, [](Quatf *o) { *o = kA; quatf_inverse(o, o); }},
      {"multiply into a", [](Quatf *o) { quatf_multiply(&kA, &kB, o); },
       [](Quatf *o) { *o = kA; quatf_multiply(o, &kB, o); }},
      {"multiply into b", [](Quatf *o) { quatf_multiply(&kA, &kB, o); },
       [](Quatf *o) { *o = kB; quatf_multiply(&kA, o, o); }},
      {"from axis angle over the axis", [](Quatf *o) { quatf_from_axis_angle(1.2f, kA.v, o); },
       [](Quatf *o) { *o = kA; quatf_from_axis_angle(1.2f, o->v, o); }},
      {"to axis angle over q", [](Quatf *o) { quatf_to_axis_angle(&kA, &o->v[W], o->v); },
       [](Quatf *o) { *o = kA; quatf_to_axis_angle(o, &o->v[W], o->v); }},
      {"relative axis angle over q1", [](Quatf *o) { o->v[W] = quatf_relative_axis_angle(&kA, &kB, o->v); },
       [](Quatf *o) { *o = kA; o->v[W] = quatf_relative_axis_angle(o, &kB, o->v); }},
      {"relative axis angle over q2", [](Quatf *o) { o->v[W] = quatf_relative_axis_angle(&kA, &kB, o->v); },
       [](Quatf *o) { *o = kB; o->v[W] = quatf_relative_axis_angle(&kA, o, o->v); }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Quatf want, got;
    c.separate(&want);
    c.shared(&got);
    expect_quat_bits(got, want);
  }
}

} // namespace
