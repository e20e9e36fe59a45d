// Remembered waits: the default run's memo of what a wait for a free record
// did, keyed by everything its ticks read.
//
// When the ring is full, the planner waits for the record the interrupt
// executes. Until that record is freed, the ticks read only the interrupt's
// motion state, a few vector settings, the record itself and, on the tick
// that takes a corner, the record after it. Jobs repeat themselves (the
// passes of a raster, the same shape drawn again, the same glyph), and a
// wait that starts from the same state over the same records runs the same
// ticks wherever on the bed it happens: the same count per phase, the same
// records and motion state at its end, the commanded position and the
// following errors moved by the same amounts. Such a wait is replayed from
// the memo in one step.
#pragma once

#include <cstdint>

#include "fwShare/servo/servo_ticks.h"

// A wait's ticks as the runner runs them: until wait_rec is free, at most
// max_ticks; *ran gets the ticks run.
using WaitTicks = SvoRunEnd (*)(const VdbData* wait_rec, std::uint64_t max_ticks,
                                std::uint64_t* ran);

// Runs a wait's ticks with run, or replays them from the memo when the same
// wait ran before, counting those in replay_state; remembers waits it may
// replay later. Only for the default run: it leaves the position loop out.
// With the tick log, a remembered wait logs the runs the wait logged.
SvoRunEnd wait_memo_run(const VdbData* wait_rec, std::uint64_t max_ticks, std::uint64_t* ran,
                        WaitTicks run);
