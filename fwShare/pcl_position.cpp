#include "fwShare/machine.h"
#include "base/wrap_math.h"

void Machine::HandleHpglToPclPosition()
{
    dbg_trace(DBG_TempOff, "HandleHpglToPclPosition()\n\r");
    const std::uint16_t dpi = ptCurrentFile->RasterDPI;
    const std::uint16_t unit = ptCurrentFile->RasterUnit;
    svo_wait_idle();
    const MachParamRecord& m = CurrentRomParam.MachParam;
    pcl_pos.pclx = wrap_sub(positionx, m.InitDistance.X);
    pcl_pos.pcly = wrap_sub(m.InitDistance.Y, positiony);
    lsr_TransPlotbedtoPCL(dpi, unit, pcl_pos.pclx, pcl_pos.pcly);
}

void Machine::lsr_TransPlotbedtoPCL(std::uint16_t dpi, std::uint16_t unit, std::int32_t x,
                                    std::int32_t y)
{
    abs_x = wrap_mul(x, dpi) / reso_dpi_x;
    abs_y = wrap_mul(y, unit) / reso_dpi_y;
    dbg_trace(DBG_TempOff, "lsr_TransPlotbedtoPCL(dpi:%d, unit:%d) => pcl(%d,%d) abs(%d,%d)\n\r",
              dpi, unit, x, y, abs_x, abs_y);
}
