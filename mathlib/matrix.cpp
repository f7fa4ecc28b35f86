#include "mathlib/matrix.h"
