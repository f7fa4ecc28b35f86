#include "mathlib/rotation_deg.h"

#include <gtest/gtest.h>
