#include "mathlib/quat.h"

#include <gtest/gtest.h>
