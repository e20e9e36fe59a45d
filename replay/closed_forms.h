// The default run's runs of alike ticks: slew at constant speed and creep
// in closed form, acceleration and deceleration ramps tick after tick with
// the record in registers. Each run advances up to max_ticks ticks exactly
// as the ticks would leave the record, the commanded position and the last
// step, and never takes a tick that changes state, takes a corner,
// releases a record or prints. Each returns the ticks advanced, 0 when
// none can be (the next tick then runs through its handler); the caller
// counts them.
#pragma once

#include <cstdint>

// Slew ticks at constant speed (0 also when fewer than two can be advanced).
std::uint64_t svo_slew_run(std::uint64_t max_ticks);
// Creep ticks at constant velocity (0 also when fewer than two).
std::uint64_t svo_creep_run(std::uint64_t max_ticks);
// Acceleration ticks, up to the tick that leaves the ramp, doubles the
// acceleration or takes a corner.
std::uint64_t svo_acc_run(std::uint64_t max_ticks, std::uint64_t* stepped);
// Deceleration ticks, up to the tick that slews, prints, enters creep or
// takes a corner.
std::uint64_t svo_dcc_run(std::uint64_t max_ticks, std::uint64_t* stepped);
