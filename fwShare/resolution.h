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

// Encoder scale words (signed 16-bit), set before the resolutions are filled.
extern std::int16_t enc_scale_word_x, enc_scale_word_y;

// Native resolution set.
extern std::int32_t enc_scale_native_x, enc_scale_native_y;   // encoder scale words
extern std::int32_t svo_reso_native_x, svo_reso_native_y;     // servo counts per inch (8128)
extern std::int32_t reso_dpi_native_x, reso_dpi_native_y;     // plot-bed units per inch (2032)
extern std::int32_t hpgl_reso_native_x, hpgl_reso_native_y;   // HPGL units per inch (1016)

// Current resolution set.
extern std::int32_t enc_scale_current_x, enc_scale_current_y; // encoder scale words
extern std::int32_t svo_reso_x, svo_reso_y;                   // servo counts per inch (12192)
extern std::int32_t reso_dpi_x, reso_dpi_y;                   // plot-bed units per inch (3048)
extern std::int32_t hpgl_reso_x, hpgl_reso_y;                 // HPGL units per inch (1016)

// Servo tick period in seconds (0.0004, held as a 32-bit float).
extern float svo_period;

// Derived factors.
extern std::int32_t reso_mm_x, reso_mm_y;                   // plot-bed units per millimetre (120)
extern std::int32_t svo_reso_mm_x;                          // servo counts per millimetre (480)
extern std::int32_t VARRESO_PbdToSvoX, VARRESO_PbdToSvoY;   // servo counts per plot-bed unit (4)
extern std::int32_t hpgl_to_pbd_x, hpgl_to_pbd_y;           // plot-bed units per HPGL unit (3)
extern float varreso_ratio_x, varreso_ratio_y;              // current / native servo resolution (1.5)
extern std::int32_t enc_to_err_x, enc_to_err_y;             // encoder count to error scale (16385, 8192)
extern std::int32_t enc_scale_x, enc_scale_y;               // servo count to encoder, /65536 (16383, 32768)
// One g (386.4 in/s^2) in servo counts per tick per tick, 14 fraction bits (12350).
extern std::int32_t one_g;
// Raster carriage travel speed, plot-bed units per second (40 in/s, 121920).
extern std::int32_t raster_move_speed;

void varreso_Initial();
void varreso_Compute();

// Round half away from zero: +0.5 for a positive value, -0.5 otherwise,
// then truncate toward zero.
std::int32_t varreso_nearest(long double x);
