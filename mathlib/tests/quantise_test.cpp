#include "mathlib/quantise.h"

#include <gtest/gtest.h>
