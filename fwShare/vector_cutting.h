// Vector cutting: pen selection and the start of vector cutting (the pen's
// speed code becomes maximum velocities, creep settings, servo gains, end
// delays and the pen-up and pen-down profiles), pen up and down, and the
// switch from PCL back to HPGL mode.
#pragma once

#include <cstdint>

// 1 = pen up, 0 = pen down (the laser input layer's own flag).
extern std::int32_t pen_up_flag;
// 2 = PCL (raster) mode, 1 = HPGL (vector) mode.
extern std::uint8_t lsr_lang_mode;
// Pen-up travel speed, plot-bed units per second (40 inches per second).
extern std::int32_t pen_up_speed;

void HandleStartVectorCutting();
void lsrinp_SetVectParam();
void lsrinp_SetMaxVelocity(double x_ips, double y_ips);
void lsrinp_SetVectSpeed();
void penupout();
void pendnout();
void execute_penselect(std::int32_t pen);
void HandleToHpglMode();
