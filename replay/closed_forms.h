// The default run's runs of alike ticks: slew at constant speed and creep
// in closed form, acceleration and deceleration ramps tick after tick with
// the record in registers. Each run advances up to max_ticks ticks exactly
// as the ticks would leave the record, the commanded position and the last
// step, and never takes a tick that changes state, takes a corner,
// releases a record or prints. Each returns the ticks advanced, 0 when
// none can be (the next tick then runs through its handler); the caller
// counts them.
#pragma once

