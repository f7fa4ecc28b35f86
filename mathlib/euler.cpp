#include "mathlib/euler.h"
