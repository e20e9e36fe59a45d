// Machine start-up (Machine::InitHardwareScaleFactor): resolutions,
// parameters, queues, the servo loop and the default speed profiles, as the
// machine sets them at power-on.
#pragma once

#include <cstdint>

// Encoder readings at servo position 0, as start-up sets them: the loop's
// simulated encoders count from these.
inline constexpr std::int32_t machine_enc_base_x = -87987;
inline constexpr std::int32_t machine_enc_base_y = 6104;
