#include "mathlib/quantise.h"
