// Loading the servo loop: its start at power-on and the gains each pen's
// speed code brings, both between ticks.
#pragma once

#include <cstdint>

// Initialises the servo loop: mode 0 ends idle and switched off, mode 1 ready in ISRHOLD.
void servo_init(std::uint8_t mode, std::int16_t gain_x, std::int16_t gain_y);
// Loads the loop gains of a speed code once motion has stopped, under the
// lock, and clears the integrators and the error terms.
void servo_set_gains(std::int16_t XGain, std::int16_t YGain, std::int16_t XRateFactor,
                     std::int16_t YRateFactor, std::int16_t XIGain, std::int16_t YIGain,
                     std::int16_t K3X, std::int16_t K3Y, std::int32_t XILimit,
                     std::int32_t YILimit);
