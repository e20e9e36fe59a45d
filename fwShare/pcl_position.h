// Plot-bed and PCL positions.
//
// Frames, all in plot-bed units unless said: the plot bed (positionx,
// positiony: the machine position); the PCL frame (x = positionx -
// InitDistance.X, y = InitDistance.Y - positiony: PCL Y grows down the
// page); absolute PCL (abs_x in dots at RasterDPI, abs_y in raster lines at
// RasterUnit lines per inch).
#pragma once

#include <cstdint>

#include "base/state_names.h"

struct PclPosition {
    std::int32_t pclx;   // PCL cursor, PCL frame
    std::int32_t pcly;
    std::int32_t x_mrg;  // left edge of the current raster image, PCL frame
};

// The PCL cursor and the absolute PCL position, with the power-on values
// (start-up puts the cursor at the head).
struct PclPositionState {
    PclPosition pcl_pos = {};
    std::int32_t abs_x = 0;  // dots at RasterDPI
    std::int32_t abs_y = 0;  // raster lines
};
extern PclPositionState pcl_position_state;

// Puts the cursor back to its power-on values.
void pcl_position_reset();

VEMTRAC_STATE_NAMES(pcl_position_state, pcl_pos, abs_x, abs_y);

// Takes the head position as the new PCL cursor (switch from HPGL to PCL).
void HandleHpglToPclPosition();

// Turns a PCL-frame position into absolute dots and lines.
void lsr_TransPlotbedtoPCL(std::uint16_t dpi, std::uint16_t unit, std::int32_t x, std::int32_t y);
