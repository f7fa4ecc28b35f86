// Fixed-size 3x3 and 4x4 matrix kernels in single and double precision.
//
// Matrices are row-major (element (r, c) is m[N * r + c]). Vectors are rows on
// the left of the matrix: out = v * M. In a 4x4 transform row 3 (elements 12,
// 13, 14) holds the translation and column 3 (elements 3, 7, 11, 15) yields
// the homogeneous weight. The product A * B therefore applies A first, then B.
//
// The float and double families behave alike; they differ in the element type
// and in the tolerance used by the comparison and by the singularity test of
// the inverse: 1e-6 for float, 1e-15 for double, both absolute and held as
// doubles. Truth values are returned as int, 1 or 0.
#pragma once

#include "mathlib/types.h"

// ---- single precision ------------------------------------------------------

// Writes the 9 elements in storage order (row by row).
void matrix3f_set(Matrix3f* out, float m00, float m01, float m02, float m10, float m11, float m12, float m20,
                  float m21, float m22);
// Writes the 16 elements in storage order (row by row).
void matrix4f_set(Matrix4f* out, float m00, float m01, float m02, float m03, float m10, float m11, float m12,
                  float m13, float m20, float m21, float m22, float m23, float m30, float m31, float m32, float m33);

// Writes the identity.
void matrix3f_identity(Matrix3f* out);
void matrix4f_identity(Matrix4f* out);

// 1 when every element of a and b differs by less than 1e-6 (absolute, strict;
// the float difference is widened to double for the test), else 0. A NaN
// element in either matrix gives 0.
int matrix3f_equals(const Matrix3f* a, const Matrix3f* b);
int matrix4f_equals(const Matrix4f* a, const Matrix4f* b);

// Copies src into dst (destination first); dst may be src.
void matrix3f_copy(Matrix3f* dst, const Matrix3f* src);
void matrix4f_copy(Matrix4f* dst, const Matrix4f* src);

// out = v * m (row vector times matrix). out must not share storage with v or m.
void matrix3f_transform_vec3(const Vec3f* v, const Matrix3f* m, Vec3f* out);
// out = (p, 1) * m, divided by the resulting weight w unless w is 0 (then the
// undivided sums are kept). out must not share storage with p or m.
void matrix4f_transform_point(const Vec3f* p, const Matrix4f* m, Vec3f* out);

// out = a * b; out may be a, b or both.
void matrix3f_multiply(const Matrix3f* a, const Matrix3f* b, Matrix3f* out);
void matrix4f_multiply(const Matrix4f* a, const Matrix4f* b, Matrix4f* out);

// Multiplies every element of m by s, in place (matrix first).
void matrix3f_mul_scalar(Matrix3f* m, float s);
void matrix4f_mul_scalar(Matrix4f* m, float s);

// Determinant of the 2x2 matrix with rows (a, b) and (c, d): a*d - b*c.
float det2f(float a, float b, float c, float d);
// Determinant, by cofactor expansion along row 0.
float matrix3f_det(const Matrix3f* m);
float matrix4f_det(const Matrix4f* m);

// Classical adjoint (transposed cofactor matrix: src * dst = det(src) * I),
// computed for singular matrices too. dst must not share storage with src.
void matrix3f_adjoint(const Matrix3f* src, Matrix3f* dst);
void matrix4f_adjoint(const Matrix4f* src, Matrix4f* dst);

// dst = inverse of src (adjoint times 1/det). When |det| < 1e-6 (tested in
// double) dst is not written. dst must not share storage with src.
void matrix3f_inverse(const Matrix3f* src, Matrix3f* dst);
void matrix4f_inverse(const Matrix4f* src, Matrix4f* dst);

// ---- double precision ------------------------------------------------------

// Writes the 9 elements in storage order (row by row).
void matrix3d_set(Matrix3d* out, double m00, double m01, double m02, double m10, double m11, double m12,
                  double m20, double m21, double m22);
// Writes the 16 elements in storage order (row by row).
void matrix4d_set(Matrix4d* out, double m00, double m01, double m02, double m03, double m10, double m11,
                  double m12, double m13, double m20, double m21, double m22, double m23, double m30, double m31,
                  double m32, double m33);

// Writes the identity.
void matrix3d_identity(Matrix3d* out);
void matrix4d_identity(Matrix4d* out);

// 1 when every element of a and b differs by less than 1e-15 (absolute,
// strict), else 0. A NaN element in either matrix gives 0.
int matrix3d_equals(const Matrix3d* a, const Matrix3d* b);
int matrix4d_equals(const Matrix4d* a, const Matrix4d* b);

// Copies src into dst (destination first); dst may be src.
void matrix3d_copy(Matrix3d* dst, const Matrix3d* src);
void matrix4d_copy(Matrix4d* dst, const Matrix4d* src);

// out = v * m (row vector times matrix). out must not share storage with v or m.
void matrix3d_transform_vec3(const Vec3d* v, const Matrix3d* m, Vec3d* out);
// out = (p, 1) * m, divided by the resulting weight w unless w is 0 (then the
// undivided sums are kept). out must not share storage with p or m.
void matrix4d_transform_point(const Vec3d* p, const Matrix4d* m, Vec3d* out);

// out = a * b; out may be a, b or both.
void matrix3d_multiply(const Matrix3d* a, const Matrix3d* b, Matrix3d* out);
void matrix4d_multiply(const Matrix4d* a, const Matrix4d* b, Matrix4d* out);

// Multiplies every element of m by s, in place (matrix first).
void matrix3d_mul_scalar(Matrix3d* m, double s);
void matrix4d_mul_scalar(Matrix4d* m, double s);

// Determinant of the 2x2 matrix with rows (a, b) and (c, d): a*d - b*c.
double det2d(double a, double b, double c, double d);
// Determinant, by cofactor expansion along row 0.
double matrix3d_det(const Matrix3d* m);
double matrix4d_det(const Matrix4d* m);

// Classical adjoint (transposed cofactor matrix: src * dst = det(src) * I),
// computed for singular matrices too. dst must not share storage with src.
void matrix3d_adjoint(const Matrix3d* src, Matrix3d* dst);
void matrix4d_adjoint(const Matrix4d* src, Matrix4d* dst);

// dst = inverse of src (adjoint times 1/det). When |det| < 1e-15 dst is not
// written. dst must not share storage with src.
void matrix3d_inverse(const Matrix3d* src, Matrix3d* dst);
void matrix4d_inverse(const Matrix4d* src, Matrix4d* dst);
