// Vector cutting: pen selection and the start of vector cutting (the pen's
// speed code becomes maximum velocities, creep settings, servo gains, end
// delays and the pen-up and pen-down profiles), pen up and down, and the
// switch from PCL back to HPGL mode.
#pragma once

#include <cstdint>

#include "base/state_names.h"

// Vector cutting's state, with the power-on values.
struct VectorCuttingState {
    std::int32_t pen_up_flag = 0;   // 1 = pen up, 0 = pen down (the laser layer's own flag)
    std::uint8_t lsr_lang_mode = 2; // 2 = PCL (raster) mode, 1 = HPGL (vector) mode
    // Pen-up travel speed, plot-bed units per second (40 inches per second
    // after start-up).
    std::int32_t pen_up_speed = 0;
};
extern VectorCuttingState vector_cutting_state;

// Puts vector cutting's state back to its power-on values.
void vector_cutting_reset();

VEMTRAC_STATE_NAMES(vector_cutting_state, pen_up_flag, lsr_lang_mode, pen_up_speed);

// Starts vector cutting with the current pen: velocities, creep, gains, delays, profiles.
void HandleStartVectorCutting();
// Maximum velocities, creep settings, gains and end delays of the pen's speed code.
void lsrinp_SetVectParam();
// Sets the maximum velocities (inches per second) and accelerations.
void lsrinp_SetMaxVelocity(double x_ips, double y_ips);
// Builds the pen-up and pen-down profiles of the current pen.
void lsrinp_SetVectSpeed();
// Raises the pen (queues a pen-up record) if it is down.
void penupout();
// Lowers the pen (queues a pen-down record) if it is up.
void pendnout();
// Selects a pen (0..16): raises the pen and starts vector cutting with it.
void execute_penselect(std::int32_t pen);
// Switches to vector work: the head goes to the PCL cursor, cutting restarts.
void HandleToHpglMode();
