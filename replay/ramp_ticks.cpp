#include "replay/ramp_ticks.h"

#include "replay/replay_machine.h"

void ReplayMachine::svo_acc_ticks_begin(RampTicks* t)
{
    VdbData* r = SVO_VectPtr;
    *t = {r, svo_ramp_values(r), svo_corner_extra(r), svo_ramp_doubles(r)};
}

bool ReplayMachine::svo_dcc_ticks_begin(RampTicks* t)
{
    VdbData* r = SVO_VectPtr;
    if (svo_queue_crowded()) {
        return false;
    }
    *t = {r, svo_ramp_values(r), svo_corner_extra(r), svo_long_vector_warning_given(r)};
    return true;
}

bool ReplayMachine::svo_slew_ticks_begin(SlewTicks* s)
{
    const VdbData* r = SVO_VectPtr;
    if (svo_queue_crowded()) {
        return false;
    }
    *s = {r->majrdisth,
          r->minrdisth,
          r->majrfract,
          r->minrfract,
          r->majrvel,
          r->minrvel,
          svo_corner_extra(r),
          static_cast<std::int32_t>(svo_dcc_dist(r)),
          svo_long_vector_warning_given(r),
          corner_chain_enable != 0 && r->cnrvel != 0,
          r->octant};
    return true;
}

void ReplayMachine::svo_slew_ticks_end(const SlewTicks& s)
{
    VdbData* r = SVO_VectPtr;
    r->majrdisth = s.majrdisth;
    r->minrdisth = s.minrdisth;
    r->majrfract = s.majrfract;
    r->minrfract = s.minrfract;
}

