#include "mathlib/euler.h"

#include <gtest/gtest.h>
