#include "replay/replay_machine.h"

ReplayMachine::ReplayMachine()
    : corner_ramp_memo(new_corner_ramp_memo(solved_ramps_index)),
      corner_pass_memory(new_corner_pass_memory(corner_passes_index)),
      wait_memo(new_wait_memo(waits_index))
{
}

ReplayMachine::~ReplayMachine() = default;
