// Matrix kernels. Every algorithm is written once below, as a template over the
// element type T and the dimension N working on plain arrays; the named float
// and double functions at the end only forward to it.
//
// Floating point is evaluated exactly as written: products and sums in the
// element type, left to right, with no reordering.
#include "mathlib/matrix.h"

#include <array>
#include <cmath>
#include <cstring>

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

// ---- minor index tables ------------------------------------------------------

template <int N> using MinorIndices = std::array<int, (N - 1) * (N - 1)>;

// Storage indices of the transposed minor of element (row, col) of an N x N
// matrix, in the order they fill an (N-1) x (N-1) temporary: with c0 < c1 < ...
// the columns other than col, row k of the temporary is column ck read down the
// rows other than row. Reading the minor transposed leaves its value unchanged
// but fixes the order of the operations of its determinant.
template <int N> constexpr MinorIndices<N> transposed_minor(int row, int col)
{
  MinorIndices<N> idx{};
  int k = 0;
  for (int c = 0; c < N; ++c) {
    if (c == col)
      continue;
    int l = 0;
    for (int r = 0; r < N; ++r) {
      if (r == row)
        continue;
      idx[(N - 1) * k + l] = N * r + c;
      ++l;
    }
    ++k;
  }
  return idx;
}

// All N * N transposed minors; entry N * row + col belongs to element (row, col).
template <int N> constexpr std::array<MinorIndices<N>, N * N> make_minor_table()
{
  std::array<MinorIndices<N>, N * N> table{};
  for (int r = 0; r < N; ++r)
    for (int c = 0; c < N; ++c)
      table[N * r + c] = transposed_minor<N>(r, c);
  return table;
}

template <int N> inline constexpr auto kMinors = make_minor_table<N>();

// The 3x3 determinant's 2x2 minors: A = m4*m8 - m7*m5, B = m3*m8 - m6*m5,
// C = m3*m7 - m6*m4, as det2(a, b, c, d) = a*d - b*c.
static_assert(kMinors<3>[0] == MinorIndices<3>{4, 7, 5, 8});
static_assert(kMinors<3>[1] == MinorIndices<3>{3, 6, 5, 8});
static_assert(kMinors<3>[2] == MinorIndices<3>{3, 6, 4, 7});
// The 4x4 determinant's minors D0 ... D3 (row 0), which are also the first
// column of the 4x4 adjoint, and the minor of element (1, 0) behind adjoint
// entry (0, 1).
static_assert(kMinors<4>[0] == MinorIndices<4>{5, 9, 13, 6, 10, 14, 7, 11, 15});
static_assert(kMinors<4>[1] == MinorIndices<4>{4, 8, 12, 6, 10, 14, 7, 11, 15});
static_assert(kMinors<4>[2] == MinorIndices<4>{4, 8, 12, 5, 9, 13, 7, 11, 15});
static_assert(kMinors<4>[3] == MinorIndices<4>{4, 8, 12, 5, 9, 13, 6, 10, 14});
static_assert(kMinors<4>[4] == MinorIndices<4>{1, 9, 13, 2, 10, 14, 3, 11, 15});

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

// out = v * m; each component is stored as soon as it is computed.
template <class T> void transform_vec3(const T* v, const T* m, T* out)
{
  for (int c = 0; c < 3; ++c)
    out[c] = v[X] * m[3 * 0 + c] + v[Y] * m[3 * 1 + c] + v[Z] * m[3 * 2 + c];
}

// out = (p, 1) * m, then divided by the weight w unless w == 0.
template <class T> void transform_point(const T* p, const T* m, T* out)
{
  for (int c = 0; c < 3; ++c)
    out[c] = p[X] * m[4 * 0 + c] + p[Y] * m[4 * 1 + c] + p[Z] * m[4 * 2 + c] + m[4 * 3 + c];
  const T w = p[X] * m[4 * 0 + W] + p[Y] * m[4 * 1 + W] + p[Z] * m[4 * 2 + W] + m[4 * 3 + W];
  if (w != 0) {
    out[X] = out[X] / w;
    out[Y] = out[Y] / w;
    out[Z] = out[Z] / w;
  }
}

// Formed in a zeroed temporary, so out may be a or b.
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

template <class T> T det2(T a, T b, T c, T d) { return a * d - b * c; }

template <class T, int N> T det(const T* m);

// Determinant of the transposed minor of element (row, col), through a
// temporary filled in the order of the minor table.
template <class T, int N> T minor_det(const T* m, int row, int col)
{
  const MinorIndices<N>& idx = kMinors<N>[N * row + col];
  T t[(N - 1) * (N - 1)];
  for (int i = 0; i < (N - 1) * (N - 1); ++i)
    t[i] = m[idx[i]];
  return det<T, N - 1>(t);
}

// Cofactor expansion along row 0, summed left to right:
// ((m0*D0 - m1*D1) + m2*D2) - m3*D3.
template <class T, int N> T det(const T* m)
{
  if constexpr (N == 2) {
    return det2(m[0], m[1], m[2], m[3]);
  } else {
    T sum = m[0] * minor_det<T, N>(m, 0, 0);
    for (int j = 1; j < N; ++j) {
      const T term = m[j] * minor_det<T, N>(m, 0, j);
      sum = j % 2 ? sum - term : sum + term;
    }
    return sum;
  }
}

// dst(i, j) = (-1)^(i+j) * det(minor of src element (j, i)), written column by
// column. For 3x3 the 2x2 minors are read transposed too; that only swaps the
// factors of their second product (s7*s5 for s5*s7), which is exact.
template <class T, int N> void adjoint(const T* src, T* dst)
{
  for (int j = 0; j < N; ++j)
    for (int i = 0; i < N; ++i) {
      const T d = minor_det<T, N>(src, j, i);
      dst[N * i + j] = (i + j) % 2 ? -d : d;
    }
}

// Leaves dst untouched when |det| < epsilon (compared in double; a NaN
// determinant goes on).
template <class T, int N> void inverse(const T* src, T* dst)
{
  const T d = det<T, N>(src);
  if (std::fabs(static_cast<double>(d)) < MatrixTraits<T>::epsilon)
    return;
  adjoint<T, N>(src, dst);
  const T r = T(1) / d;
  mul_scalar<T, N>(dst, r);
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
