#include "mathlib/rotation_deg.h"
