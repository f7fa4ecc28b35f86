#include "mathlib/matrix.h"

#include <gtest/gtest.h>
