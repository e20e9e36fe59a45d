#include "fwShare/servo/move_profile.h"

MoveProfileState move_profile_state;

void move_queue_reset()
{
    move_profile_state = MoveProfileState{};
}
