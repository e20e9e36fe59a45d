// Raster motion planning, done at the start of every raster image: the
// encoder margins of the image and its middle, the acceleration allowance
// each pass needs beyond the image on either side and hence the pass
// length, the four raster speed profiles, the direction of the first pass
// and the carriage move to its start. All lengths are plot-bed units.
#pragma once

#include <cstdint>

#include "base/state_names.h"

// What raster motion planning leaves, with the power-on values.
struct RasterMotionState {
    std::int32_t raster_accel_dist = 0;         // allowance on each side of the image
    std::int32_t margin_l = 0, margin_r = 0;    // encoder margins of the image
    std::int32_t margin_mid = 0;                // middle of the image, PCL frame X
    std::int32_t margin_base = 0;               // constant margin term (nothing sets it)
    std::uint16_t margin_speed_table[20] = {};  // margin term per speed band of 50 (all 0)
    std::int32_t no_accel_dist = 0;             // fixed allowance, 12 mm after start-up
    std::int32_t accel_extra_dist = 0;          // added to the allowance, 5 mm after start-up
};
extern RasterMotionState raster_motion_state;

// Puts raster motion planning's state back to its power-on values.
void raster_motion_reset();

VEMTRAC_STATE_NAMES(raster_motion_state, raster_accel_dist, margin_l, margin_r, margin_mid,
                    margin_base, margin_speed_table, no_accel_dist, accel_extra_dist);

// Encoder margins and middle of the image about to start.
void HandleRasterMargin();
// Acceleration allowance, pass length, step table and the four raster profiles.
void HandleRasterMoving();
// Distance in plot-bed units a pass needs to reach the raster speed.
std::uint16_t CalAccelDistance();
// Margin factor at a raster speed, interpolated over the margin table.
std::int32_t lsr_MarginFactor(std::int32_t speed);
// Direction of the first pass and the carriage move to its start (PCL frame).
void HandleCarriagePosition(std::int32_t x, std::int32_t y);
// Moves the carriage to (x, y) in the PCL frame: in one move or Y first, then X.
void lsr_RasterCarriageMove(std::int32_t x, std::int32_t y);
