#include "mathlib/quat.h"
