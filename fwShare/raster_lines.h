// Raster lines: the length and direction of the passes, and the Y step of
// each line, from a table that spreads the plot-bed resolution (3048 units
// per inch) evenly over the raster lines of an inch. Raster motion planning
// sets them at the start of every image; the raster lines step by them.
#pragma once

#include <array>
#include <cstdint>
#include <vector>


// The raster pass and line-step state, with the power-on values; it
// persists from one image to the next.
struct RasterGraphicsState {
    std::int32_t raster_distance = 0;  // length of one pass, plot-bed units
    std::uint8_t raster_backward = 0;  // 0: the next pass runs forward (+X), 1: backward
    // Y step table in force (plot-bed units per line; null until an image
    // chooses one after power-on), its cycle length, and the index of the
    // entry for the next line.
    const std::int32_t* raster_step_table = nullptr;
    std::int32_t rasterindicator = 0;
    std::int32_t RasterIndicatorY = 0;
    // Steps when the lines per inch divide 3048: all three 3048 / unit.
    std::int32_t raster_steps_even[3] = {};
    // Steps for a unit without a table of its own (empty until one is built).
    std::vector<std::int32_t> raster_steps_other;
};

// The fixed tables of 304 and 609 lines per inch: entry i =
// floor((i+1) 3048 / n) - floor(i 3048 / n).
extern const std::array<std::int32_t, 304> raster_steps_304;
extern const std::array<std::int32_t, 609> raster_steps_609;
