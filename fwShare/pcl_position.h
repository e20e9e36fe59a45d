// Plot-bed and PCL positions.
//
// Frames, all in plot-bed units unless said: the plot bed (positionx,
// positiony: the machine position); the PCL frame (x = positionx -
// InitDistance.X, y = InitDistance.Y - positiony: PCL Y grows down the
// page); absolute PCL (abs_x in dots at RasterDPI, abs_y in raster lines at
// RasterUnit lines per inch).
#pragma once

#include <cstdint>


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
