// Euler angles: conversions between three rotation angles and a rotation
// matrix or a quaternion, for any of the 24 rotation orders.
//
// An order is an EulerOrder code. Only its five low bits are read:
//   bit 0     frame       0 = static (fixed) axes, 1 = rotating axes
//   bit 1     repetition  0 = three different axes, 1 = the first axis again as the third
//   bit 2     parity      0 = even, 1 = odd
//   bits 3-4  inner axis  0 = X, 1 = Y, 2 = Z, 3 reads as X
// so code = 8 * inner + 4 * parity + 2 * repetition + frame, the meaningful
// codes are 0-23, 24-31 act like 0-7 and 32 + n acts like n.
//
// From the code come three axes: i = the inner axis, j and k the two others,
// j following i in the cyclic order X -> Y -> Z -> X for even parity (k
// following j), and the two exchanged for odd parity. The third axis c is k
// without repetition and i with repetition. With Ra the right-handed rotation
// about axis a for column vectors, the angles (x, y, z) stand for
//   static frame:    Rc(z) * Rj(y) * Ri(x)
//   rotating frame:  Rc(x) * Rj(y) * Ri(z)
// (in both cases x is applied first). Code 17 (Z * 8 + 1) is heading-pitch-bank:
// RY(heading) * RX(pitch) * RZ(bank).
//
// Matrices made and read here are rotation matrices for column vectors
// (v' = M * v), row-major, radians throughout. Products and sums are formed in
// single precision in a fixed order; sine, cosine, atan2 and the square root
// are evaluated in double on the widened operands and rounded back to single.
#pragma once

#include <cstdint>

#include "mathlib/types.h"

// Values of the order-code fields, for euler_order.
inline constexpr int EULER_EVEN = 0;
inline constexpr int EULER_ODD = 1;
inline constexpr int EULER_NO_REPEAT = 0;
inline constexpr int EULER_REPEAT = 1;
inline constexpr int EULER_STATIC = 0;
inline constexpr int EULER_ROTATING = 1;

// Composes an order code from its fields: inner axis (X, Y or Z), parity,
// repetition and frame, each given by the constants above.
constexpr EulerOrder euler_order(int inner, int parity, int repetition, int frame)
{
  return 8 * inner + 4 * parity + 2 * repetition + frame;
}

// The 24 orders, named by the axes in the sequence the angles x, y, z are
// applied, with _S for static and _R for rotating axes.
inline constexpr EulerOrder EULER_XYZ_S = euler_order(X, EULER_EVEN, EULER_NO_REPEAT, EULER_STATIC); // 0
inline constexpr EulerOrder EULER_ZYX_R = euler_order(X, EULER_EVEN, EULER_NO_REPEAT, EULER_ROTATING); // 1
inline constexpr EulerOrder EULER_XYX_S = euler_order(X, EULER_EVEN, EULER_REPEAT, EULER_STATIC); // 2
inline constexpr EulerOrder EULER_XYX_R = euler_order(X, EULER_EVEN, EULER_REPEAT, EULER_ROTATING); // 3
inline constexpr EulerOrder EULER_XZY_S = euler_order(X, EULER_ODD, EULER_NO_REPEAT, EULER_STATIC); // 4
inline constexpr EulerOrder EULER_YZX_R = euler_order(X, EULER_ODD, EULER_NO_REPEAT, EULER_ROTATING); // 5
inline constexpr EulerOrder EULER_XZX_S = euler_order(X, EULER_ODD, EULER_REPEAT, EULER_STATIC); // 6
inline constexpr EulerOrder EULER_XZX_R = euler_order(X, EULER_ODD, EULER_REPEAT, EULER_ROTATING); // 7
inline constexpr EulerOrder EULER_YZX_S = euler_order(Y, EULER_EVEN, EULER_NO_REPEAT, EULER_STATIC); // 8
inline constexpr EulerOrder EULER_XZY_R = euler_order(Y, EULER_EVEN, EULER_NO_REPEAT, EULER_ROTATING); // 9
inline constexpr EulerOrder EULER_YZY_S = euler_order(Y, EULER_EVEN, EULER_REPEAT, EULER_STATIC); // 10
inline constexpr EulerOrder EULER_YZY_R = euler_order(Y, EULER_EVEN, EULER_REPEAT, EULER_ROTATING); // 11
inline constexpr EulerOrder EULER_YXZ_S = euler_order(Y, EULER_ODD, EULER_NO_REPEAT, EULER_STATIC); // 12
inline constexpr EulerOrder EULER_ZXY_R = euler_order(Y, EULER_ODD, EULER_NO_REPEAT, EULER_ROTATING); // 13
inline constexpr EulerOrder EULER_YXY_S = euler_order(Y, EULER_ODD, EULER_REPEAT, EULER_STATIC); // 14
inline constexpr EulerOrder EULER_YXY_R = euler_order(Y, EULER_ODD, EULER_REPEAT, EULER_ROTATING); // 15
inline constexpr EulerOrder EULER_ZXY_S = euler_order(Z, EULER_EVEN, EULER_NO_REPEAT, EULER_STATIC); // 16
inline constexpr EulerOrder EULER_YXZ_R = euler_order(Z, EULER_EVEN, EULER_NO_REPEAT, EULER_ROTATING); // 17
inline constexpr EulerOrder EULER_ZXZ_S = euler_order(Z, EULER_EVEN, EULER_REPEAT, EULER_STATIC); // 18
inline constexpr EulerOrder EULER_ZXZ_R = euler_order(Z, EULER_EVEN, EULER_REPEAT, EULER_ROTATING); // 19
inline constexpr EulerOrder EULER_ZYX_S = euler_order(Z, EULER_ODD, EULER_NO_REPEAT, EULER_STATIC); // 20
inline constexpr EulerOrder EULER_XYZ_R = euler_order(Z, EULER_ODD, EULER_NO_REPEAT, EULER_ROTATING); // 21
inline constexpr EulerOrder EULER_ZYZ_S = euler_order(Z, EULER_ODD, EULER_REPEAT, EULER_STATIC); // 22
inline constexpr EulerOrder EULER_ZYZ_R = euler_order(Z, EULER_ODD, EULER_REPEAT, EULER_ROTATING); // 23

// Heading, pitch, bank: RY(heading) * RX(pitch) * RZ(bank), the order the bake reads.
inline constexpr EulerOrder EULER_HPB = EULER_YXZ_R;
static_assert(EULER_HPB == Z * 8 + 1 && EULER_ZYZ_R == 23);

// Inner-axis field (0-3) to axis index: 3 reads as X.
inline constexpr std::uint8_t euler_safe_axis[4] = {0, 1, 2, 0};
// Next axis in the cyclic order X -> Y -> Z -> X; the fourth entry lets an
// index of 3 be looked up without wrapping.
inline constexpr std::uint8_t euler_next_axis[4] = {1, 2, 0, 1};

// An order code taken apart: frame, repetition and parity bits (0 or 1) and
// the axes i, j, k (a permutation of X, Y, Z).
struct EulerOrderFields {
  int frame, repetition, parity, i, j, k;
};

// Unpacks the five low bits of an order code (any int, negative ones by their
// two's-complement bits) through the axis tables.
constexpr EulerOrderFields euler_unpack(EulerOrder order)
{
  EulerOrderFields f{};
  f.frame = order & 1;
  f.repetition = (order >> 1) & 1;
  f.parity = (order >> 2) & 1;
  f.i = euler_safe_axis[(order >> 3) & 3];
  f.j = euler_next_axis[f.i + f.parity];
  f.k = euler_next_axis[f.i + 1 - f.parity];
  return f;
}

// The record (x, y, z, order as a float value); angles in radians.
EulerAngles euler_make(float x, float y, float z, EulerOrder order);

// Quaternion (x, y, z, w) of the rotation ea stands for, under the order held
// in ea->v[W] (truncated toward zero; a NaN or a value beyond the int range
// reads as code 0). Zero angles give (0, 0, 0, 1). ea is left unchanged.
void euler_to_quatf(const EulerAngles *ea, Quatf *out);

// Rotation matrix (column vectors, v' = m * v) of ea under the order held in
// ea->v[W]; writes all sixteen elements, row and column W those of the
// identity. ea is left unchanged.
void euler_to_matrix4f(const EulerAngles *ea, Matrix4f *m);

// Angles of the rotation in the upper-left 3x3 block of m (column vectors,
// taken as a pure rotation) under order; out->v[W] = order as a float value.
// Without repetition the first and third angles lie in [-pi, pi] and the
// second in [-pi/2, pi/2]; with repetition the second lies in [0, pi] for
// even parity and [-pi, 0] for odd parity. When the first-axis term is not
// above 2^-19 (or is NaN) one angle is 0: the third for static, the first for
// rotating frames.
void matrix4f_to_euler(const Matrix4f *m, EulerOrder order, EulerAngles *out);

// Angles of quaternion q under order, as matrix4f_to_euler of its rotation
// matrix. Any nonzero q is read as its normalised form; (0, 0, 0, 0) gives zero
// angles. out may share storage with q.
void quatf_to_euler(const Quatf *q, EulerOrder order, EulerAngles *out);
