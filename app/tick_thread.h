// Moved to fwShare/servo/servo_ticks.h.
#pragma once
#include "fwShare/servo/servo_ticks.h"
