// Moved to base/debug_trace.h.
#pragma once
#include "base/debug_trace.h"
