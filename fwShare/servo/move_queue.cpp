#include "fwShare/machine.h"
#include "base/wrap_math.h"

const PenUpShape pen_up_shapes[3] = {
    {"PU-DxDy", {5, 25, 40, 600, 800}, {300, 300, 500, 1100, 5000}, {80, 80, 80, 100, 175}},
    {"PU-OnlyDx", {1016, 1020, 1020, 1020, 1020}, {3000, 3000, 3000, 3000, 3000},
     {175, 175, 175, 175, 175}},
    {"PU-OnlyDy", {15, 615, 620, 625, 630}, {300, 1500, 1500, 1500, 1500}, {40, 80, 80, 80, 80}},
};

namespace {

// The pen-up profile's speed, inches per second.
constexpr std::int32_t pen_up_inches_per_second = 40;

std::int32_t interpolate(std::int32_t lo, std::int32_t hi, std::int32_t d, std::int32_t p_lo,
                         std::int32_t p_hi)
{
    return lo + ((hi - lo) * (d - p_lo)) / (p_hi - p_lo);
}

} // namespace

// Travel in whole millimetres, measured as |dx| + |dy|.
std::int32_t Machine::travel_mm(std::int32_t dx, std::int32_t dy) const
{
    const double units = static_cast<double>(abs_u32(dx)) + static_cast<double>(abs_u32(dy));
    return static_cast<std::int32_t>(units / (reso_dpi_y / 25.4));
}

void Machine::load_profile(const VelAccelEntry& e)
{
    diag_vel = e.diag_vel;
    pbdAxiaVel = e.pbdAxiaVel;
    pbdAccel = e.pbdAccel;
    pbdSps = e.pbdSps;
    LowSpeed = e.LowSpeed;
}

void Machine::reshape_pen_up_profile(const PenUpShape& shape, std::int32_t d)
{
    // The speed bands scale the profile's top speed by vel / 40: the pen-up
    // profile is built for 40 inches per second (40 x dpi units per
    // second, divided by the dpi again as the machine does).
    const std::int32_t vel_base = (pen_up_inches_per_second * reso_dpi_x) / reso_dpi_x;
    int band = 0;
    while (band < 5 && d > shape.part[band]) {
        ++band;
    }
    if (band == 5) {
        diag_vel = wrap_mul(diag_vel, shape.vel[4]) / vel_base;
        pbdAxiaVel = wrap_mul(pbdAxiaVel, shape.vel[4]) / vel_base;
        return;
    }
    std::int32_t acc = shape.acc[0];
    std::int32_t vel = shape.vel[0];
    if (band > 0) {
        const int lo = band - 1;
        acc = interpolate(shape.acc[lo], shape.acc[band], d, shape.part[lo], shape.part[band]);
        vel = interpolate(shape.vel[lo], shape.vel[band], d, shape.part[lo], shape.part[band]);
    }
    const std::int32_t g1000 = one_g / 1000;
    std::int32_t q = wrap_mul(pbdAccel, 100) / wrap_mul(g1000, acc);
    // A profile too gentle for the band would give a factor of 0; take the
    // smallest factor instead of dividing by zero below.
    if (q == 0) {
        q = 1;
    }
    diag_vel = wrap_mul(wrap_mul(diag_vel, q) / 100, vel) / vel_base;
    pbdAxiaVel = wrap_mul(wrap_mul(pbdAxiaVel, q) / 100, vel) / vel_base;
    pbdAccel = wrap_mul(pbdAccel, 100) / q;
    pbdSps = static_cast<std::int32_t>(static_cast<std::uint32_t>(wrap_mul(pbdSps, vel)) /
                                       static_cast<std::uint32_t>(vel_base));
}

void Machine::srvo_on_ve(std::int32_t dx, std::int32_t dy)
{
    const std::int32_t d = travel_mm(dx, dy);
    dbg_trace(DBG_PbdFun, "srvo_on_ve(%d,%d,%d,%d)\n\r", dx, dy, 0, 0);
    dbg_line(DBG_SvoVdbCmd, "    srvo_on_ve(%d,%d,%d,%d);\n\r", dx, dy, 0, 0);
    if (dx == 0 && dy == 0) {
        return;
    }
    VdbData* rec = getfreevdb();
    if (rec == nullptr) {
        return;
    }

    pVelAccelPointer = &VelAccelPool[pbdVelType];
    load_profile(*pVelAccelPointer);
    if (pbdVelType == PEN_UP) {
        const PenUpShape& shape = dx != 0 && dy != 0 ? pen_up_shapes[0]
                                  : dy == 0          ? pen_up_shapes[1]
                                                     : pen_up_shapes[2];
        reshape_pen_up_profile(shape, d);
    }

    _delta_move(dx, dy, rec);
    if (dbg_enabled(DBG_ShowVdbVect)) {
        dump_vdb(rec);
    }

    isr_holdoff = 1;
    sendvdb(rec);
    isr_holdoff = 0;
}
