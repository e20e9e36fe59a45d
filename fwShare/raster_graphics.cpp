#include "fwShare/raster_graphics.h"

#include "base/job_stop.h"
#include "base/debug_trace.h"
#include "fwShare/servo/servo_ticks.h"
#include "fwShare/machine_params.h"
#include "fwShare/pcl_position.h"
#include "fwShare/raster_motion.h"
#include "fwShare/resolution.h"
#include "fwShare/servo/move_queue.h"
#include "fwShare/servo/servo_isr.h"
#include "fwShare/servo/speed_profiles.h"
#include "fwShare/servo/vector_queue.h"
#include "base/wrap_math.h"

RasterGraphicsState raster_graphics_state;

void raster_graphics_reset()
{
    raster_graphics_state = RasterGraphicsState{};
}

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

// The same spread for a unit that has no table of its own, built only when
// an image at such a unit finds no table chosen since power-on: there is
// nothing in force to keep, so the steps spread the inch evenly.
std::int32_t raster_steps_other[65535];

const std::int32_t* spread_steps_for_unit(std::int32_t unit)
{
    for (std::int32_t i = 0; i < unit; ++i) {
        raster_steps_other[i] = spread_step(i, unit);
    }
    return raster_steps_other;
}

// Placement divides by both resolutions of the image.
bool image_resolutions_set()
{
    if (ptCurrentFile->RasterDPI == 0 || ptCurrentFile->RasterUnit == 0) {
        job_stop_at_entry("RasterDPI or RasterUnit is 0");
        return false;
    }
    return true;
}

void place_image()
{
    CurrentFileRecord& f = *ptCurrentFile;
    const std::int32_t dpi = f.RasterDPI;
    const std::int32_t unit = f.RasterUnit;
    const std::int32_t dx = wrap_mul(f.ImageOffsetX, reso_dpi_x) / dpi;
    const std::int32_t dy = wrap_mul(f.ImageOffsetY, reso_dpi_y) / unit;
    if (f.ImageAbsPosFlag != 0) {
        abs_x = f.ImageOffsetX;
        abs_y = f.ImageOffsetY;
        pcl_pos.pclx = dx;
        pcl_pos.pcly = dy;
    } else {
        abs_x = wrap_add(abs_x, f.ImageOffsetX);
        abs_y = wrap_add(abs_y, f.ImageOffsetY);
        pcl_pos.pclx = wrap_add(pcl_pos.pclx, dx);
        pcl_pos.pcly = wrap_add(pcl_pos.pcly, dy);
    }
    pcl_pos.x_mrg = pcl_pos.pclx;
}

} // namespace

constexpr std::array<std::int32_t, 304> raster_steps_304 = spread_steps<304>();
constexpr std::array<std::int32_t, 609> raster_steps_609 = spread_steps<609>();

void HandleStartRasterGraphics()
{
    if (!image_resolutions_set()) {
        return;
    }
    const std::int32_t start_tick = svo_tick_count;
    CurrentFileRecord& f = *ptCurrentFile;
    dbg_trace2(DBG_RasterProc, DBG_TempOff, "\n\r");
    dbg_trace2(DBG_RasterProc, DBG_TempOff,
               "HandleStartRasterGraphics(Enter) To(%d,%d) PCL(%05d,%05d) tick:%d\n\r",
               f.ImageOffsetX, f.ImageOffsetY, pcl_pos.pclx, pcl_pos.pcly, start_tick);

    // Raster servo settings, in force until vector cutting starts again.
    End_Delay_1 = static_cast<std::uint16_t>(CurrentRomParam.MachParam.EndDelay4);
    End_Delay_2 = 0;
    End_Delay_3 = 0;
    creep_min = 4;
    CREEP_VELOCITY = 4;
    CREEP_SPEED = creep_speed_for(CREEP_VELOCITY);

    place_image();
    HandleRasterMargin();
    HandleRasterMoving();
    HandleCarriagePosition(pcl_pos.pclx, pcl_pos.pcly);

    f.ImageAbsPosFlag = 0;
    f.ImageOffsetX = 0;
    f.ImageOffsetY = 0;
    dbg_trace2(DBG_RasterProc, DBG_TempOff,
               "HandleStartRasterGraphics(Leave) PCL(%05d,%05d) tick:%d %d\n\r", pcl_pos.pclx,
               pcl_pos.pcly, svo_tick_count, wrap_sub(svo_tick_count, start_tick));
}

void RasterLineOut()
{
    if (raster_step_table == nullptr) {
        job_stop_at_entry("raster line before the start of any raster image");
        return;
    }
    CurrentFileRecord& f = *ptCurrentFile;
    if (raster_backward == 0) {
        srvo_on_raster_move(RASTER_FORWARD);
        srvo_on_ve(raster_distance, 0);
    } else {
        srvo_on_raster_move(RASTER_BACKWARD);
        srvo_on_ve(wrap_neg(raster_distance), 0);
    }
    if (f.RasterFiringType == 0) {
        raster_backward = raster_backward == 0 ? 1 : 0;
    }
    svo_wait_idle();

    const std::int32_t band = f.RasterBandingFree != 0 ? f.RasterBandingFree : 1;
    srvo_on_raster_move(RASTER_OFFSET);
    // The index wraps at the end of the table's cycle.
    if (RasterIndicatorY >= rasterindicator || RasterIndicatorY < 0) {
        RasterIndicatorY = 0;
    }
    const std::int32_t step = wrap_mul(raster_step_table[RasterIndicatorY], band);
    const std::int32_t dy = f.RasterBuEngrave != 0 ? step : wrap_neg(step);
    const std::int32_t dx = f.RasterFiringType != 0 ? wrap_neg(raster_distance) : 0;
    srvo_on_ve(dx, dy);
    RasterIndicatorY += 1;
    svo_wait_idle();
}

std::int32_t SetRasterDistance(std::uint16_t unit, std::int32_t pos)
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
    dbg_trace(DBG_TempOff, "pos=%d, unit=%d, cur_point=%d, RasterIndicatorY=%d, rasterindicator=%d\n\r",
              pos, unit, cur_point, RasterIndicatorY, rasterindicator);
    return 0;
}

void HandleEndRasterGraphics()
{
    if (!image_resolutions_set()) {
        return;
    }
    const std::int32_t start_tick = svo_tick_count;
    CurrentFileRecord& f = *ptCurrentFile;
    dbg_trace2(DBG_RasterProc, DBG_TempOff, "HandleEndRasterGraphics(Enter) PCL(%05d,%05d) tick:%d\n\r",
               pcl_pos.pclx, pcl_pos.pcly, start_tick);
    if (f.ImageHeight != 0) {
        const std::int32_t d = wrap_mul(wrap_sub(f.ImageHeight, 1), f.RasterBandingFree);
        abs_y = f.RasterBuEngrave != 0 ? wrap_sub(abs_y, d) : wrap_add(abs_y, d);
        pcl_pos.pcly = wrap_mul(abs_y, reso_dpi_y) / f.RasterUnit;
    }
    f.ImageWidth = 0;
    f.ImageHeight = 0;
    dbg_trace2(DBG_RasterProc, DBG_TempOff,
               "HandleEndRasterGraphics(Leave) PCL(%05d,%05d) tick:%d %d\n\r", pcl_pos.pclx,
               pcl_pos.pcly, svo_tick_count, wrap_sub(svo_tick_count, start_tick));
}
