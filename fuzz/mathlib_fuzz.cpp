// Fuzzes the math library with arbitrary bit patterns (NaN, infinities,
// denormals, huge and tiny values) and arbitrary order codes. Nothing may
// crash or show undefined behaviour, and what holds for every input is
// checked: a normalised quaternion is unit length, the identity, or NaN from
// non-finite input; quantisers stay in range; an inverse either leaves its
// destination untouched or, for a well-conditioned matrix, gives the identity
// when multiplied with its source.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "mathlib/euler.h"
#include "mathlib/matrix.h"
#include "mathlib/quantise.h"
#include "mathlib/quat.h"
#include "mathlib/rotation_deg.h"

namespace {

void fail(const char *what)
{
  std::fprintf(stderr, "mathlib fuzz: %s\n", what);
  std::abort();
}

float any_float(FuzzedDataProvider &in)
{
  const uint32_t bits = in.ConsumeIntegral<uint32_t>();
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

double any_double(FuzzedDataProvider &in)
{
  const uint64_t bits = in.ConsumeIntegral<uint64_t>();
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

// When set, values are moderate (multiples of 1/256 below 128 in size), so
// that well-conditioned matrices come up often; otherwise any bit pattern.
bool moderate = false;

template <class T, size_t N> void fill(FuzzedDataProvider &in, T (&v)[N])
{
  for (T &x : v)
    x = moderate ? static_cast<T>(in.ConsumeIntegral<int16_t>()) / 256
        : sizeof(T) == 4 ? static_cast<T>(any_float(in))
                         : static_cast<T>(any_double(in));
}

template <class T, size_t N> bool all_finite(const T (&v)[N])
{
  for (T x : v)
    if (!std::isfinite(x))
      return false;
  return true;
}

template <class T, size_t N> bool any_nan(const T (&v)[N])
{
  for (T x : v)
    if (std::isnan(x))
      return true;
  return false;
}

template <class Quat> void check_normalized(const Quat &q, const Quat &n)
{
  if (!all_finite(q.v)) {
    return; // non-finite input: NaN or infinite parts may come out, nothing else is promised
  }
  if (n.v[0] == 0 && n.v[1] == 0 && n.v[2] == 0 && n.v[3] == 1)
    return; // the identity, for the zero quaternion
  double length = 0;
  for (auto c : n.v)
    length += static_cast<double>(c) * static_cast<double>(c);
  if (!(std::fabs(std::sqrt(length) - 1.0) < 1e-5))
    fail("a normalised quaternion is not of unit length");
}

// The largest element of the inverse of an N x N matrix, by Gauss-Jordan
// elimination with partial pivoting in long double; infinity when singular.
template <int N, class T> long double reference_inverse_size(const T *m)
{
  long double a[N][2 * N];
  for (int r = 0; r < N; ++r)
    for (int c = 0; c < 2 * N; ++c)
      a[r][c] = c < N ? static_cast<long double>(m[N * r + c]) : (c - N == r ? 1.0L : 0.0L);
  for (int col = 0; col < N; ++col) {
    int pivot = col;
    for (int r = col + 1; r < N; ++r)
      if (std::fabs(a[r][col]) > std::fabs(a[pivot][col]))
        pivot = r;
    if (a[pivot][col] == 0)
      return INFINITY;
    for (int c = 0; c < 2 * N; ++c)
      std::swap(a[col][c], a[pivot][c]);
    const long double p = a[col][col];
    for (int c = 0; c < 2 * N; ++c)
      a[col][c] /= p;
    for (int r = 0; r < N; ++r)
      if (r != col) {
        const long double f = a[r][col];
        for (int c = 0; c < 2 * N; ++c)
          a[r][c] -= f * a[col][c];
      }
  }
  long double largest = 0;
  for (int r = 0; r < N; ++r)
    for (int c = N; c < 2 * N; ++c)
      largest = std::fmax(largest, std::fabs(a[r][c]));
  return largest;
}

// For a well-conditioned matrix (finite, moderate elements, condition number
// estimated from an independent inverse below 1000), src times the inverse is
// the identity within a tolerance fitted to the element type; otherwise the
// destination keeps its contents or holds whatever the arithmetic gives.
template <class Matrix, int N, class Inverse, class Multiply>
void check_inverse(const Matrix &src, Inverse inverse, Multiply multiply, double tolerance)
{
  Matrix dst;
  for (auto &x : dst.m)
    x = 12345;
  inverse(&src, &dst);
  bool untouched = true;
  for (auto x : dst.m)
    untouched = untouched && x == 12345;
  if (untouched || !all_finite(src.m))
    return;
  double largest = 0;
  for (auto x : src.m)
    largest = std::fmax(largest, std::fabs(static_cast<double>(x)));
  const double condition = static_cast<double>(N * N * largest * reference_inverse_size<N>(src.m));
  if (largest > 1e3 || largest < 1e-3 || !(condition < 1e3))
    return;
  Matrix product;
  multiply(&src, &dst, &product);
  for (int r = 0; r < N; ++r)
    for (int c = 0; c < N; ++c)
      if (!(std::fabs(static_cast<double>(product.m[N * r + c]) - (r == c ? 1.0 : 0.0)) <= tolerance * condition)) {
        for (int i = 0; i < N * N; ++i)
          std::fprintf(stderr, "%d: src %.9g inverse %.9g product %.9g\n", i, static_cast<double>(src.m[i]),
                       static_cast<double>(dst.m[i]), static_cast<double>(product.m[i]));
        fail("an inverse times its source is not the identity");
      }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  FuzzedDataProvider in(data, size);
  moderate = in.ConsumeBool();

  // Euler angles: arbitrary angles, orders and order fields in w.
  EulerAngles ea;
  fill(in, ea.v);
  const EulerOrder order = in.ConsumeIntegral<int>();
  Quatf q;
  Matrix4f m4;
  EulerAngles back;
  euler_to_quatf(&ea, &q);
  euler_to_matrix4f(&ea, &m4);
  matrix4f_to_euler(&m4, order, &back);
  quatf_to_euler(&q, order, &back);
  fill(in, m4.m);
  matrix4f_to_euler(&m4, order, &back);
  fill(in, q.v);
  quatf_to_euler(&q, order, &back);

  // Quaternions.
  Quatf a, b, out;
  fill(in, a.v);
  fill(in, b.v);
  quatf_normalize(&a, &out);
  check_normalized(a, out);
  Quatd ad, outd;
  fill(in, ad.v);
  quatd_normalize(&ad, &outd);
  check_normalized(ad, outd);
  quatf_multiply(&a, &b, &out);
  quatf_inverse(&a, &out);
  Matrix3f m3;
  quatf_to_matrix3f(&a, &m3);
  fill(in, m3.m);
  matrix3f_to_quatf(&m3, &out);
  float axis[3], angle = any_float(in);
  fill(in, axis);
  quatf_from_axis_angle(angle, axis, &out);
  quatf_to_axis_angle(&a, &angle, axis);
  double axisd[3], angled;
  quatd_to_axis_angle(&ad, &angled, axisd);
  quatf_relative_axis_angle(&a, &b, axis);
  Vec4f v4, r4;
  fill(in, v4.v);
  matrix4f_transform_vec4(&m4, &v4, &r4);

  // Matrix kernels, both families.
  Matrix3f f3;
  Matrix4f f4;
  Matrix3d d3;
  Matrix4d d4;
  fill(in, f3.m);
  fill(in, f4.m);
  fill(in, d3.m);
  fill(in, d4.m);
  Vec3f vf, of;
  Vec3d vd, od;
  fill(in, vf.v);
  fill(in, vd.v);
  (void)matrix3f_equals(&f3, &m3);
  (void)matrix4d_equals(&d4, &d4);
  matrix3f_transform_vec3(&vf, &f3, &of);
  matrix4f_transform_point(&vf, &f4, &of);
  matrix3d_transform_vec3(&vd, &d3, &od);
  matrix4d_transform_point(&vd, &d4, &od);
  Matrix4f pf;
  Matrix4d pd;
  matrix4f_multiply(&f4, &m4, &pf);
  matrix4d_multiply(&d4, &d4, &pd);
  (void)matrix3f_det(&f3);
  (void)matrix4d_det(&d4);
  Matrix3f adj3;
  Matrix4d adj4;
  matrix3f_adjoint(&f3, &adj3);
  matrix4d_adjoint(&d4, &adj4);
  check_inverse<Matrix3f, 3>(f3, matrix3f_inverse, matrix3f_multiply, 1e-5);
  check_inverse<Matrix4f, 4>(f4, matrix4f_inverse, matrix4f_multiply, 1e-5);
  check_inverse<Matrix3d, 3>(d3, matrix3d_inverse, matrix3d_multiply, 1e-13);
  check_inverse<Matrix4d, 4>(d4, matrix4d_inverse, matrix4d_multiply, 1e-13);
  matrix3f_mul_scalar(&f3, any_float(in));
  matrix4d_mul_scalar(&d4, any_double(in));

  // Quantisers: the integer forms stay within their top values, the float
  // forms within [0, 1].
  const float x = any_float(in);
  (void)float_to_u8(x);
  (void)float_to_u16(x);
  if (float_to_u31(x) > 2147483647u)
    fail("float_to_u31 above 2^31 - 1");
  const float back8 = u8_to_float(in.ConsumeIntegral<uint8_t>());
  const float back16 = u16_to_float(in.ConsumeIntegral<uint16_t>());
  const float back31 = u31_to_float(in.ConsumeIntegral<uint32_t>());
  for (float f : {back8, back16, back31})
    if (!(f >= 0.0f && f <= 1.0f))
      fail("a quantised value converted back leaves [0, 1]");

  (void)any_nan(ea.v);
  return 0;
}
