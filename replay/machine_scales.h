// The position loop's scales on this machine, as start-up derives them, as
// constants: a run of ticks with these scales lets the compiler turn the
// loop's divisions by them into multiplications. A test holds them to what
// start-up derives.
#pragma once

#include "fwShare/servo/position_loop.h"
#include "fwShare/start_up.h"

// Encoder scale words 10923 and 5461 give encoder scales 16383 and 32768
// and error scales 16385 and 8192; the servo runs at 12192 counts per inch,
// the loop was tuned for 8128.
inline constexpr svo_loop::AxisScales machine_scales_x{machine_enc_base_x, 16383, 16385, 8128,
                                                       12192};
inline constexpr svo_loop::AxisScales machine_scales_y{machine_enc_base_y, 32768, 8192, 8128,
                                                       12192};
