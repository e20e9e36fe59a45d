// Raster motion planning, done at the start of every raster image: the
// encoder margins of the image and its middle, the acceleration allowance
// each pass needs beyond the image on either side and hence the pass
// length, the four raster speed profiles, the direction of the first pass
// and the carriage move to its start. All lengths are plot-bed units.
#pragma once

#include <cstdint>


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
