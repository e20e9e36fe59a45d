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

extern PclPosition pcl_pos;
extern std::int32_t abs_x;  // dots at RasterDPI
extern std::int32_t abs_y;  // raster lines

// Takes the head position as the new PCL cursor (switch from HPGL to PCL).
void HandleHpglToPclPosition();

// Turns a PCL-frame position into absolute dots and lines.
void lsr_TransPlotbedtoPCL(std::uint16_t dpi, std::uint16_t unit, std::int32_t x, std::int32_t y);
