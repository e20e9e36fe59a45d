#include "fwShare/machine.h"
#include "base/wrap_math.h"

namespace {

// Allowance when the turbo mode is on, instead of the computed one.
constexpr std::int32_t turbo_accel_dist = 320;
// Largest target X the carriage reaches in one diagonal move: 25 1/3 inches
// of plot bed (3048 units per inch, 77216 units, 643.5 mm), 3.5 mm past the
// 640 mm table width; further out the move goes in two straight legs.
constexpr std::int32_t carriage_one_move_max_x = machine_plotbed_dpi * 76 / 3;
static_assert(carriage_one_move_max_x == 77216);

inline std::uint32_t u32(std::int32_t v)
{
    return static_cast<std::uint32_t>(v);
}

} // namespace

// Head position in the PCL frame.
void Machine::head_in_pcl_frame(std::int32_t* cx, std::int32_t* cy) const
{
    const MachParamRecord& m = CurrentRomParam.MachParam;
    *cx = wrap_sub(positionx, m.InitDistance.X);
    *cy = wrap_sub(m.InitDistance.Y, positiony);
}

std::int32_t Machine::lsr_MarginFactor(std::int32_t speed) const
{
    const std::int32_t* m = pLaserRasterParam->RasterMargin;
    int segment = speed / 200;
    if (segment > 4) {
        segment = 4;
    }
    if (segment < 0) {
        segment = 0;
    }
    const std::int32_t lo = segment == 0 ? 0 : m[segment - 1];
    const std::int32_t hi = m[segment];
    return wrap_add(lo, wrap_mul(wrap_sub(hi, lo), speed - segment * 200) / 200);
}

void Machine::HandleRasterMargin()
{
    const CurrentFileRecord& f = *ptCurrentFile;
    const std::int32_t reso = CurrentRomParam.MachParam.Resolution.X;
    const std::int32_t dpi = f.RasterDPI;
    dbg_trace(DBG_TempOff, "HandleRasterMargin(pclx:%d x_mrg:%d ImgW:%d ImgOff:%d Pwe:%d)\n\r",
              pcl_pos.pclx, pcl_pos.x_mrg, f.ImageWidth, f.ImageOffsetX, f.RasterPower);

    const std::int32_t off = wrap_mul(pcl_pos.x_mrg, reso) / reso_dpi_x;
    dbg_trace(DBG_TempOff, "HandleRasterMargin(reso:%d unit:%d dpi:%d off:%d spd:%d)\n\r", reso,
              f.RasterUnit, dpi, off, f.RasterSpeedX);
    const std::int32_t width_enc = static_cast<std::int32_t>(
        u32(wrap_mul(f.ImageWidth, reso)) / u32(dpi) -
        u32((wrap_mul(999 - f.RasterPower, reso) / 1000) / dpi));

    const std::int32_t factor =
        f.RasterMode == 1 || f.RasterMode == 2 ? lsr_MarginFactor(f.RasterSpeedX) : 0;
    // Speeds above 1000 use the last band.
    std::int32_t band = (f.RasterSpeedX - 1) / 50;
    if (band > 19) {
        band = 19;
    }
    const std::int32_t sp = margin_speed_table[band];
    const std::int32_t tuning = pMsDirective->ImageTuning;

    margin_l = wrap_sub(wrap_sub(wrap_sub(wrap_sub(off, margin_base), sp), tuning), factor);
    margin_r = wrap_add(wrap_add(wrap_add(wrap_add(wrap_add(margin_base, sp), width_enc), tuning),
                                 off),
                        factor);
    const std::uint32_t mid = u32(wrap_mul(reso_dpi_x / 2, f.ImageWidth)) / u32(dpi);
    margin_mid = wrap_add(static_cast<std::int32_t>(mid), pcl_pos.pclx);
    dbg_trace2(DBG_RasterProc, DBG_TempOff,
               "MARGIN_ENCODER factor:%d,%d L:%d R:%d mid:%d off:%d width:%d\n\r", factor,
               margin_base, margin_l, margin_r, margin_mid, off, width_enc);
}

std::uint16_t Machine::CalAccelDistance()
{
    const MachParamRecord& m = CurrentRomParam.MachParam;
    const std::uint32_t max_ips = u32(m.MaxVelocity.X) / u32(reso_dpi_x);
    const std::uint32_t ips = max_ips * ptCurrentFile->RasterSpeedX / 1000u;
    std::uint32_t g = u32(m.MaxAcceleration.X) / 10u;
    if (g <= 5) {
        g = 5;
    }
    const std::int32_t d = (static_cast<std::int32_t>(u32(reso_dpi_x) * ips * ips) / 2) /
                           static_cast<std::int32_t>(g);
    // d / 386.4 is v^2 / (2 a) in plot-bed units for an acceleration of g
    // times gravity.
    const double units = static_cast<double>(d) / 386.4 + reso_mm_x;
    const std::uint16_t result = static_cast<std::uint16_t>(static_cast<std::int32_t>(units));
    dbg_trace(DBG_AccDist, "CalAccelDistance(ips=%d, speedx=%d, maxIPS=%d) = %d\n\r",
              static_cast<std::int32_t>(ips), ptCurrentFile->RasterSpeedX,
              static_cast<std::int32_t>(max_ips), result);
    return result;
}

void Machine::HandleRasterMoving()
{
    CurrentFileRecord& f = *ptCurrentFile;
    const MachParamRecord& m = CurrentRomParam.MachParam;
    dbg_trace(DBG_TempOff, "Handle Raster Moving()\n\r");

    const std::int32_t width =
        static_cast<std::int32_t>(u32(wrap_mul(f.ImageWidth, reso_dpi_x)) / f.RasterDPI);
    if (f.RasterAccelEngrave != 0) {
        raster_accel_dist = no_accel_dist + reso_mm_x;
    } else {
        raster_accel_dist = CalAccelDistance() + accel_extra_dist;
    }
    raster_distance = pMsDirective->TavrelTurboMode != 0
                          ? wrap_add(width, turbo_accel_dist)
                          : wrap_add(width, wrap_mul(2, raster_accel_dist));
    if (f.RasterAccelEngrave != 0) {
        dbg_trace(DBG_TempOff, "NoAccelDistance(1)=%d(%d),%d(%d),%d(%d),%d(%d)\n\r", 1, reso_mm_x,
                  no_accel_dist / reso_mm_x, no_accel_dist, width / reso_mm_x, width,
                  raster_distance / reso_mm_x, raster_distance);
    } else {
        const std::int32_t accel = raster_accel_dist - accel_extra_dist;
        dbg_trace(DBG_TempOff, "CalAccelDistance(2)=%d(%d),%d(%d),%d(%d),%d(%d)\n\r",
                  accel / reso_mm_x, accel, accel_extra_dist / reso_mm_x, accel_extra_dist,
                  width / reso_mm_x, width, raster_distance / reso_mm_x, raster_distance);
    }
    dbg_trace2(DBG_RasterProc, DBG_TempOff, "HandleRasterMoving(width=%d, acc=%d)\n\r", width,
               raster_accel_dist);

    dbg_trace(DBG_TempOff, "SetRasterDistance(x:%d y:%d unit:%d\n\r", raster_distance,
              pcl_pos.pcly, f.RasterUnit);
    SetRasterDistance(f.RasterUnit, pcl_pos.pcly);

    const std::uint32_t vx = f.RasterSpeedX * u32(m.MaxVelocity.X) / 1000u;
    const std::uint32_t vy = f.RasterSpeedY * u32(m.MaxVelocity.Y) / 1000u;
    if (f.RasterAccelX == 0) {
        f.RasterAccelX = 50;
    }
    if (f.RasterAccelY == 0) {
        f.RasterAccelY = 50;
    }
    const std::int32_t acc_x = f.RasterAccelX;
    const std::int32_t acc_y = f.RasterAccelY;
    dbg_trace(DBG_TempOff, "HandleRasterMoving() vel:%d,%d acc:%d,%d\n\r",
              static_cast<std::int32_t>(vx), static_cast<std::int32_t>(vy), acc_x, acc_y);

    setup_plotbed_speeds(RASTER_FORWARD, vx, acc_x);
    setup_plotbed_speeds(RASTER_BACKWARD, vx, acc_x);
    setup_plotbed_speeds(RASTER_OFFSET, vy, acc_y);
    setup_plotbed_speeds(RASTER_MOVE, u32(raster_move_speed), acc_y);
}

void Machine::HandleCarriagePosition(std::int32_t x, std::int32_t y)
{
    const CurrentFileRecord& f = *ptCurrentFile;
    const MachParamRecord& m = CurrentRomParam.MachParam;
    std::int32_t cx = 0;
    std::int32_t cy = 0;
    svo_wait_idle();
    head_in_pcl_frame(&cx, &cy);
    dbg_trace2(DBG_CarriagePos, DBG_RasterMove, "HandleCarriagePosition(%d,%d->%d,%d)\n\r", cx, cy,
               x, y);

    if (wrap_add(f.ImageWidth, f.ImageHeight) != 0) {
        // The first pass starts one allowance before the image.
        x = wrap_sub(x, pMsDirective->TavrelTurboMode != 0 ? turbo_accel_dist : raster_accel_dist);
        if (f.RasterFiringType != 0 || u32(margin_l) <= u32(m.MaxDistance.X - m.TableSize.X)) {
            raster_backward = 0;
        } else if (u32(margin_r) > u32(m.TableSize.X) ||
                   (u32(margin_r) < u32(m.TableSize.X) && cx > margin_mid)) {
            // Start at the far end and run backward.
            x = wrap_add(x, raster_distance);
            raster_backward = 1;
        } else {
            raster_backward = 0;
        }
    }
    if (x >= 0 && u32(wrap_add(m.InitDistance.X, x)) > u32(hard_max.x)) {
        x = wrap_sub(hard_max.x, m.InitDistance.X);
    }
    lsr_RasterCarriageMove(x, y);
}

void Machine::lsr_RasterCarriageMove(std::int32_t x, std::int32_t y)
{
    std::int32_t cx = 0;
    std::int32_t cy = 0;
    svo_wait_idle();
    head_in_pcl_frame(&cx, &cy);
    if (x >= 1 && x <= carriage_one_move_max_x) {
        srvo_on_raster_move(RASTER_MOVE);
        srvo_on_ve(wrap_sub(x, cx), wrap_sub(cy, y));
    } else {
        // Y first, then X.
        srvo_on_raster_move(RASTER_MOVE);
        srvo_on_ve(0, wrap_sub(cy, y));
        srvo_on_raster_move(RASTER_MOVE);
        srvo_on_ve(wrap_sub(x, cx), 0);
    }
}
