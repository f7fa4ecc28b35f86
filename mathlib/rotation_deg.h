// Ready-made rotations for callers that think in heading, pitch and bank, in
// degrees, in an axis and an angle, or in a direction: each one a short fixed
// chain of the Euler-angle conversions of euler.h with fixed order codes.
//
// Argument conventions, the same for every function here:
// - A heading/pitch/bank triple is const double[3] (h, p, b): the angles of
//   order EULER_HPB, the rotation RY(h) * RX(p) * RZ(b) for column vectors.
//   Heading turns +Z toward +X, pitch turns +Z toward -Y, bank turns +X toward
//   +Y. Each angle is rounded to single precision on its way in.
// - Other angle triples are const double[3] in, double[3] out.
// - Points and axes are Vec3f records passed by pointer (where quat.h takes an
//   axis as float[3], pass a Vec3f's v); a point is rotated in place, and an
//   axis written as an output is a Vec3f too. An input axis is not
//   normalised: a non-unit axis changes the angle turned (the quaternion
//   (a * sin(t/2), cos(t/2)) is read as its normalised form), and the zero axis
//   gives no rotation at all.
// - Units are radians unless the name says deg; degree values become radians as
//   value * 0.017453292519943295 and radians become degrees as
//   value * 57.29577951308232, both in double.
// Matrices made along the way act on column vectors (v' = M * v).
#pragma once

#include "mathlib/types.h"

// Turns *point in place by angle_deg (degrees) about *axis, right-handed for a
// unit axis. axis may be point.
void vec3f_rotate_axis_angle_deg(float angle_deg, const Vec3f *axis, Vec3f *point);

// *point = RY(h) * RX(p) * RZ(b) * *point, hpb in radians.
void vec3f_rotate_hpb(const double hpb[3], Vec3f *point);

// *point = transpose(RY(h) * RX(p) * RZ(b)) * *point, hpb in radians: undoes
// vec3f_rotate_hpb up to single-precision rounding.
void vec3f_rotate_hpb_inverse(const double hpb[3], Vec3f *point);

// Quaternion of the rotation hpb (radians), as euler_to_quatf under EULER_HPB.
void hpb_to_quatf(const double hpb[3], Quatf *out);

// Axis and angle of the rotation hpb (radians). The angle is in RADIANS, in
// [0, 2 pi] (twice the arc cosine of the quaternion's w). The axis is the
// quaternion's vector part divided by the sine of the half angle, with no
// threshold, and (0, 0, 0) where that sine is exactly 0 (no rotation). Writes
// the axis, then the angle.
void hpb_to_axis_angle(const double hpb[3], float *angle, Vec3f *axis);

// The rotation hpb_deg (degrees) as negated EULER_XYZ_S angles, in degrees.
// out may be hpb_deg.
void hpb_deg_to_xyz_deg(const double hpb_deg[3], double out[3]);

// The rotation hpb_deg (degrees) as negated EULER_ZXY_S angles, in degrees:
// about (-b, -p, -h) for a triple inside the decomposition's output ranges.
// out may be hpb_deg.
void hpb_deg_to_zxy_deg(const double hpb_deg[3], double out[3]);

// The rotation of EULER_ZXY_R angles zxy_deg (degrees), RZ(a0) * RX(a1) *
// RY(a2), as negated heading, pitch and bank in degrees. out may be zxy_deg.
void zxy_rotating_deg_to_hpb_deg(const double zxy_deg[3], double out[3]);

// The rotation by angle_deg (degrees) about *axis as negated EULER_XYZ_S
// angles, in degrees.
void axis_angle_deg_to_xyz_deg(float angle_deg, const Vec3f *axis, double out[3]);

// Heading and pitch (radians) that turn +Z toward *dir, so that
// vec3f_rotate_hpb((heading, pitch, 0)) takes (0, 0, 1) to dir / |dir|:
// out[0] = heading in (-3 pi/2, pi/2], below -pi/2 when dir->z < 0; out[1] =
// pitch in [-pi/2, pi/2], positive toward -Y. The quotients are formed in
// single precision, the arc tangents (and the subtraction of pi) in double,
// and both results are doubles. The zero vector gives (0, 0); with x = z = 0
// the heading is 0 and the pitch -pi/2 for y > 0, pi/2 for y < 0; when the
// squares of x and z vanish in single precision the pitch is taken the same
// way. A NaN component counts as nonzero and not negative.
void direction_to_heading_pitch(const Vec3f *dir, double out[2]);
