#pragma once

#include "mathlib/types.h"
