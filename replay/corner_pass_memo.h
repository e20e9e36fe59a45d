// Remembered corner passes: the default run's memo of what the planner's
// corner pass did to the records before the one it planned, keyed by every
// field and setting the pass read.
//
// The chords of a curve end in the same joints, one after another: a pass
// over the same lengths, turns and corner speeds raises the records before
// it to the same corner speeds and braking distances wherever on the bed it
// happens. Walked, each of its joints waits for the ramp of the joint
// after it; remembered, the whole pass is a look-up.
#pragma once

#include "fwShare/servo/vector_planner.h"

// The memo the planner consults (VectorPlannerState::corner_pass_memo), on
// a replay machine; it counts the passes it stands in for in its
// replay_state.
extern const CornerPassMemo corner_pass_memo_of_replay;
