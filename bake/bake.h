// The motion bake of the selected items: the driver, the transform sampler
// and the key writer.
#pragma once

#include <cstddef>

#include "mathlib/types.h"
#include "shell/host_services.h"

// Index of the item chosen in the panel's "Method" choice.
using BakeMethod = int32_t;
inline constexpr BakeMethod BAKE_WORLD = 0;
inline constexpr BakeMethod BAKE_LOCAL = 1; // and every other value: only World is told apart

// One frame's transform of one item.
struct BakeSample {
  double position[3]; // x, y, z
  double rotation[3]; // heading, pitch, bank (radians)
  double scale[3];    // x, y, z
};

// Bakes every item selected when called, over the preview range, through the
// module-level services and the context's command evaluator. Returns
// ACTIVATION_DONE, or ACTIVATION_NO_MEMORY when the sample block or the
// selection copy cannot be obtained (nothing is sent to the host then).
int bake_selection(BakeMethod method, const GenericContext *context);

// Fills `out` with the item's transform at `time`: in Local mode its own
// position, rotation and scale; in World mode its world position, the rotation
// of its world axes (for a parented item) and its scale times its ancestors'.
void sample_transform(ItemHandle item, double time, BakeMethod method, BakeSample *out);

// Fills `m` with the item's world axes at `time` as the columns of a rotation
// for column vectors: element (r, c) is component r of the item's X (c = 0),
// Y (c = 1) or Z (c = 2) axis; row 3 and column 3 are those of the identity.
void build_world_axis_matrix(const ItemInfoFuncs *info, ItemHandle item, double time, Matrix4f *m);

// Chooses, from the second sample on, for each rebuilt rotation the equivalent
// heading, pitch and bank nearest to the previous sample's (whole turns, and
// the alternative triple (h + pi, pi - p, b + pi)), so that keys interpolate the
// short way. Each sample's rotation stays the same rotation.
void make_rotations_continuous(BakeSample *samples, size_t count);

// Writes one key at `time` on each of the item's channels recognised as one of
// the nine transform channels by name, with the matching value.
void write_sample_keys(ItemHandle item, double time, const double position[3], const double rotation[3],
                       const double scale[3]);
