// Quaternions: normalisation, the Hamilton product, the inverse, conversion to
// and from 3x3 rotation matrices and axis-angle form, and the product of a 4x4
// matrix with a 4-vector.
//
// A quaternion is (x, y, z, w): vector part x, y, z, scalar part w. The
// rotation by angle t (radians) about the unit axis a is (a * sin(t/2),
// cos(t/2)). Rotation matrices here act on column vectors (v' = M * v,
// row-major storage). An axis is passed as a pointer to three values x, y, z
// of the quaternion's precision (a Vec3f's or Vec3d's v fits, and so does the
// vector part of a quaternion). Single-precision operations form products and
// sums in single precision in the order written; square roots, reciprocals,
// trigonometric functions and the subtractions from 1 on a matrix diagonal are
// evaluated in double and rounded back to single. None of them reports an
// error: degenerate input meets the guards given at each function.
#pragma once

#include "mathlib/types.h"

// Next axis in the cyclic order X -> Y -> Z -> X.
inline constexpr int quat_next_axis[3] = {1, 2, 0};

// out = q / |q|; the zero quaternion gives the identity (0, 0, 0, 1). A finite
// q whose squared length overflows or underflows is first scaled exactly by a
// power of two, so it still comes out at unit length. out may be q.
void quatf_normalize(const Quatf *q, Quatf *out);
// Double-precision twin of quatf_normalize. out may be q.
void quatd_normalize(const Quatd *q, Quatd *out);

// Hamilton product out = a * b: the rotation by b followed by the rotation by
// a (the rotation applied last is the left operand). out may be a or b.
void quatf_multiply(const Quatf *a, const Quatf *b, Quatf *out);

// out = conj(q) / |q|^2, the conjugate for a unit q; a squared norm of exactly 0
// is taken as 1, so (0, 0, 0, 0) gives (-0, -0, -0, 0). out may be q.
void quatf_inverse(const Quatf *q, Quatf *out);

// Rotation matrix of q (column vectors). Any nonzero q acts as its normalised
// form; (0, 0, 0, 0) gives the identity.
void quatf_to_matrix3f(const Quatf *q, Matrix3f *m);

// Quaternion of the rotation matrix m (column vectors, taken as a pure
// rotation; the result is not normalised). Its sign makes w positive when the
// trace is positive, otherwise the component of the largest diagonal element
// (the lowest index on a tie) non-negative.
void matrix3f_to_quatf(const Matrix3f *m, Quatf *out);

// Quaternion of the rotation by angle (radians) about axis[3]. The axis is not
// normalised: a non-unit axis gives a non-unit quaternion. out may share
// storage with axis.
void quatf_from_axis_angle(float angle, const float axis[3], Quatf *out);

// Angle (radians, in [0, 2*pi]) and axis of the rotation q, read as its
// normalised form. The angle is always written; the axis only when the sine of
// the half angle exceeds 1e-6 in magnitude, otherwise it keeps its old value.
// q is read before either output is written, so they may share storage with it.
void quatf_to_axis_angle(const Quatf *q, float *angle, float axis[3]);
// Double-precision twin of quatf_to_axis_angle (same 1e-6 threshold).
void quatd_to_axis_angle(const Quatd *q, double *angle, double axis[3]);

// Rotation d = inverse(q1) * q2 that takes orientation q1 to q2, expressed in
// q1's frame, as an axis (written only when its sine test passes, as in
// quatf_to_axis_angle) and a returned angle in radians. axis may share storage
// with q1 or q2.
float quatf_relative_axis_angle(const Quatf *q1, const Quatf *q2, float axis[3]);

// out = m * v for a column vector v: each row of m dotted with v. out is
// cleared before m and v are read, so it must not share storage with either.
void matrix4f_transform_vec4(const Matrix4f *m, const Vec4f *v, Vec4f *out);
