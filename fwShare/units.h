// The machine's units and fixed-point formats, each named once.
//
// Positions and distances are servo counts (12192 per inch); velocities are
// counts per tick and accelerations counts per tick per tick, each held with
// the fraction bits below. A shift between two formats is the difference of
// their fraction bits.
#pragma once

#include <cstdint>

// The servo tick: 0.4 ms, 2500 ticks a second.
inline constexpr std::uint32_t svo_ticks_per_second = 2500;
inline constexpr double svo_tick_seconds = 1.0 / svo_ticks_per_second;

// Machine time of a tick count in whole milliseconds, rounded down:
// ticks * 0.4 ms = ticks * 2 / 5.
constexpr std::uint64_t svo_ms_of_ticks(std::uint64_t ticks)
{
    return ticks * 2 / 5;
}

// A record's velocities and their per-step changes (majrvel, majrdvel, ...):
// counts per tick with 23 fraction bits; the fraction accumulators carry
// those 23 bits from tick to tick.
inline constexpr unsigned svo_vel_frac = 23;
inline constexpr std::uint32_t svo_fraction_mask = (1u << svo_vel_frac) - 1u;

// The acceleration of a move profile (pbdAccel, one_g): counts per tick per
// tick with 14 fraction bits; a record's per-step change holds it at the
// velocity's 23: << (23 - 14).
inline constexpr unsigned svo_accel_frac = 14;
inline constexpr unsigned svo_accel_to_vel_shift = svo_vel_frac - svo_accel_frac;

// Creep and the constant speed without ramp (creep, LowSpeed): counts per
// tick with 4 fraction bits; as a velocity: << (23 - 4).
inline constexpr unsigned svo_creep_frac = 4;
inline constexpr unsigned svo_creep_to_vel_shift = svo_vel_frac - svo_creep_frac;

// The stopping distance D (ddr and high_ddr): counts with 16 fraction bits;
// a tick's travel at velocity v adds v >> (23 - 16) to it, and its whole
// counts are D >> 16.
inline constexpr unsigned svo_stop_dist_frac = 16;
inline constexpr unsigned svo_vel_to_stop_dist_shift = svo_vel_frac - svo_stop_dist_frac;

// Creep speed in plot-bed units per second for a creep velocity in servo
// counts per tick: 2500 ticks a second, and 4 counts make one plot-bed unit.
inline constexpr std::int32_t creep_speed_for(std::int32_t creep_velocity)
{
    return creep_velocity * static_cast<std::int32_t>(svo_ticks_per_second / 4);
}
