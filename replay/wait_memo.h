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

