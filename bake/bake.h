// The motion bake of the selected items.
#pragma once

#include "shell/host_services.h"

// Index of the item chosen in the panel's "Method" choice.
using BakeMethod = int32_t;
inline constexpr BakeMethod BAKE_WORLD = 0;
inline constexpr BakeMethod BAKE_LOCAL = 1;

// One frame's transform of one item.
struct BakeSample {
  double position[3]; // x, y, z
  double rotation[3]; // heading, pitch, bank (radians)
  double scale[3];    // x, y, z
};

// Bakes every item selected when called, over the preview range, through the
// module-level services and the context's command evaluator. Returns the
// activation's result code (see shell/module.h).
int bake_selection(BakeMethod method, const GenericContext *context);
