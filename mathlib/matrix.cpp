// Matrix kernels. Every algorithm is written once below, as a template over the
// element type T and the dimension N; the named float and double functions at
// the end only forward to it.
//
// Floating point is evaluated exactly as written: products and sums in the
// element type, left to right, with no reordering. The determinant, adjoint
// and inverse compute the cofactors of one column of the adjoint four at a
// time in lanes (mathlib/precision.h), each lane with the operations of its
// own cofactor in their fixed order; the point and vector transforms compute
// their components in lanes the same way.
#include "mathlib/matrix.h"

#include <array>
#include <cmath>
#include <cstring>

#include "mathlib/precision.h"

using mathlib_detail::Lanes;
using mathlib_detail::lane;
using mathlib_detail::load4;
using mathlib_detail::load_rows3;
using mathlib_detail::negate;
using mathlib_detail::shuffle;
using mathlib_detail::splat;
using mathlib_detail::store3;
using mathlib_detail::store4;
using mathlib_detail::store_rows3;
using mathlib_detail::transpose;

namespace {

// Absolute tolerance of the comparison and singularity threshold of the
// inverse, held as a double for both element types.
template <class T> struct MatrixTraits;
template <> struct MatrixTraits<float> {
  static constexpr double epsilon = 1e-6;
};
template <> struct MatrixTraits<double> {
  static constexpr double epsilon = 1e-15;
};

// The rows of an N x N matrix (N = 3 or 4) in lanes; for N = 3 lane 3 is
// padding.
template <class T, int N> struct RowLanes {
  Lanes<T> r[N];
};
template <class T, int N> inline RowLanes<T, N> load_rows(const T* m)
{
  RowLanes<T, N> rows;
  if constexpr (N == 4) {
    for (int i = 0; i < 4; ++i)
      rows.r[i] = load4(m + 4 * i);
  } else {
    load_rows3(m, rows.r[0], rows.r[1], rows.r[2]);
  }
  return rows;
}
template <class T, int N> inline void store_rows(T* m, const RowLanes<T, N>& rows)
{
  if constexpr (N == 4) {
    for (int i = 0; i < 4; ++i)
      store4(m + 4 * i, rows.r[i]);
  } else {
    store_rows3(m, rows.r[0], rows.r[1], rows.r[2]);
  }
}

// ---- minors ----------------------------------------------------------------------
//
// The transposed minor of element (row, col) of an N x N matrix, as the
// determinant reads it: with c0 < c1 < ... the columns other than col and
// r0 < r1 < ... the rows other than row, its row k is column ck read down the
// rows rl, i.e. its element (k, l) is m(rl, ck). Reading the minor transposed
// leaves its value unchanged but fixes the order of the operations of its
// determinant. Its determinant is that of a 2x2 or 3x3 matrix t (row-major):
//   det2(t) = t0*t3 - t1*t2,
//   det3(t) = ((t0*A - t1*B) + t2*C), A = t4*t8 - t7*t5, B = t3*t8 - t6*t5,
//             C = t3*t7 - t6*t4,
// the cofactor expansion of t along its row 0. The functions below take V as
// a scalar or as four lanes.

// The k-th index (from 0, ascending) of 0 ... N-1 other than `skipped`.
constexpr int other_index(int skipped, int k) { return k < skipped ? k : k + 1; }
static_assert(other_index(0, 0) == 1 && other_index(2, 1) == 1 && other_index(2, 2) == 3);

template <class V> inline V det2(const V& a, const V& b, const V& c, const V& d) { return a * d - b * c; }

template <class V> inline V det3(const V (&t)[9])
{
  const V A = det2(t[4], t[7], t[5], t[8]);
  const V B = det2(t[3], t[6], t[5], t[8]);
  const V C = det2(t[3], t[6], t[4], t[7]);
  return (t[0] * A - t[1] * B) + t[2] * C;
}

// For each row r of the matrix, c[r][k] holds in lane i the element of row r
// in column other_index(i, k), the k-th column of the minors of the elements
// (., i), for k = 0 ... N-2. Lane 3 of an N = 3 matrix is padding.
template <class T, int N> struct MinorColumns {
  Lanes<T> c[N][N - 1];
};
template <class T, int N> inline MinorColumns<T, N> minor_columns(const RowLanes<T, N>& rows)
{
  MinorColumns<T, N> cols;
  for (int r = 0; r < N; ++r) {
    cols.c[r][0] = shuffle<other_index(0, 0), other_index(1, 0), other_index(2, 0), other_index(3, 0)>(rows.r[r]);
    cols.c[r][1] = shuffle<other_index(0, 1), other_index(1, 1), other_index(2, 1), other_index(3, 1)>(rows.r[r]);
    if constexpr (N == 4)
      cols.c[r][2] = shuffle<other_index(0, 2), other_index(1, 2), other_index(2, 2), other_index(3, 2)>(rows.r[r]);
  }
  return cols;
}

// Lane i (i < N) = determinant of the transposed minor of element (Row, i).
template <int Row, class T, int N> inline Lanes<T> minor_dets(const MinorColumns<T, N>& cols)
{
  constexpr int r0 = other_index(Row, 0), r1 = other_index(Row, 1);
  if constexpr (N == 3) {
    return det2(cols.c[r0][0], cols.c[r1][0], cols.c[r0][1], cols.c[r1][1]);
  } else {
    constexpr int r2 = other_index(Row, 2);
    const Lanes<T> t[9] = {cols.c[r0][0], cols.c[r1][0], cols.c[r2][0], cols.c[r0][1], cols.c[r1][1],
                           cols.c[r2][1], cols.c[r0][2], cols.c[r1][2], cols.c[r2][2]};
    return det3(t);
  }
}

// Cofactor expansion along row 0, summed left to right:
// ((m0*D0 - m1*D1) + m2*D2) - m3*D3, Dj = minor_dets<0> lane j.
template <class T, int N> inline T det_from_minors(const Lanes<T>& row0, const Lanes<T>& d)
{
  const Lanes<T> p = row0 * d;
  const T sum = (lane<0>(p) - lane<1>(p)) + lane<2>(p);
  if constexpr (N == 3)
    return sum;
  else
    return sum - lane<3>(p);
}

// Column `Col` of the adjoint, dst(i, Col) = (-1)^(i+Col) * minor_dets<Col> lane i.
template <int Col, class T> inline Lanes<T> adjoint_column(const Lanes<T>& minors)
{
  return negate<Col % 2 ? 0x5 : 0xA>(minors);
}

// The adjoint's columns from its first one, in lanes.
template <class T, int N> inline RowLanes<T, N> adjoint_columns(const MinorColumns<T, N>& cols, const Lanes<T>& d0)
{
  RowLanes<T, N> adj;
  adj.r[0] = adjoint_column<0>(d0);
  adj.r[1] = adjoint_column<1>(minor_dets<1>(cols));
  adj.r[2] = adjoint_column<2>(minor_dets<2>(cols));
  if constexpr (N == 4)
    adj.r[3] = adjoint_column<3>(minor_dets<3>(cols));
  return adj;
}

// Columns in lanes to rows in lanes.
template <class T, int N> inline void columns_to_rows(RowLanes<T, N>& m)
{
  if constexpr (N == 4) {
    transpose(m.r[0], m.r[1], m.r[2], m.r[3]);
  } else {
    Lanes<T> pad = m.r[2];
    transpose(m.r[0], m.r[1], m.r[2], pad);
  }
}

// ---- kernels -----------------------------------------------------------------

template <class T, int N> void fill(T* out, const std::array<T, N * N>& values)
{
  for (int i = 0; i < N * N; ++i)
    out[i] = values[i];
}

template <class T, int N> void identity(T* out)
{
  for (int r = 0; r < N; ++r)
    for (int c = 0; c < N; ++c)
      out[N * r + c] = r == c ? T(1) : T(0);
}

template <class T, int N> int equals(const T* a, const T* b)
{
  for (int i = 0; i < N * N; ++i) {
    T d = a[i] - b[i];
    if (d < 0)
      d = -d;
    // Compared in double; a NaN difference is not below epsilon.
    if (!(static_cast<double>(d) < MatrixTraits<T>::epsilon))
      return 0;
  }
  return 1;
}

template <class T, int N> void copy(T* dst, const T* src)
{
  // memmove: the destination may be the source itself.
  std::memmove(dst, src, sizeof(T) * N * N);
}

// out = v * m: lane c is v.x*m(0, c) + v.y*m(1, c) + v.z*m(2, c). All of v and
// m is read before out is written.
template <class T> void transform_vec3(const T* v, const T* m, T* out)
{
  const RowLanes<T, 3> rows = load_rows<T, 3>(m);
  store3(out, (splat(v[X]) * rows.r[0] + splat(v[Y]) * rows.r[1]) + splat(v[Z]) * rows.r[2]);
}

// out = (p, 1) * m, then divided by the weight w unless w == 0: lane c (and
// lane 3, which is w) is p.x*m(0, c) + p.y*m(1, c) + p.z*m(2, c) + m(3, c).
template <class T> void transform_point(const T* p, const T* m, T* out)
{
  const RowLanes<T, 4> rows = load_rows<T, 4>(m);
  Lanes<T> sum = ((splat(p[X]) * rows.r[0] + splat(p[Y]) * rows.r[1]) + splat(p[Z]) * rows.r[2]) + rows.r[3];
  const T w = lane<W>(sum);
  if (w != 0)
    sum = sum / splat(w);
  store3(out, sum);
}

// Formed in a zeroed temporary, so out may be a or b: t(i, j) = t(i, j) +
// a(i, k)*b(k, j) for k = 0 ... N-1 in turn (the zero start turns a product of
// -0 into +0). Written as plain loops: the compiler vectorises them over j, one
// row of b per step, which is as fast as four explicit lanes and keeps the
// double and 3x3 forms free of padding.
template <class T, int N> void multiply(const T* a, const T* b, T* out)
{
  T t[N * N] = {};
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < N; ++j)
      for (int k = 0; k < N; ++k)
        t[N * i + j] = t[N * i + j] + a[N * i + k] * b[N * k + j];
  copy<T, N>(out, t);
}

template <class T, int N> void mul_scalar(T* m, T s)
{
  for (int i = 0; i < N * N; ++i)
    m[i] = m[i] * s;
}

template <class T, int N> T det(const T* m)
{
  const RowLanes<T, N> rows = load_rows<T, N>(m);
  return det_from_minors<T, N>(rows.r[0], minor_dets<0>(minor_columns(rows)));
}

// dst(i, j) = (-1)^(i+j) * det(transposed minor of src element (j, i)).
template <class T, int N> void adjoint(const T* src, T* dst)
{
  const MinorColumns<T, N> cols = minor_columns(load_rows<T, N>(src));
  RowLanes<T, N> adj = adjoint_columns(cols, minor_dets<0>(cols));
  columns_to_rows(adj);
  store_rows(dst, adj);
}

// det(src); dst untouched when |det| < epsilon (compared in double; a NaN
// determinant goes on); otherwise dst = adjoint(src) times 1/det. The
// determinant's row-0 minors are the adjoint's first column.
template <class T, int N> void inverse(const T* src, T* dst)
{
  const RowLanes<T, N> rows = load_rows<T, N>(src);
  const MinorColumns<T, N> cols = minor_columns(rows);
  const Lanes<T> d0 = minor_dets<0>(cols);
  const T d = det_from_minors<T, N>(rows.r[0], d0);
  if (std::fabs(static_cast<double>(d)) < MatrixTraits<T>::epsilon)
    return;
  RowLanes<T, N> adj = adjoint_columns(cols, d0);
  const Lanes<T> r = splat(T(1) / d);
  for (int i = 0; i < N; ++i)
    adj.r[i] = adj.r[i] * r;
  columns_to_rows(adj);
  store_rows(dst, adj);
}

} // namespace

// ---- single precision ----------------------------------------------------------

void matrix3f_set(Matrix3f* out, float m00, float m01, float m02, float m10, float m11, float m12, float m20,
                  float m21, float m22)
{
  fill<float, 3>(out->m, {m00, m01, m02, m10, m11, m12, m20, m21, m22});
}

void matrix4f_set(Matrix4f* out, float m00, float m01, float m02, float m03, float m10, float m11, float m12,
                  float m13, float m20, float m21, float m22, float m23, float m30, float m31, float m32, float m33)
{
  fill<float, 4>(out->m, {m00, m01, m02, m03, m10, m11, m12, m13, m20, m21, m22, m23, m30, m31, m32, m33});
}

void matrix3f_identity(Matrix3f* out) { identity<float, 3>(out->m); }
void matrix4f_identity(Matrix4f* out) { identity<float, 4>(out->m); }

int matrix3f_equals(const Matrix3f* a, const Matrix3f* b) { return equals<float, 3>(a->m, b->m); }
int matrix4f_equals(const Matrix4f* a, const Matrix4f* b) { return equals<float, 4>(a->m, b->m); }

void matrix3f_copy(Matrix3f* dst, const Matrix3f* src) { copy<float, 3>(dst->m, src->m); }
void matrix4f_copy(Matrix4f* dst, const Matrix4f* src) { copy<float, 4>(dst->m, src->m); }

void matrix3f_transform_vec3(const Vec3f* v, const Matrix3f* m, Vec3f* out) { transform_vec3(v->v, m->m, out->v); }
void matrix4f_transform_point(const Vec3f* p, const Matrix4f* m, Vec3f* out)
{
  transform_point(p->v, m->m, out->v);
}

void matrix3f_multiply(const Matrix3f* a, const Matrix3f* b, Matrix3f* out) { multiply<float, 3>(a->m, b->m, out->m); }
void matrix4f_multiply(const Matrix4f* a, const Matrix4f* b, Matrix4f* out) { multiply<float, 4>(a->m, b->m, out->m); }

void matrix3f_mul_scalar(Matrix3f* m, float s) { mul_scalar<float, 3>(m->m, s); }
void matrix4f_mul_scalar(Matrix4f* m, float s) { mul_scalar<float, 4>(m->m, s); }

float det2f(float a, float b, float c, float d) { return det2(a, b, c, d); }
float matrix3f_det(const Matrix3f* m) { return det<float, 3>(m->m); }
float matrix4f_det(const Matrix4f* m) { return det<float, 4>(m->m); }

void matrix3f_adjoint(const Matrix3f* src, Matrix3f* dst) { adjoint<float, 3>(src->m, dst->m); }
void matrix4f_adjoint(const Matrix4f* src, Matrix4f* dst) { adjoint<float, 4>(src->m, dst->m); }

void matrix3f_inverse(const Matrix3f* src, Matrix3f* dst) { inverse<float, 3>(src->m, dst->m); }
void matrix4f_inverse(const Matrix4f* src, Matrix4f* dst) { inverse<float, 4>(src->m, dst->m); }

// ---- double precision ----------------------------------------------------------

void matrix3d_set(Matrix3d* out, double m00, double m01, double m02, double m10, double m11, double m12,
                  double m20, double m21, double m22)
{
  fill<double, 3>(out->m, {m00, m01, m02, m10, m11, m12, m20, m21, m22});
}

void matrix4d_set(Matrix4d* out, double m00, double m01, double m02, double m03, double m10, double m11,
                  double m12, double m13, double m20, double m21, double m22, double m23, double m30, double m31,
                  double m32, double m33)
{
  fill<double, 4>(out->m, {m00, m01, m02, m03, m10, m11, m12, m13, m20, m21, m22, m23, m30, m31, m32, m33});
}

void matrix3d_identity(Matrix3d* out) { identity<double, 3>(out->m); }
void matrix4d_identity(Matrix4d* out) { identity<double, 4>(out->m); }

int matrix3d_equals(const Matrix3d* a, const Matrix3d* b) { return equals<double, 3>(a->m, b->m); }
int matrix4d_equals(const Matrix4d* a, const Matrix4d* b) { return equals<double, 4>(a->m, b->m); }

void matrix3d_copy(Matrix3d* dst, const Matrix3d* src) { copy<double, 3>(dst->m, src->m); }
void matrix4d_copy(Matrix4d* dst, const Matrix4d* src) { copy<double, 4>(dst->m, src->m); }

void matrix3d_transform_vec3(const Vec3d* v, const Matrix3d* m, Vec3d* out) { transform_vec3(v->v, m->m, out->v); }
void matrix4d_transform_point(const Vec3d* p, const Matrix4d* m, Vec3d* out)
{
  transform_point(p->v, m->m, out->v);
}

void matrix3d_multiply(const Matrix3d* a, const Matrix3d* b, Matrix3d* out)
{
  multiply<double, 3>(a->m, b->m, out->m);
}
void matrix4d_multiply(const Matrix4d* a, const Matrix4d* b, Matrix4d* out)
{
  multiply<double, 4>(a->m, b->m, out->m);
}

void matrix3d_mul_scalar(Matrix3d* m, double s) { mul_scalar<double, 3>(m->m, s); }
void matrix4d_mul_scalar(Matrix4d* m, double s) { mul_scalar<double, 4>(m->m, s); }

double det2d(double a, double b, double c, double d) { return det2(a, b, c, d); }
double matrix3d_det(const Matrix3d* m) { return det<double, 3>(m->m); }
double matrix4d_det(const Matrix4d* m) { return det<double, 4>(m->m); }

void matrix3d_adjoint(const Matrix3d* src, Matrix3d* dst) { adjoint<double, 3>(src->m, dst->m); }
void matrix4d_adjoint(const Matrix4d* src, Matrix4d* dst) { adjoint<double, 4>(src->m, dst->m); }

void matrix3d_inverse(const Matrix3d* src, Matrix3d* dst) { inverse<double, 3>(src->m, dst->m); }
void matrix4d_inverse(const Matrix4d* src, Matrix4d* dst) { inverse<double, 4>(src->m, dst->m); }
