#include "mathlib/matrix.h"

#include "mathlib/tests/test_util.h"

#include <Eigen/Dense>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <type_traits>
#include <vector>

namespace {

// ---- one spelling for both families and both sizes ---------------------------

template <class T, int N> struct MatrixOf;
template <> struct MatrixOf<float, 3> { using type = Matrix3f; };
template <> struct MatrixOf<float, 4> { using type = Matrix4f; };
template <> struct MatrixOf<double, 3> { using type = Matrix3d; };
template <> struct MatrixOf<double, 4> { using type = Matrix4d; };
template <class T, int N> using Mat = typename MatrixOf<T, N>::type;

template <class T> struct VectorOf;
template <> struct VectorOf<float> { using type = Vec3f; };
template <> struct VectorOf<double> { using type = Vec3d; };
template <class T> using Vec = typename VectorOf<T>::type;

#define MATRIX_OVERLOADS(M, S, prefix)                                                                         \
  inline void identity(M* o) { prefix##_identity(o); }                                                         \
  inline int equals(const M* a, const M* b) { return prefix##_equals(a, b); }                                  \
  inline void copy(M* d, const M* s) { prefix##_copy(d, s); }                                                  \
  inline void multiply(const M* a, const M* b, M* o) { prefix##_multiply(a, b, o); }                           \
  inline void mul_scalar(M* m, S s) { prefix##_mul_scalar(m, s); }                                             \
  inline S det(const M* m) { return prefix##_det(m); }                                                         \
  inline void adjoint(const M* s, M* d) { prefix##_adjoint(s, d); }                                            \
  inline void inverse(const M* s, M* d) { prefix##_inverse(s, d); }
MATRIX_OVERLOADS(Matrix3f, float, matrix3f)
MATRIX_OVERLOADS(Matrix4f, float, matrix4f)
MATRIX_OVERLOADS(Matrix3d, double, matrix3d)
MATRIX_OVERLOADS(Matrix4d, double, matrix4d)
#undef MATRIX_OVERLOADS

inline void transform_vec3(const Vec3f* v, const Matrix3f* m, Vec3f* o) { matrix3f_transform_vec3(v, m, o); }
inline void transform_vec3(const Vec3d* v, const Matrix3d* m, Vec3d* o) { matrix3d_transform_vec3(v, m, o); }
inline void transform_point(const Vec3f* p, const Matrix4f* m, Vec3f* o) { matrix4f_transform_point(p, m, o); }
inline void transform_point(const Vec3d* p, const Matrix4d* m, Vec3d* o) { matrix4d_transform_point(p, m, o); }

template <class T> T next_up(T x) { return std::nextafter(x, std::numeric_limits<T>::infinity()); }
template <class T> T next_down(T x) { return std::nextafter(x, -std::numeric_limits<T>::infinity()); }

template <class T, int N> Mat<T, N> diagonal(T d0)
{
  Mat<T, N> m;
  identity(&m);
  m.m[0] = d0;
  return m;
}

template <class T, int N> Mat<T, N> filled(T value)
{
  Mat<T, N> m;
  std::fill(std::begin(m.m), std::end(m.m), value);
  return m;
}

template <class T, int N> void expect_same_bits(const Mat<T, N>& got, const Mat<T, N>& want)
{
  for (int i = 0; i < N * N; ++i)
    EXPECT_TRUE(test_util::same_bits(got.m[i], want.m[i])) << "element " << i << ": " << got.m[i] << " vs " << want.m[i];
}

// Equal values element by element (a zero of either sign matches 0).
template <class T, int N> void expect_equal_values(const Mat<T, N>& got, const Mat<T, N>& want)
{
  for (int i = 0; i < N * N; ++i)
    EXPECT_EQ(got.m[i], want.m[i]) << "element " << i;
}

// ---- random well-conditioned matrices ------------------------------------------

// Values in [-1, 1) from std::mt19937 through our own mapping: the top 24 bits
// of each draw, scaled by 2^-23 and shifted, are exact in float and double, so
// every target sees the same matrices.
class Source {
public:
  template <class T> T uniform() { return static_cast<T>(static_cast<double>(gen_() >> 8) * 0x1p-23 - 1.0); }

  // Uniform elements plus +-(N + 1) on the diagonal: strictly diagonally
  // dominant, hence invertible with a small condition number.
  template <class T, int N> Mat<T, N> matrix()
  {
    Mat<T, N> m;
    for (T& e : m.m)
      e = uniform<T>();
    for (int i = 0; i < N; ++i)
      m.m[N * i + i] += (gen_() & 1 ? T(1) : T(-1)) * T(N + 1);
    return m;
  }

private:
  std::mt19937 gen_{20240611u};
};

constexpr int kRandomCases = 200;

template <int N> using Ref = Eigen::Matrix<double, N, N, Eigen::RowMajor>;

template <class T, int N> Ref<N> to_eigen(const Mat<T, N>& m)
{
  Ref<N> r;
  for (int i = 0; i < N * N; ++i)
    r.data()[i] = static_cast<double>(m.m[i]);
  return r;
}

// Allowed error relative to the magnitude of the reference: a handful of
// rounding steps of the element type (the matrices are well conditioned; the
// largest error seen is about 2 units of epsilon).
template <class T> constexpr double kTolerance = 8.0 * std::numeric_limits<T>::epsilon();

template <class T, int N> void expect_near_matrix(const Mat<T, N>& got, const Ref<N>& want)
{
  const double scale = std::max(1.0, want.cwiseAbs().maxCoeff());
  for (int i = 0; i < N * N; ++i)
    EXPECT_NEAR(static_cast<double>(got.m[i]), want.data()[i], kTolerance<T> * scale) << "element " << i;
}

template <class T> class MatrixTest : public ::testing::Test {};
using ElementTypes = ::testing::Types<float, double>;
TYPED_TEST_SUITE(MatrixTest, ElementTypes);

// ---- against Eigen ------------------------------------------------------------------

// Catches wrong index arithmetic (transposed operands, a row-by-row product
// taken column by column) in the product.
template <class T, int N> void check_product(Source& src)
{
  for (int n = 0; n < kRandomCases; ++n) {
    const Mat<T, N> a = src.matrix<T, N>(), b = src.matrix<T, N>();
    Mat<T, N> out;
    multiply(&a, &b, &out);
    expect_near_matrix<T, N>(out, to_eigen<T, N>(a) * to_eigen<T, N>(b));
  }
}

TYPED_TEST(MatrixTest, ProductMatchesEigen)
{
  Source src;
  check_product<TypeParam, 3>(src);
  check_product<TypeParam, 4>(src);
}

// Catches wrong minors or signs in the determinant, the adjoint (which must
// equal det * inverse) and the inverse.
template <class T, int N> void check_det_adjoint_inverse(Source& src)
{
  for (int n = 0; n < kRandomCases; ++n) {
    const Mat<T, N> m = src.matrix<T, N>();
    const Ref<N> ref = to_eigen<T, N>(m);
    const double ref_det = ref.determinant();
    EXPECT_NEAR(static_cast<double>(det(&m)), ref_det, kTolerance<T> * std::abs(ref_det));

    Mat<T, N> adj, inv;
    adjoint(&m, &adj);
    expect_near_matrix<T, N>(adj, ref_det * ref.inverse());
    inverse(&m, &inv);
    expect_near_matrix<T, N>(inv, ref.inverse());
  }
}

TYPED_TEST(MatrixTest, DeterminantAdjointInverseMatchEigen)
{
  Source src;
  check_det_adjoint_inverse<TypeParam, 3>(src);
  check_det_adjoint_inverse<TypeParam, 4>(src);
}

// Catches a column-vector transform (M * v) where the row-vector one (v * M)
// is meant, a missing translation row, and a missing or wrong division by w.
TYPED_TEST(MatrixTest, TransformsAreRowVectorTimesMatrix)
{
  using T = TypeParam;
  Source src;
  for (int n = 0; n < kRandomCases; ++n) {
    const Vec<T> v{{src.uniform<T>(), src.uniform<T>(), src.uniform<T>()}};
    const Eigen::RowVector4d row(static_cast<double>(v.v[X]), static_cast<double>(v.v[Y]),
                                 static_cast<double>(v.v[Z]), 1.0);

    const Mat<T, 3> m3 = src.matrix<T, 3>();
    Vec<T> out;
    transform_vec3(&v, &m3, &out);
    const Eigen::RowVector3d want3 = row.head<3>() * to_eigen<T, 3>(m3);
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(static_cast<double>(out.v[c]), want3[c], kTolerance<T> * 8.0);

    // Projective: column 3 random, its diagonal entry (|m33| >= 4) keeps w away from 0.
    const Mat<T, 4> m4 = src.matrix<T, 4>();
    transform_point(&v, &m4, &out);
    const Eigen::RowVector4d h = row * to_eigen<T, 4>(m4);
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(static_cast<double>(out.v[c]), h[c] / h[3], kTolerance<T> * 8.0);
  }
}

// ---- evaluation order -------------------------------------------------------------

// Pins the order of the floating-point operations of the determinants and
// adjoints, written out here from the stated formulas, bit for bit: a
// different minor layout or summation order changes low bits in float.
TYPED_TEST(MatrixTest, DeterminantAndAdjointFollowTheStatedOrder)
{
  using T = TypeParam;
  const auto d2 = [](T a, T b, T c, T d) { return a * d - b * c; };
  const auto d3 = [&](const T* m) {
    const T A = m[4] * m[8] - m[7] * m[5];
    const T B = m[3] * m[8] - m[6] * m[5];
    const T C = m[3] * m[7] - m[6] * m[4];
    return ((m[0] * A) - (m[1] * B)) + (m[2] * C);
  };
  constexpr int kD[4][9] = {{5, 9, 13, 6, 10, 14, 7, 11, 15},
                            {4, 8, 12, 6, 10, 14, 7, 11, 15},
                            {4, 8, 12, 5, 9, 13, 7, 11, 15},
                            {4, 8, 12, 5, 9, 13, 6, 10, 14}};
  constexpr int kAdj01[9] = {1, 9, 13, 2, 10, 14, 3, 11, 15};
  const auto minor = [](const T* m, const int (&idx)[9]) {
    Mat<T, 3> t;
    for (int i = 0; i < 9; ++i)
      t.m[i] = m[idx[i]];
    return t;
  };

  Source src;
  for (int n = 0; n < kRandomCases; ++n) {
    const Mat<T, 3> a = src.matrix<T, 3>();
    const T* s = a.m;
    EXPECT_TRUE(test_util::same_bits(det(&a), d3(s)));
    Mat<T, 3> adj;
    adjoint(&a, &adj);
    const T want_adj[9] = {d2(s[4], s[5], s[7], s[8]),  -d2(s[1], s[2], s[7], s[8]), d2(s[1], s[2], s[4], s[5]),
                           -d2(s[3], s[5], s[6], s[8]), d2(s[0], s[2], s[6], s[8]),  -d2(s[0], s[2], s[3], s[5]),
                           d2(s[3], s[4], s[6], s[7]),  -d2(s[0], s[1], s[6], s[7]), d2(s[0], s[1], s[3], s[4])};
    for (int i = 0; i < 9; ++i)
      EXPECT_TRUE(test_util::same_bits(adj.m[i], want_adj[i])) << "3x3 adjoint element " << i;

    const Mat<T, 4> b = src.matrix<T, 4>();
    const T* m = b.m;
    T D[4];
    for (int j = 0; j < 4; ++j) {
      const Mat<T, 3> t = minor(m, kD[j]);
      D[j] = d3(t.m);
    }
    EXPECT_TRUE(test_util::same_bits(det(&b), (((m[0] * D[0]) - (m[1] * D[1])) + (m[2] * D[2])) - (m[3] * D[3])));
    Mat<T, 4> adj4;
    adjoint(&b, &adj4);
    for (int i = 0; i < 4; ++i) // column 0 of the adjoint: the row-0 minors, alternating in sign
      EXPECT_TRUE(test_util::same_bits(adj4.m[4 * i], i % 2 ? -D[i] : D[i])) << "4x4 adjoint row " << i;
    const Mat<T, 3> t01 = minor(m, kAdj01);
    EXPECT_TRUE(test_util::same_bits(adj4.m[1], -d3(t01.m)));
  }
}

// ---- exact results ---------------------------------------------------------------

// Catches wrong identity layouts, lost translations and an inverse that is
// not scaled by 1/det, on inputs whose results are exact.
TYPED_TEST(MatrixTest, ExactResults)
{
  using T = TypeParam;
  Mat<T, 4> id4;
  identity(&id4);
  EXPECT_EQ(det(&id4), T(1));
  Mat<T, 4> inv4 = filled<T, 4>(T(7));
  inverse(&id4, &inv4);
  expect_equal_values<T, 4>(inv4, id4);

  Mat<T, 3> d{{2, 0, 0, 0, 4, 0, 0, 0, 8}}, inv3;
  inverse(&d, &inv3);
  expect_equal_values<T, 3>(inv3, Mat<T, 3>{{0.5, 0, 0, 0, 0.25, 0, 0, 0, 0.125}});

  // Translation by (2, 3, 4): inverse translates by (-2, -3, -4).
  Mat<T, 4> move = id4;
  move.m[12] = 2, move.m[13] = 3, move.m[14] = 4;
  inverse(&move, &inv4);
  expect_equal_values<T, 4>(inv4, Mat<T, 4>{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -2, -3, -4, 1}});

  // The product with the identity reproduces a random matrix, on either side.
  Source src;
  const Mat<T, 4> r = src.matrix<T, 4>();
  Mat<T, 4> out;
  multiply(&r, &id4, &out);
  expect_same_bits<T, 4>(out, r);
  multiply(&id4, &r, &out);
  expect_same_bits<T, 4>(out, r);

  // The adjoint of a singular matrix is still computed.
  const Mat<T, 3> singular{{1, 2, 3, 1, 2, 3, 4, 5, 6}};
  Mat<T, 3> adj;
  adjoint(&singular, &adj);
  expect_equal_values<T, 3>(adj, Mat<T, 3>{{-3, 3, 0, 6, -6, 0, -3, 3, 0}});

  // set writes its arguments in storage order; mul_scalar scales every element.
  Mat<T, 3> s;
  if constexpr (std::is_same_v<T, float>)
    matrix3f_set(&s, 1, 2, 3, 4, 5, 6, 7, 8, 9);
  else
    matrix3d_set(&s, 1, 2, 3, 4, 5, 6, 7, 8, 9);
  mul_scalar(&s, T(0.5));
  for (int i = 0; i < 9; ++i)
    EXPECT_EQ(s.m[i], T(i + 1) * T(0.5)) << i;
  Mat<T, 4> s4;
  if constexpr (std::is_same_v<T, float>)
    matrix4f_set(&s4, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  else
    matrix4d_set(&s4, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(s4.m[i], T(i + 1)) << i;
}

// ---- tolerance of the comparison ---------------------------------------------------

template <class T> struct EqualityCase {
  T a, b;
  int equal;
};

template <class T> std::vector<EqualityCase<T>> equality_cases();

// Float: one ulp in [8, 16) is 2^-20 < 1e-6, in [16, 32) 2^-19 > 1e-6. The
// float nearest 1e-6 lies below the double 1e-6 and passes; a comparison made
// in float (against 1e-6f, the same float) would reject it.
template <> std::vector<EqualityCase<float>> equality_cases()
{
  const float e = 1e-6f;
  return {{8.0f, next_up(8.0f), 1}, {next_down(16.0f), 16.0f, 1}, {16.0f, next_up(16.0f), 0},
          {-16.0f, next_down(-16.0f), 0}, {0.0f, e, 1}, {0.0f, next_up(e), 0}, {5.0f, 5.0f, 1}};
}

// Double: one ulp in [4, 8) is 2^-50 < 1e-15, in [8, 16) 2^-49 > 1e-15; a
// difference of exactly 1e-15 fails (strict test).
template <> std::vector<EqualityCase<double>> equality_cases()
{
  return {{4.0, next_up(4.0), 1},  {next_down(8.0), 8.0, 1}, {8.0, next_up(8.0), 0}, {-8.0, next_down(-8.0), 0},
          {0.0, 1e-15, 0},         {0.0, next_down(1e-15), 1}, {5.0, 5.0, 1}};
}

// Catches a relative or float-precision tolerance, a non-strict test, a
// missing absolute value (a - b vs b - a) and a loop that skips an element.
template <class T, int N> void check_equality_boundaries()
{
  for (const EqualityCase<T>& c : equality_cases<T>())
    for (int i = 0; i < N * N; ++i) {
      Mat<T, N> a, b;
      identity(&a);
      identity(&b);
      a.m[i] = c.a;
      b.m[i] = c.b;
      EXPECT_EQ(equals(&a, &b), c.equal) << N << "x" << N << " element " << i << ": " << c.a << " vs " << c.b;
      EXPECT_EQ(equals(&b, &a), c.equal) << N << "x" << N << " element " << i << " (swapped)";
    }

  // NaN compares unequal, to itself too, whether it is in one element or all.
  const T nan = std::numeric_limits<T>::quiet_NaN();
  const Mat<T, N> all_nan = filled<T, N>(nan);
  EXPECT_EQ(equals(&all_nan, &all_nan), 0);
  Mat<T, N> one_nan;
  identity(&one_nan);
  one_nan.m[N * N - 1] = nan;
  EXPECT_EQ(equals(&one_nan, &one_nan), 0);
}

TYPED_TEST(MatrixTest, EqualityUsesAnAbsoluteStrictEpsilon)
{
  check_equality_boundaries<TypeParam, 3>();
  check_equality_boundaries<TypeParam, 4>();
}

// ---- singularity threshold of the inverse --------------------------------------------

// Float: the float nearest 1e-6 lies below the double 1e-6 and is refused;
// the next float is inverted. Double: 1e-15 itself is inverted (strict test),
// the double below it is refused.
template <class T> struct Threshold;
template <> struct Threshold<float> {
  static float refused() { return 1e-6f; }
  static float inverted() { return next_up(1e-6f); }
};
template <> struct Threshold<double> {
  static double refused() { return next_down(1e-15); }
  static double inverted() { return 1e-15; }
};

// Catches a threshold compared in float or not strictly, and an inverse that
// writes its destination for a singular matrix.
template <class T, int N> void check_threshold(const Mat<T, N>& singular)
{
  const Mat<T, N> before = filled<T, N>(T(7));
  Mat<T, N> dst = before;
  const Mat<T, N> small = diagonal<T, N>(Threshold<T>::refused());
  inverse(&small, &dst);
  expect_same_bits<T, N>(dst, before);

  inverse(&singular, &dst);
  expect_same_bits<T, N>(dst, before);

  const T d = Threshold<T>::inverted();
  const Mat<T, N> invertible = diagonal<T, N>(d);
  inverse(&invertible, &dst);
  expect_equal_values<T, N>(dst, diagonal<T, N>(T(1) / d));
}

TYPED_TEST(MatrixTest, InverseLeavesDestinationBelowThreshold)
{
  using T = TypeParam;
  check_threshold<T, 3>(Mat<T, 3>{{1, 2, 3, 1, 2, 3, 4, 5, 6}});
  check_threshold<T, 4>(Mat<T, 4>{{1, 2, 3, 4, 5, 6, 7, 8, 2, 4, 6, 8, 0, 1, 0, 1}});
}

// ---- storage sharing ------------------------------------------------------------

// Catches a product accumulated directly into out, which goes wrong once out
// is one of its inputs.
template <class T, int N> void check_product_aliasing(Source& src)
{
  const Mat<T, N> a = src.matrix<T, N>(), b = src.matrix<T, N>();
  Mat<T, N> ab, aa;
  multiply(&a, &b, &ab);
  multiply(&a, &a, &aa);

  Mat<T, N> x = a;
  multiply(&x, &b, &x);
  expect_same_bits<T, N>(x, ab);
  x = b;
  multiply(&a, &x, &x);
  expect_same_bits<T, N>(x, ab);
  x = a;
  multiply(&x, &x, &x);
  expect_same_bits<T, N>(x, aa);

  copy(&x, &x); // copying a matrix onto itself changes nothing
  expect_same_bits<T, N>(x, aa);
  copy(&x, &a);
  expect_same_bits<T, N>(x, a);
}

TYPED_TEST(MatrixTest, ProductOutputMayBeAnInput)
{
  Source src;
  check_product_aliasing<TypeParam, 3>(src);
  check_product_aliasing<TypeParam, 4>(src);
}

// ---- homogeneous weight ------------------------------------------------------------

struct PointCase {
  double m[16];
  double p[3];
  double want[3];
};

// Catches a missing translation row, a missing division by w, and a division
// by a zero weight (either sign), which must keep the undivided sums.
TYPED_TEST(MatrixTest, PointTransformDividesByNonZeroWeight)
{
  using T = TypeParam;
  const PointCase cases[] = {
      {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 20, 30, 1}, {1, 2, 3}, {11, 22, 33}}, // translation
      {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 2}, {2, 4, 6}, {1, 2, 3}},       // w = 2
      {{1, 2, 0, 0, 0, 1, 0, 0, 3, 0, 1, 0, 5, 6, 7, 0}, {1, 2, 3}, {15, 10, 10}},    // w = +0
      {{1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 4, 5, 6, -2}, {2, 1, 1}, {6, 6, 7}},      // w = 2 - 2 = +0
      {{1, 0, 0, -1, 0, 1, 0, -0.0, 0, 0, 1, -0.0, 4, 5, 6, -0.0}, {0, 1, 1}, {4, 6, 7}}, // w = -0
  };
  for (const PointCase& c : cases) {
    Mat<T, 4> m;
    for (int i = 0; i < 16; ++i)
      m.m[i] = static_cast<T>(c.m[i]);
    const Vec<T> p{{static_cast<T>(c.p[X]), static_cast<T>(c.p[Y]), static_cast<T>(c.p[Z])}};
    Vec<T> out;
    transform_point(&p, &m, &out);
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(out.v[k], static_cast<T>(c.want[k])) << "component " << k << " of case with m33 " << c.m[15];
  }
}

} // namespace
