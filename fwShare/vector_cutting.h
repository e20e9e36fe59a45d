// Vector cutting: pen selection and the start of vector cutting (the pen's
// speed code becomes maximum velocities, creep settings, servo gains, end
// delays and the pen-up and pen-down profiles), pen up and down, and the
// switch from PCL back to HPGL mode.
#pragma once

#include <cstdint>


// Vector cutting's state, with the power-on values.
struct VectorCuttingState {
    std::int32_t pen_up_flag = 0;   // 1 = pen up, 0 = pen down (the laser layer's own flag)
    std::uint8_t lsr_lang_mode = 2; // 2 = PCL (raster) mode, 1 = HPGL (vector) mode
    // Pen-up travel speed, plot-bed units per second (40 inches per second
    // after start-up).
    std::int32_t pen_up_speed = 0;
};
