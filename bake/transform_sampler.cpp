#include <cmath>
#include <numbers>

#include "bake/bake.h"
#include "mathlib/euler.h"

void build_world_axis_matrix(const ItemInfoFuncs *info, ItemHandle item, double time, Matrix4f *m)
{
  constexpr ItemParam axis_codes[3] = {ITEM_W_RIGHT, ITEM_W_UP, ITEM_W_FORWARD};
  for (int c = 0; c < 3; ++c) {
    double axis[3];
    item_query(info, item, axis_codes[c], time, axis);
    for (int r = 0; r < 3; ++r)
      m->m[4 * r + c] = static_cast<float>(axis[r]);
    m->m[4 * W + c] = 0.0f;
  }
  m->m[4 * X + W] = m->m[4 * Y + W] = m->m[4 * Z + W] = 0.0f;
  m->m[4 * W + W] = 1.0f;
}

void sample_transform(ItemHandle item, double time, BakeMethod method, BakeSample *out)
{
  const bool world = method == BAKE_WORLD;
  double rotation[3], scale[3];
  item_query(item_info, item, world ? ITEM_W_POSITION : ITEM_POSITION, time, out->position);
  item_query(item_info, item, ITEM_ROTATION, time, rotation);
  item_query(item_info, item, ITEM_SCALING, time, scale);

  if (world) {
    ItemHandle parent = item_parent(item_info, item);
    if (parent) {
      Matrix4f axes;
      EulerAngles hpb;
      build_world_axis_matrix(item_info, item, time, &axes);
      matrix4f_to_euler(&axes, EULER_HPB, &hpb); // RY(h) * RX(p) * RZ(b)
      for (int i = 0; i < 3; ++i)
        rotation[i] = static_cast<double>(hpb.v[i]);
    }
    for (; parent; parent = item_parent(item_info, parent)) {
      double ancestor[3];
      item_query(item_info, parent, ITEM_SCALING, time, ancestor);
      for (int i = 0; i < 3; ++i)
        scale[i] *= ancestor[i];
    }
  }
  for (int i = 0; i < 3; ++i) {
    out->rotation[i] = rotation[i];
    out->scale[i] = scale[i];
  }
}

void make_rotations_continuous(BakeSample *samples, size_t count)
{
  constexpr double pi = std::numbers::pi;
  constexpr double turn = 2.0 * pi;
  for (size_t k = 1; k < count; ++k) {
    const double *previous = samples[k - 1].rotation;
    double *current = samples[k].rotation;
    const double candidates[2][3] = {
        {current[0], current[1], current[2]},
        {current[0] + pi, pi - current[1], current[2] + pi},
    };
    double best[3] = {current[0], current[1], current[2]};
    double best_distance = INFINITY;
    for (const auto &candidate : candidates) {
      double shifted[3];
      double distance = 0.0;
      for (int i = 0; i < 3; ++i) {
        shifted[i] = candidate[i] + turn * std::nearbyint((previous[i] - candidate[i]) / turn);
        distance += std::fabs(shifted[i] - previous[i]);
      }
      if (distance < best_distance) {
        best_distance = distance;
        for (int i = 0; i < 3; ++i)
          best[i] = shifted[i];
      }
    }
    for (int i = 0; i < 3; ++i)
      current[i] = best[i];
  }
}
