#include "fwShare/machine.h"

namespace {

// Step i of the spread of one inch (3048 units) over n lines as evenly as
// integers allow: floor((i+1) 3048 / n) - floor(i 3048 / n).
constexpr std::int32_t spread_step(std::int64_t i, std::int64_t n)
{
    return static_cast<std::int32_t>((i + 1) * machine_plotbed_dpi / n -
                                     i * machine_plotbed_dpi / n);
}

template <std::size_t N>
constexpr std::array<std::int32_t, N> spread_steps()
{
    std::array<std::int32_t, N> steps{};
    for (std::size_t i = 0; i < N; ++i) {
        steps[i] = spread_step(static_cast<std::int64_t>(i), static_cast<std::int64_t>(N));
    }
    return steps;
}

} // namespace

// The same spread for a unit that has no table of its own, built only when
// an image at such a unit finds no table chosen since power-on: there is
// nothing in force to keep, so the steps spread the inch evenly.
const std::int32_t* Machine::spread_steps_for_unit(std::int32_t unit)
{
    raster_steps_other.resize(static_cast<std::size_t>(unit));
    for (std::int32_t i = 0; i < unit; ++i) {
        raster_steps_other[static_cast<std::size_t>(i)] = spread_step(i, unit);
    }
    return raster_steps_other.data();
}

constexpr std::array<std::int32_t, 304> raster_steps_304 = spread_steps<304>();
constexpr std::array<std::int32_t, 609> raster_steps_609 = spread_steps<609>();

std::int32_t Machine::SetRasterDistance(std::uint16_t unit, std::int32_t pos)
{
    if (unit == 0) {
        return 0;  // no lines per inch: no table to choose
    }
    const std::int32_t r = reso_dpi_y;
    // Position within the inch, taken as a non-negative remainder so that
    // a cursor above the PCL origin still starts inside the table.
    std::int32_t within = pos % r;
    if (within < 0) {
        within += r;
    }
    const std::int32_t cur_point = unit * within / r;
    RasterIndicatorY = cur_point != 0 ? cur_point + 1 : 0;

    if (r % unit == 0) {
        const std::int32_t step = r / unit;
        raster_steps_even[0] = step;
        raster_steps_even[1] = step;
        raster_steps_even[2] = step;
        raster_step_table = raster_steps_even;
        rasterindicator = 3;
        RasterIndicatorY = 0;
    } else if (unit == 304) {
        raster_step_table = raster_steps_304.data();
        rasterindicator = 304;
    } else if (unit == 609) {
        raster_step_table = raster_steps_609.data();
        rasterindicator = 609;
    } else if (raster_step_table == nullptr) {
        raster_step_table = spread_steps_for_unit(unit);
        rasterindicator = unit;
    }
    // Any other unit keeps the table and cycle length in force, as the
    // machine does: its lines step by an earlier image's table.
    dbg_trace(DBG_TempOff,
              "pos=%d, unit=%d, cur_point=%d, RasterIndicatorY=%d, rasterindicator=%d\n\r", pos,
              unit, cur_point, RasterIndicatorY, rasterindicator);
    return 0;
}

