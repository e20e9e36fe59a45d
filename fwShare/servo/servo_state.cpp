#include "fwShare/machine.h"

// Each name table has one name per enumerator: its bound comes from its
// names and must match the declaration's.
const char* const svo_phase_names[] = {
    "IDLE", "HOLD", "ACC", "SLEW", "DCC", "CREEP", "DELAY",
};

const char* const svo_state_names[] = {
    "ISRIDLE", "ISRHOLD", "ISRACC", "ISRSLEW", "ISRDCC", "ISRCREEP", "ISRCORN",
    "ISRPENUP", "ISRPENDOWN", "ISRDELAY", "R_HOME", "RY_FOCUS", "ISRPAUSE", "ISRPLANMOVE",
};

void Machine::svo_set_state(std::int16_t new_state)
{
    const std::int16_t old_state = svo_state;
    if (new_state == ISRHOLD) {
        if (job_timing_state == JOB_CLOCK_RUNNING && old_state != ISRHOLD) {
            job_end_tick = svo_tick_count;
        }
    } else if (job_timing_state == JOB_CLOCK_ARMED && old_state == ISRHOLD) {
        job_start_tick = svo_tick_count;
        job_timing_state = JOB_CLOCK_RUNNING;
    }
    svo_state = new_state;
}

void Machine::svo_hold_tick()
{
    if (hold_gain_count != 0) {
        --hold_gain_count;
        if (hold_gain_count == 0) {
            svo_gain_base_x = static_cast<std::int16_t>(svo_gains.XGain >> 2);
            svo_gain_base_y = static_cast<std::int16_t>(svo_gains.YGain >> 2);
        }
    }
}
