// Shared records of the math library.
//
// Every record is a plain struct around a fixed array, so it can be passed by
// address and copied with memcpy. Components are addressed through the index
// constants X, Y, Z, W; matrices are row-major: element (r, c) of an N x N
// matrix is m[N * r + c].
#pragma once

// Component indices for vectors, quaternions and Euler records, and the row and
// column indices of matrices.
inline constexpr int X = 0;
inline constexpr int Y = 1;
inline constexpr int Z = 2;
inline constexpr int W = 3;

struct Vec3f { float v[3]; };  // x, y, z
struct Vec3d { double v[3]; }; // x, y, z
struct Vec4f { float v[4]; };  // x, y, z, w

struct Matrix3f { float m[9]; };   // row-major 3 x 3
struct Matrix4f { float m[16]; };  // row-major 4 x 4
struct Matrix3d { double m[9]; };  // row-major 3 x 3
struct Matrix4d { double m[16]; }; // row-major 4 x 4

// Quaternions: (x, y, z) vector part, w scalar part; identity (0, 0, 0, 1).
struct Quatf { float v[4]; };
struct Quatd { double v[4]; };

// A rotation-order code; see euler.h for its fields.
using EulerOrder = int;

// Three angles in radians (x, y, z) and, in w, the order code as a float
// (17 is stored as 17.0f). Same shape as Quatf.
struct EulerAngles { float v[4]; };
