// Moved to base/wrap_math.h.
#pragma once
#include "base/wrap_math.h"
