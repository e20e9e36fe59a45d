#include "fwShare/machine.h"

namespace {
// The machine this tool models: plot bed 3048 and servo 12192 units per inch.
constexpr std::int32_t plotbed_dpi = machine_plotbed_dpi;
constexpr std::int32_t servo_dpi = 12192;
constexpr std::int32_t native_plotbed_dpi = 2032;
constexpr std::int32_t native_servo_dpi = 8128;
constexpr std::int32_t hpgl_dpi = 1016;
constexpr long double gravity_ips2 = 386.4L;
} // namespace

std::int32_t varreso_nearest(long double x)
{
    long double r = x > 0 ? x + 0.5L : x - 0.5L;
    return static_cast<std::int32_t>(r);
}

void Machine::varreso_Compute()
{
    reso_mm_x = reso_dpi_x * 10 / 254;
    reso_mm_y = reso_dpi_y * 10 / 254;
    svo_reso_mm_x = svo_reso_x * 10 / 254;

    VARRESO_PbdToSvoX = svo_reso_x / reso_dpi_x;
    VARRESO_PbdToSvoY = svo_reso_y / reso_dpi_y;

    hpgl_to_pbd_x = reso_dpi_x / hpgl_reso_x;
    hpgl_to_pbd_y = reso_dpi_y / hpgl_reso_y;

    varreso_ratio_x = static_cast<float>(svo_reso_x) / static_cast<float>(svo_reso_native_x);
    varreso_ratio_y = static_cast<float>(svo_reso_y) / static_cast<float>(svo_reso_native_y);

    enc_to_err_x = varreso_nearest(static_cast<long double>(enc_scale_current_x) *
                                   static_cast<long double>(varreso_ratio_x));
    enc_to_err_y = varreso_nearest(static_cast<long double>(enc_scale_current_y) *
                                   static_cast<long double>(varreso_ratio_y));

    enc_scale_x = varreso_nearest(268435456.0L / static_cast<long double>(enc_to_err_x));
    enc_scale_y = varreso_nearest(268435456.0L / static_cast<long double>(enc_to_err_y));

    long double period = static_cast<long double>(svo_period);
    long double counts_g = static_cast<long double>(svo_reso_x * 16384) * gravity_ips2 * period;
    one_g = varreso_nearest(period * counts_g);
}

void Machine::varreso_Initial()
{
    dbg_trace(DBG_VemtracDbg, "^^ varreso_Initial(%d,%d)\n\r", plotbed_dpi, servo_dpi);

    svo_period = static_cast<float>(svo_tick_seconds);

    enc_scale_native_x = enc_scale_word_x;
    enc_scale_native_y = enc_scale_word_y;
    svo_reso_native_x = native_servo_dpi;
    svo_reso_native_y = native_servo_dpi;
    reso_dpi_native_x = native_plotbed_dpi;
    reso_dpi_native_y = native_plotbed_dpi;
    hpgl_reso_native_x = hpgl_dpi;
    hpgl_reso_native_y = hpgl_dpi;

    enc_scale_current_x = enc_scale_word_x;
    enc_scale_current_y = enc_scale_word_y;
    svo_reso_x = servo_dpi;
    svo_reso_y = servo_dpi;
    reso_dpi_x = plotbed_dpi;
    reso_dpi_y = plotbed_dpi;
    hpgl_reso_x = hpgl_dpi;
    hpgl_reso_y = hpgl_dpi;

    varreso_Compute();
    varreso_Compute();

    raster_move_speed = reso_dpi_x * 40;

    dbg_trace(DBG_Event, "Resoultion:%dDPI 1G=%d 1mm=%d\n\r", reso_dpi_x, one_g, reso_mm_x);
}
