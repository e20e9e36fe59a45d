#include "fwShare/machine.h"
#include "base/wrap_math.h"

// Placement divides by both resolutions of the image.
bool Machine::image_resolutions_set()
{
    if (ptCurrentFile->RasterDPI == 0 || ptCurrentFile->RasterUnit == 0) {
        job_stop_at_entry("RasterDPI or RasterUnit is 0");
        return false;
    }
    return true;
}

void Machine::place_image()
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

void Machine::HandleStartRasterGraphics()
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

void Machine::RasterLineOut()
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

void Machine::HandleEndRasterGraphics()
{
    if (!image_resolutions_set()) {
        return;
    }
    const std::int32_t start_tick = svo_tick_count;
    CurrentFileRecord& f = *ptCurrentFile;
    dbg_trace2(DBG_RasterProc, DBG_TempOff,
               "HandleEndRasterGraphics(Enter) PCL(%05d,%05d) tick:%d\n\r", pcl_pos.pclx,
               pcl_pos.pcly, start_tick);
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
