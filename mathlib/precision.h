// Library-internal: how the math library evaluates.
//
// The functions of the C library: each wide_* takes its operand in the
// storage precision T, widens it to double, evaluates in double and rounds the
// result back to T.
//
// Four independent elements at a time: Lanes<T> (below).
#pragma once

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mathlib_detail {

template <class T> inline T wide_sqrt(T x) { return static_cast<T>(std::sqrt(static_cast<double>(x))); }
template <class T> inline T wide_sin(T x) { return static_cast<T>(std::sin(static_cast<double>(x))); }
template <class T> inline T wide_cos(T x) { return static_cast<T>(std::cos(static_cast<double>(x))); }
template <class T> inline T wide_atan(T x) { return static_cast<T>(std::atan(static_cast<double>(x))); }
template <class T> inline T wide_acos(T x) { return static_cast<T>(std::acos(static_cast<double>(x))); }
template <class T> inline T wide_atan2(T a, T b)
{
  return static_cast<T>(std::atan2(static_cast<double>(a), static_cast<double>(b)));
}

// Four lanes. Kernels that compute independent elements (the cofactors of a
// column of an adjoint, the components of a point transform or of a quaternion
// product) do so four at a time in a Lanes<T>. Every operation works
// lane by lane with the single IEEE operation the scalar code would do on that
// element, operands in the same order, so each lane's bits are those of the
// scalar evaluation; nothing is fused, reordered or approximated. Lanes that a
// kernel does not need (the fourth of a 3x3 row, say) are padding: whatever
// they compute is never stored. Where the target has SSE2 (x86-64, and i386 as
// built with -msse2 -mfpmath=sse) floats live in one SSE register and doubles
// in two; elsewhere the four values are an array that the compiler may
// vectorise by itself.

template <class T> struct Lanes {
  T v[4];
};

template <class T, class Op> inline Lanes<T> lanewise(const Lanes<T>& a, const Lanes<T>& b, Op op)
{
  Lanes<T> r;
  for (int i = 0; i < 4; ++i)
    r.v[i] = op(a.v[i], b.v[i]);
  return r;
}
template <class T> inline Lanes<T> operator+(const Lanes<T>& a, const Lanes<T>& b)
{
  return lanewise(a, b, [](T x, T y) { return x + y; });
}
template <class T> inline Lanes<T> operator-(const Lanes<T>& a, const Lanes<T>& b)
{
  return lanewise(a, b, [](T x, T y) { return x - y; });
}
template <class T> inline Lanes<T> operator*(const Lanes<T>& a, const Lanes<T>& b)
{
  return lanewise(a, b, [](T x, T y) { return x * y; });
}
template <class T> inline Lanes<T> operator/(const Lanes<T>& a, const Lanes<T>& b)
{
  return lanewise(a, b, [](T x, T y) { return x / y; });
}
template <class T> inline Lanes<T> splat(T s) { return {{s, s, s, s}}; }
template <class T> inline Lanes<T> load4(const T* p) { return {{p[0], p[1], p[2], p[3]}}; }
template <class T> inline void store4(T* p, const Lanes<T>& a)
{
  for (int i = 0; i < 4; ++i)
    p[i] = a.v[i];
}
// Three elements; lane 3 repeats lane 2.
template <class T> inline Lanes<T> load3(const T* p) { return {{p[0], p[1], p[2], p[2]}}; }
// Lanes 0 to 2 into p[0] ... p[2]; nothing else is written.
template <class T> inline void store3(T* p, const Lanes<T>& a)
{
  for (int i = 0; i < 3; ++i)
    p[i] = a.v[i];
}
// The rows of a row-major 3x3 matrix (nine elements); lane 3 is padding.
template <class T> inline void load_rows3(const T* m, Lanes<T>& r0, Lanes<T>& r1, Lanes<T>& r2)
{
  r0 = load3(m);
  r1 = load3(m + 3);
  r2 = load3(m + 6);
}
// Writes the nine elements of a row-major 3x3 matrix from three rows, once all
// three are formed (nothing outside the nine is touched).
template <class T> inline void store_rows3(T* m, const Lanes<T>& r0, const Lanes<T>& r1, const Lanes<T>& r2)
{
  store3(m, r0);
  store3(m + 3, r1);
  store3(m + 6, r2);
}
// Lane i of the result is lane S_i of a.
template <int S0, int S1, int S2, int S3, class T> inline Lanes<T> shuffle(const Lanes<T>& a)
{
  return {{a.v[S0], a.v[S1], a.v[S2], a.v[S3]}};
}
// Negates (an exact change of sign, NaNs included) the lanes whose bit is set in Mask.
template <int Mask, class T> inline Lanes<T> negate(const Lanes<T>& a)
{
  Lanes<T> r;
  for (int i = 0; i < 4; ++i)
    r.v[i] = (Mask >> i) & 1 ? -a.v[i] : a.v[i];
  return r;
}
// (a[A0], a[A1], b[B0], b[B1]).
template <int A0, int A1, int B0, int B1, class T> inline Lanes<T> combine(const Lanes<T>& a, const Lanes<T>& b)
{
  return {{a.v[A0], a.v[A1], b.v[B0], b.v[B1]}};
}
// (a0, b0, a1, b1) and (a2, b2, a3, b3).
template <class T> inline Lanes<T> interleave_low(const Lanes<T>& a, const Lanes<T>& b)
{
  return {{a.v[0], b.v[0], a.v[1], b.v[1]}};
}
template <class T> inline Lanes<T> interleave_high(const Lanes<T>& a, const Lanes<T>& b)
{
  return {{a.v[2], b.v[2], a.v[3], b.v[3]}};
}
// (a0, a1, a2, s).
template <class T> inline Lanes<T> with_lane3(const Lanes<T>& a, T s) { return {{a.v[0], a.v[1], a.v[2], s}}; }
template <int I, class T> inline T lane(const Lanes<T>& a) { return a.v[I]; }
// Rows become columns: afterwards a.v[i] holds the old lane 0 of row i, ...
template <class T> inline void transpose(Lanes<T>& a, Lanes<T>& b, Lanes<T>& c, Lanes<T>& d)
{
  Lanes<T>* r[4] = {&a, &b, &c, &d};
  for (int i = 0; i < 4; ++i)
    for (int j = i + 1; j < 4; ++j) {
      const T t = r[i]->v[j];
      r[i]->v[j] = r[j]->v[i];
      r[j]->v[i] = t;
    }
}

#if defined(__SSE2__)
template <> struct Lanes<float> {
  __m128 v;
};
using Lanes4f = Lanes<float>;
inline Lanes4f operator+(Lanes4f a, Lanes4f b) { return {_mm_add_ps(a.v, b.v)}; }
inline Lanes4f operator-(Lanes4f a, Lanes4f b) { return {_mm_sub_ps(a.v, b.v)}; }
inline Lanes4f operator*(Lanes4f a, Lanes4f b) { return {_mm_mul_ps(a.v, b.v)}; }
inline Lanes4f operator/(Lanes4f a, Lanes4f b) { return {_mm_div_ps(a.v, b.v)}; }
template <> inline Lanes4f splat(float s) { return {_mm_set1_ps(s)}; }
template <> inline Lanes4f load4(const float* p) { return {_mm_loadu_ps(p)}; }
template <> inline void store4(float* p, const Lanes4f& a) { _mm_storeu_ps(p, a.v); }
template <> inline Lanes4f load3(const float* p)
{
  const __m128 xy = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(p));
  const __m128 z = _mm_load_ss(p + 2);
  return {_mm_movelh_ps(xy, _mm_shuffle_ps(z, z, _MM_SHUFFLE(0, 0, 0, 0)))};
}
template <> inline void store3(float* p, const Lanes4f& a)
{
  _mm_storel_pi(reinterpret_cast<__m64*>(p), a.v);
  _mm_store_ss(p + 2, _mm_movehl_ps(a.v, a.v));
}
// Rows 0 and 1 are read four elements wide (their lane 3 is the next row's
// first element), row 2 from element 5 on and shifted down.
template <> inline void load_rows3(const float* m, Lanes4f& r0, Lanes4f& r1, Lanes4f& r2)
{
  r0.v = _mm_loadu_ps(m);
  r1.v = _mm_loadu_ps(m + 3);
  const __m128 t = _mm_loadu_ps(m + 5);
  r2.v = _mm_shuffle_ps(t, t, _MM_SHUFFLE(3, 3, 2, 1));
}
// Rows 0 and 1 are written four elements wide, each overwriting the padding
// the one before left in the next row's first element.
template <> inline void store_rows3(float* m, const Lanes4f& r0, const Lanes4f& r1, const Lanes4f& r2)
{
  _mm_storeu_ps(m, r0.v);
  _mm_storeu_ps(m + 3, r1.v);
  store3(m + 6, r2);
}
template <int S0, int S1, int S2, int S3> inline Lanes4f shuffle(const Lanes4f& a)
{
  return {_mm_shuffle_ps(a.v, a.v, _MM_SHUFFLE(S3, S2, S1, S0))};
}
template <int Mask> inline Lanes4f negate(const Lanes4f& a)
{
  const __m128 signs = _mm_setr_ps(Mask & 1 ? -0.0f : 0.0f, Mask & 2 ? -0.0f : 0.0f, Mask & 4 ? -0.0f : 0.0f,
                                   Mask & 8 ? -0.0f : 0.0f);
  return {_mm_xor_ps(a.v, signs)};
}
template <int A0, int A1, int B0, int B1> inline Lanes4f combine(const Lanes4f& a, const Lanes4f& b)
{
  return {_mm_shuffle_ps(a.v, b.v, _MM_SHUFFLE(B1, B0, A1, A0))};
}
template <> inline Lanes4f interleave_low(const Lanes4f& a, const Lanes4f& b) { return {_mm_unpacklo_ps(a.v, b.v)}; }
template <> inline Lanes4f interleave_high(const Lanes4f& a, const Lanes4f& b) { return {_mm_unpackhi_ps(a.v, b.v)}; }
template <> inline Lanes4f with_lane3(const Lanes4f& a, float s)
{
  const __m128 t = _mm_unpackhi_ps(a.v, _mm_set1_ps(s)); // a2 s a3 s
  return {_mm_shuffle_ps(a.v, t, _MM_SHUFFLE(1, 0, 1, 0))};
}
template <int I> inline float lane(const Lanes4f& a)
{
  return _mm_cvtss_f32(_mm_shuffle_ps(a.v, a.v, _MM_SHUFFLE(I, I, I, I)));
}
template <> inline void transpose(Lanes4f& a, Lanes4f& b, Lanes4f& c, Lanes4f& d)
{
  _MM_TRANSPOSE4_PS(a.v, b.v, c.v, d.v);
}

// Lanes 0, 1 in lo and 2, 3 in hi.
template <> struct Lanes<double> {
  __m128d lo, hi;
};
using Lanes4d = Lanes<double>;
inline Lanes4d operator+(Lanes4d a, Lanes4d b) { return {_mm_add_pd(a.lo, b.lo), _mm_add_pd(a.hi, b.hi)}; }
inline Lanes4d operator-(Lanes4d a, Lanes4d b) { return {_mm_sub_pd(a.lo, b.lo), _mm_sub_pd(a.hi, b.hi)}; }
inline Lanes4d operator*(Lanes4d a, Lanes4d b) { return {_mm_mul_pd(a.lo, b.lo), _mm_mul_pd(a.hi, b.hi)}; }
inline Lanes4d operator/(Lanes4d a, Lanes4d b) { return {_mm_div_pd(a.lo, b.lo), _mm_div_pd(a.hi, b.hi)}; }
template <> inline Lanes4d splat(double s) { return {_mm_set1_pd(s), _mm_set1_pd(s)}; }
template <> inline Lanes4d load4(const double* p) { return {_mm_loadu_pd(p), _mm_loadu_pd(p + 2)}; }
template <> inline void store4(double* p, const Lanes4d& a)
{
  _mm_storeu_pd(p, a.lo);
  _mm_storeu_pd(p + 2, a.hi);
}
template <> inline Lanes4d load3(const double* p) { return {_mm_loadu_pd(p), _mm_load1_pd(p + 2)}; }
template <> inline void store3(double* p, const Lanes4d& a)
{
  _mm_storeu_pd(p, a.lo);
  _mm_store_sd(p + 2, a.hi);
}
// (a[S0], a[S1]) as one register.
template <int S0, int S1> inline __m128d pick(const Lanes4d& a)
{
  return _mm_shuffle_pd(S0 < 2 ? a.lo : a.hi, S1 < 2 ? a.lo : a.hi, (S0 & 1) | (S1 & 1) << 1);
}
template <int S0, int S1, int S2, int S3> inline Lanes4d shuffle(const Lanes4d& a)
{
  return {pick<S0, S1>(a), pick<S2, S3>(a)};
}
template <int A0, int A1, int B0, int B1> inline Lanes4d combine(const Lanes4d& a, const Lanes4d& b)
{
  return {pick<A0, A1>(a), pick<B0, B1>(b)};
}
template <> inline Lanes4d interleave_low(const Lanes4d& a, const Lanes4d& b)
{
  return {_mm_unpacklo_pd(a.lo, b.lo), _mm_unpackhi_pd(a.lo, b.lo)};
}
template <> inline Lanes4d interleave_high(const Lanes4d& a, const Lanes4d& b)
{
  return {_mm_unpacklo_pd(a.hi, b.hi), _mm_unpackhi_pd(a.hi, b.hi)};
}
template <> inline Lanes4d with_lane3(const Lanes4d& a, double s) { return {a.lo, _mm_unpacklo_pd(a.hi, _mm_set_sd(s))}; }
template <int Mask> inline Lanes4d negate(const Lanes4d& a)
{
  const __m128d lo = _mm_setr_pd(Mask & 1 ? -0.0 : 0.0, Mask & 2 ? -0.0 : 0.0);
  const __m128d hi = _mm_setr_pd(Mask & 4 ? -0.0 : 0.0, Mask & 8 ? -0.0 : 0.0);
  return {_mm_xor_pd(a.lo, lo), _mm_xor_pd(a.hi, hi)};
}
template <int I> inline double lane(const Lanes4d& a)
{
  const __m128d h = I < 2 ? a.lo : a.hi;
  return _mm_cvtsd_f64(I % 2 ? _mm_unpackhi_pd(h, h) : h);
}
template <> inline void transpose(Lanes4d& a, Lanes4d& b, Lanes4d& c, Lanes4d& d)
{
  const Lanes4d ta = {_mm_unpacklo_pd(a.lo, b.lo), _mm_unpacklo_pd(c.lo, d.lo)};
  const Lanes4d tb = {_mm_unpackhi_pd(a.lo, b.lo), _mm_unpackhi_pd(c.lo, d.lo)};
  const Lanes4d tc = {_mm_unpacklo_pd(a.hi, b.hi), _mm_unpacklo_pd(c.hi, d.hi)};
  const Lanes4d td = {_mm_unpackhi_pd(a.hi, b.hi), _mm_unpackhi_pd(c.hi, d.hi)};
  a = ta;
  b = tb;
  c = tc;
  d = td;
}
#endif

} // namespace mathlib_detail
