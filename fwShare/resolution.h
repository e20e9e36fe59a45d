// Resolution model: the machine's length units and the scale factors
// between them.
//
// Units: HPGL units (1016 per inch) in the job file; plot-bed units (3048
// per inch, 120 per millimetre) in the laser input layer and the planner;
// servo counts (12192 per inch) in the servo interrupt; encoder counts of
// the motors. The native set is the one the servo loop was tuned for, the
// current set the one the machine runs at.
#pragma once

#include <cstdint>


// Plot-bed units per inch of this machine (the current plot-bed resolution).
inline constexpr std::int32_t machine_plotbed_dpi = 3048;

// The resolution sets and the factors derived from them. All 0 at power-on:
// start-up fills them (varreso_Initial). Values with this machine's
// resolutions in brackets.
struct ResolutionState {
    // Encoder scale words (signed 16-bit), set before the resolutions are
    // filled (10923, 5461).
    std::int16_t enc_scale_word_x = 0, enc_scale_word_y = 0;

    // Native set: the one the servo loop was tuned for.
    std::int32_t enc_scale_native_x = 0, enc_scale_native_y = 0;  // encoder scale words
    std::int32_t svo_reso_native_x = 0, svo_reso_native_y = 0;    // servo counts per inch (8128)
    std::int32_t reso_dpi_native_x = 0, reso_dpi_native_y = 0;    // plot-bed units per inch (2032)
    std::int32_t hpgl_reso_native_x = 0, hpgl_reso_native_y = 0;  // HPGL units per inch (1016)

    // Current set: the one the machine runs at.
    std::int32_t enc_scale_current_x = 0, enc_scale_current_y = 0;  // encoder scale words
    std::int32_t svo_reso_x = 0, svo_reso_y = 0;    // servo counts per inch (12192)
    std::int32_t reso_dpi_x = 0, reso_dpi_y = 0;    // plot-bed units per inch (3048)
    std::int32_t hpgl_reso_x = 0, hpgl_reso_y = 0;  // HPGL units per inch (1016)

    float svo_period = 0.0f;  // servo tick period, seconds (0.0004 as a 32-bit float)

    // Derived factors.
    // Plot-bed units per millimetre: dpi x 10 / 254 (120).
    std::int32_t reso_mm_x = 0, reso_mm_y = 0;
    std::int32_t svo_reso_mm_x = 0;  // servo counts per millimetre (480)
    // Servo counts per plot-bed unit (4).
    std::int32_t VARRESO_PbdToSvoX = 0, VARRESO_PbdToSvoY = 0;
    std::int32_t hpgl_to_pbd_x = 0, hpgl_to_pbd_y = 0;  // plot-bed units per HPGL unit (3)
    // Current / native servo resolution (1.5).
    float varreso_ratio_x = 0.0f, varreso_ratio_y = 0.0f;
    // Encoder counts to following error: nearest(scale word x ratio) (16385, 8192).
    std::int32_t enc_to_err_x = 0, enc_to_err_y = 0;
    // Servo counts to encoder counts, /65536: nearest(2^28 / enc_to_err) (16383, 32768).
    std::int32_t enc_scale_x = 0, enc_scale_y = 0;
    // One g (386.4 in/s^2) in servo counts per tick per tick with 14
    // fraction bits: nearest(period x (counts per inch x 2^14 x 386.4 x period)) (12350).
    std::int32_t one_g = 0;
    // Raster carriage travel speed: 40 inches per second in plot-bed units (121920).
    std::int32_t raster_move_speed = 0;
};

// Round half away from zero: +0.5 for a positive value, -0.5 otherwise,
// then truncate toward zero.
std::int32_t varreso_nearest(long double x);
