// Raster motion planning, done at the start of every raster image: the
// encoder margins of the image and its middle, the acceleration allowance
// each pass needs beyond the image on either side and hence the pass
// length, the four raster speed profiles, the direction of the first pass
// and the carriage move to its start. All lengths are plot-bed units.
#pragma once

#include <cstdint>

extern std::int32_t raster_accel_dist;  // allowance on each side of the image
extern std::int32_t margin_l, margin_r; // encoder margins of the image
extern std::int32_t margin_mid;         // middle of the image, PCL frame X
extern std::int32_t margin_base;        // constant margin term (0)
extern std::uint16_t margin_speed_table[20];  // margin term per speed band of 50 (all 0)
extern std::int32_t no_accel_dist;      // 12 mm
extern std::int32_t accel_extra_dist;   // 5 mm

void HandleRasterMargin();
void HandleRasterMoving();
std::uint16_t CalAccelDistance();
std::int32_t lsr_MarginFactor(std::int32_t speed);
void HandleCarriagePosition(std::int32_t x, std::int32_t y);
void lsr_RasterCarriageMove(std::int32_t x, std::int32_t y);
