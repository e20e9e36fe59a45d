// Raster graphics: the start of an image (placement of the PCL cursor,
// raster servo settings, the carriage brought to the first pass), one pass
// and one Y step per raster line, and the end of the image.
//
// The Y step of each line comes from a table that spreads the plot-bed
// resolution (3048 units per inch) evenly over the raster lines of an inch.
#pragma once

#include <array>
#include <cstdint>

// Length of one pass, plot-bed units.
extern std::int32_t raster_distance;
// 0: the next pass runs forward (+X), 1: backward.
extern std::uint8_t raster_backward;

// Y step table in force (plot-bed units per line; null until an image
// chooses one after power-on), its cycle length, and the
// index of the entry for the next line.
extern const std::int32_t* raster_step_table;
extern std::int32_t rasterindicator;
extern std::int32_t RasterIndicatorY;

// Steps when the lines per inch divide 3048, and the fixed tables of 304
// and 609 lines per inch: entry i = floor((i+1) 3048 / n) - floor(i 3048 / n).
extern std::int32_t raster_steps_even[3];
extern const std::array<std::int32_t, 304> raster_steps_304;
extern const std::array<std::int32_t, 609> raster_steps_609;

void HandleStartRasterGraphics();
void HandleEndRasterGraphics();
void RasterLineOut();
std::int32_t SetRasterDistance(std::uint16_t unit, std::int32_t pos);
