#include "fwShare/servo/tick_clock.h"

TickClockState tick_clock_state;

void tick_clock_reset()
{
    tick_clock_state = TickClockState{};
}
