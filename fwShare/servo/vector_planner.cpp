#include "fwShare/machine.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <utility>

const std::int16_t octant_base_angle[8] = {0, -90, -180, 90, -360, 270, 180, -270};

const std::uint8_t atan_deg_table[64] = {
    0,  1,  2,  3,  4,  4,  5,  6,  7,  8,  9,  10, 11, 11, 12, 13,
    14, 15, 16, 17, 17, 18, 19, 20, 21, 21, 22, 23, 24, 24, 25, 26,
    27, 27, 28, 29, 29, 30, 31, 31, 32, 33, 33, 34, 35, 35, 36, 36,
    37, 37, 38, 39, 39, 40, 40, 41, 41, 42, 42, 43, 43, 44, 44, 45,
};

const std::uint32_t cos_table[46] = {
    65536, 65526, 65496, 65446, 65376, 65286, 65176, 65047, 64898, 64729, 64540, 64331,
    64103, 63856, 63589, 63302, 62997, 62672, 62328, 61965, 61583, 61183, 60763, 60326,
    59870, 59395, 58903, 58393, 57864, 57319, 56755, 56175, 55577, 54963, 54331, 53683,
    53019, 52339, 51643, 50931, 50203, 49460, 48702, 47930, 47142, 46340,
};

const std::uint16_t corner_factor_table[46] = {
    65535, 65002, 63884, 62000, 56497, 46476, 40872, 35020, 30628, 27211, 24483, 22245,
    20379, 18798, 17442, 16267, 15241, 14329, 13520, 12798, 12144, 11555, 11016, 10522,
    10073, 9659,  9275,  8918,  8588,  8280,  7987,  7721,  7463,  7227,  7003,  6790,
    6589,  6399,  6216,  6042,  5418,  4521,  2934,  1716,  697,   0,
};

namespace {

constexpr std::uint32_t max_smooth_angle = 0x190000; // 25 degrees, 16.16
constexpr int look_back_limit = corner_look_back_limit;

inline bool is_vector(const VdbData* rec)
{
    return vdb_kind(rec) == VECTOR;
}

} // namespace

// Blends the turn angles of a run of short joints walking backwards from
// rec: stores rec's smoothed angle in its anglediff and the number of
// records blended in its smoothLoop1.
void Machine::angle_smooth(VdbData* rec, std::int32_t traced_prev, std::uint32_t rel)
{
    const std::int32_t short_len = 3 * svo_reso_mm_x;  // 3 mm in counts
    const std::uint32_t a = rec->anglediff;
    const std::int32_t w = static_cast<std::int32_t>(rec->prev->anglediff);
    std::int32_t b = w;
    VdbData* r = rec->prev;
    int n = 0;
    while (n < look_back_limit) {
        if (!is_vector(r) || r->anglediff > max_smooth_angle || rec->majrdisth > short_len ||
            r->majrdisth > short_len) {
            break;
        }
        const std::uint32_t q = r->anglediff;
        r->anglediff = (a >> 1) - (q >> 1) + q;
        b = wrap_sub(wrap_add(b, static_cast<std::int32_t>(q >> 1)), b >> 1);
        ++n;
        r = r->prev;
    }
    rec->anglediff = static_cast<std::uint32_t>(b);
    rec->smoothLoop1 = n;
    dbg_trace2(DBG_AngleSmooth, DBG_TempOff, "AngleSmooth prev:%-3d rel:%-3d chg:%-2d %3d=>%d\n\r",
               traced_prev, static_cast<std::int32_t>(rel), n, w >> 16, b >> 16);
}

// Counts the acceleration steps from creep that the vector p2 can brake
// away within its own length plus its own braking distance, up to the
// target h. Returns the steps and the distance such a ramp covers (24.8):
// walked step by step, or solved by the solver the estimator installs.
void Machine::corner_ramp(const VdbData* p2, std::uint16_t h, std::uint32_t* steps,
                          std::uint32_t* dist)
{
    const std::uint32_t len = static_cast<std::uint32_t>(p2->majrdisth);
    const CornerRampSolver solve = corner_ramp_solver;
    if (solve != nullptr) {
        solve(len, p2->psuedodist, h, p2->majrdvel, steps, dist, *this);
        return;
    }
    walk_corner_ramp(len, len + p2->psuedodist, h, p2->majrdvel,
                     static_cast<std::uint32_t>(CREEP_VELOCITY), steps, dist);
}

namespace {

// Whether the corner pass may raise the corner at the end of p3: a vector
// whose acceleration was not doubled, turning by no more than 25 degrees.
inline bool corner_may_rise(const VdbData* p3)
{
    return is_vector(p3) && p3->acc_index != 21 && p3->anglediff <= max_smooth_angle;
}

} // namespace

// Raises the corner speeds of the records before rec. Returns the number of
// joints raised and the last record whose cnrvel it changed.
int Machine::corner_pass(VdbData* rec, VdbData** last_changed)
{
    const std::int32_t short_len = 3 * svo_reso_mm_x;
    VdbData* p2 = rec;
    VdbData* p3 = rec->prev;
    int i = 0;
    while (i < look_back_limit) {
        if (!corner_may_rise(p3)) {
            break;
        }
        if (p2->majrdisth > short_len) {
            // A shallow joint before a vector longer than 3 mm: lowest corner speed.
            p3->cnrvel = 1;
            p3->psuedodist = static_cast<std::uint32_t>(short_len);
            *last_changed = p3;
            break;
        }
        const std::uint32_t degrees = p3->anglediff >> 16;
        dbg_trace(DBG_PbdFun, "calculate_corner_factor for angle(angle %d)\n\r",
                  static_cast<std::int32_t>(degrees));
        const std::uint32_t f = corner_factor_table[degrees];
        std::uint16_t h = static_cast<std::uint16_t>((f * p2->acclcount) >> 16);
        const std::uint16_t g = static_cast<std::uint16_t>((f * min_corner_vel) >> 16);
        if (h < g) {
            h = g;
        }
        const std::uint16_t j = p3->cnrvel;
        if (h <= j || p3->majrdvel != p2->majrdvel) {
            break;
        }
        std::uint32_t k = 0;
        std::uint32_t d = 0;
        corner_ramp(p2, h, &k, &d);
        if (k <= j) {
            break;
        }
        p3->smoothCnt += 1;
        p3->cnrvel = static_cast<std::uint16_t>(k);
        p3->psuedodist = d >> 8;
        *last_changed = p3;
        dbg_trace2(DBG_AngleSmooth, DBG_TempOn,
                   " %02d cnrvel:%-3d psuedoDist:%-7d angleDiff:%d\n\r", i,
                   static_cast<std::int32_t>(k), static_cast<std::int32_t>(d),
                   static_cast<std::int32_t>(p3->anglediff >> 16));
        ++i;
        p2 = p3;
        p3 = p3->prev;
    }
    return i;
}

// The memo of corner passes to ask for the pass over rec, or null. A pass
// that ends at its first joint before any ramp is not worth a look-up; one
// that prints its trace always runs; the memo may ask to sit passes out.
const CornerPassMemo* Machine::corner_pass_memo_to_ask(const VdbData* rec)
{
    VectorPlannerState& s = *this;
    if (s.corner_pass_memo == nullptr || !corner_may_rise(rec->prev) ||
        rec->majrdisth > 3 * svo_reso_mm_x || dbg_enabled(DBG_PbdFun) ||
        dbg_enabled(DBG_AngleSmooth) || dbg_enabled(DBG_TempOn)) {
        return nullptr;
    }
    if (s.corner_passes_unasked != 0) {
        --s.corner_passes_unasked;
        return nullptr;
    }
    return s.corner_pass_memo;
}

// The corner pass over rec, or what the estimator's memo of passes holds
// for it.
int Machine::remembered_corner_pass(VdbData* rec, VdbData** last_changed)
{
    const CornerPassMemo* memo = corner_pass_memo_to_ask(rec);
    std::int32_t raised = 0;
    const CornerPassRecall recall =
        memo != nullptr ? memo->recall(*this, rec, &raised, last_changed) : CornerPassRecall::run;
    if (recall == CornerPassRecall::recalled) {
        return raised;
    }
    raised = corner_pass(rec, last_changed);
    if (recall == CornerPassRecall::run_and_remember) {
        // The pass looked at one record past the last it raised, unless it
        // stopped at its limit.
        memo->remember(*this, rec, raised, std::min(raised + 1, look_back_limit), *last_changed);
    }
    return raised;
}

namespace {

// Top speed in acceleration steps for a move at angle a from its major axis.
std::uint16_t top_speed_steps(std::uint32_t axia_vel, std::uint32_t a, std::uint32_t majrdvel)
{
    const std::uint32_t cs = cos_table[a];
    // A profile with no acceleration would divide by zero; plan it as if
    // the step were the smallest one.
    const std::int32_t divisor = majrdvel != 0 ? static_cast<std::int32_t>(majrdvel) : 1;
    const std::uint32_t q = static_cast<std::uint32_t>(8388608 / divisor);
    const std::uint32_t v = ((axia_vel * cs) >> 16) - ((q * (65536u - cs)) >> 16);
    if (v > axia_vel) {
        return static_cast<std::uint16_t>(axia_vel);
    }
    return v == 0 ? std::uint16_t{1} : static_cast<std::uint16_t>(v);
}

} // namespace

void walk_corner_ramp(std::uint32_t len, std::uint32_t target, std::uint32_t h,
                      std::uint32_t majrdvel, std::uint32_t creep, std::uint32_t* steps,
                      std::uint32_t* dist)
{
    std::uint32_t v = creep << ramp_vel_frac;
    std::uint32_t d = (64u - creep) << ramp_dist_frac;
    std::uint32_t k = 0;
    if ((d >> ramp_dist_frac) < target) {
        do {
            if (k > h || (v >> ramp_vel_frac) >= len) {
                break;
            }
            d += v >> ramp_travel_shift;
            ++k;
            v += majrdvel;
        } while ((d >> ramp_dist_frac) < target);
        if (k > 0) {
            --k;
        }
    }
    v -= majrdvel;
    d -= v >> ramp_travel_shift;
    *steps = k;
    *dist = d;
}

std::int32_t muldiv(std::int32_t x, std::int32_t y, std::int32_t z)
{
    const std::uint32_t ax = abs_u32(x);
    const std::uint32_t ay = abs_u32(y);
    const std::uint32_t az = abs_u32(z);
    if (static_cast<std::uint64_t>(ax / 65536u) * (ay / 65536u) >= az) {
        return 0;
    }
    const std::uint64_t q = static_cast<std::uint64_t>(ax) * ay / az;
    const int negatives = (x < 0) + (y < 0) + (z < 0);
    const std::uint32_t r = static_cast<std::uint32_t>(q);
    return static_cast<std::int32_t>(negatives % 2 != 0 ? 0u - r : r);
}

// Octant and axis distances in servo counts; a tie makes X the major axis.
// Warns when the major distance overflowed 32 bits and goes on with it.
void Machine::plan_octant_and_distances(std::int32_t dx, std::int32_t dy, VdbData* rec)
{
    const std::uint32_t ax = abs_u32(dx);
    const std::uint32_t ay = abs_u32(dy);
    rec->octant =
        static_cast<std::uint8_t>((dx < 0 ? 2 : 0) | (dy < 0 ? 4 : 0) | (ax < ay ? 1 : 0));
    const std::uint32_t to_svo_major = static_cast<std::uint32_t>(VARRESO_PbdToSvoX);
    const std::uint32_t to_svo_minor = static_cast<std::uint32_t>(VARRESO_PbdToSvoY);
    rec->majrdisth = static_cast<std::int32_t>((ax >= ay ? ax : ay) * to_svo_major);
    rec->minrdisth = static_cast<std::int32_t>((ax >= ay ? ay : ax) * to_svo_minor);
    rec->majrfract = 0;
    rec->minrfract = 0;
    rec->anglediff = 0;

    if (rec->majrdisth < 0) {
        console_printf("vect->majrdisth < 0\n");
        console_printf("xdelta(%d)ydelta(%d)\n", static_cast<std::int32_t>(ax),
                    static_cast<std::int32_t>(ay));
        console_printf("VARRESO_PbdToSvoX(%d)VARRESO_PbdToSvoY(%d)\n", VARRESO_PbdToSvoX,
                    VARRESO_PbdToSvoY);
    }
}

namespace {

// Slope of the minor axis against the major one (0.16, 0xFFFF when equal)
// from working copies of at most 16 bits, and the angle from the major
// axis in whole degrees. A minor distance above the major one only arises
// from distances that overflowed; it is planned like the 45-degree case.
// Returns the angle; *diagonal tells the 45-degree case.
std::uint32_t plan_slope(VdbData* rec, bool* diagonal)
{
    std::uint32_t big = static_cast<std::uint32_t>(rec->majrdisth);
    std::uint32_t small = static_cast<std::uint32_t>(rec->minrdisth);
    while (big > 0xFFFF) {
        big >>= 1;
        small >>= 1;
    }
    *diagonal = big <= small;
    if (*diagonal) {
        rec->slope = 0xFFFF;
        return atan_deg_table[63];
    }
    const std::uint32_t s = (small << 16) / big;
    rec->slope = static_cast<std::uint16_t>(s);
    return atan_deg_table[s / 1024];
}

} // namespace

// Start velocities and per-step changes of both axes: a ramp from creep
// when the profile accelerates, else the profile's constant speed scaled
// by the direction cosine.
void Machine::plan_velocities(VdbData* rec, std::uint32_t a, bool diagonal)
{
    const std::uint32_t creep_vel = static_cast<std::uint32_t>(CREEP_VELOCITY);
    const std::uint32_t accel = static_cast<std::uint32_t>(pbdAccel);
    const std::uint32_t low_speed = static_cast<std::uint32_t>(LowSpeed);
    const std::uint32_t s = diagonal ? 0 : rec->slope;
    if (pbdAxiaVel != 0) {
        rec->majrvel = creep_vel << svo_vel_frac;
        rec->creep = creep_vel * 16u;
    } else {
        rec->majrvel = low_speed;
        rec->creep = 1;
    }
    rec->majrdvel = accel << svo_accel_to_vel_shift;

    if (pbdAxiaVel != 0) {
        if (diagonal) {
            rec->minrdvel = rec->majrdvel;
            rec->minrvel = creep_vel << svo_vel_frac;
        } else {
            rec->minrdvel = (s * accel) / 128u;
            rec->minrvel = s * creep_vel * 128u;
        }
    } else if (diagonal) {
        rec->minrdvel = rec->majrdvel;
        rec->majrvel = cos_table[45] * low_speed * 8u;
        rec->minrvel = rec->majrvel;
    } else {
        rec->majrvel = (cos_table[a] * low_speed * 8u) & 0xFFFF0000u;
        rec->minrvel = static_cast<std::uint32_t>(
            muldiv(static_cast<std::int32_t>(rec->majrvel), static_cast<std::int32_t>(s), 65536));
        rec->minrdvel = (s * accel) / 128u;
    }
}

// Direction of travel, top speed in acceleration steps, the stopping
// distance's start and the end delay.
void Machine::plan_top_speed(VdbData* rec, std::uint32_t a)
{
    const std::int32_t angle = octant_base_angle[rec->octant] + static_cast<std::int32_t>(a);
    rec->angle = static_cast<std::uint16_t>(angle < 0 ? -angle : angle);

    const std::uint32_t axia_vel = static_cast<std::uint32_t>(pbdAxiaVel);
    if (pbdAxiaVel == 0) {
        rec->acclcount = 0;
    } else if (rec->slope == 0) {
        rec->acclcount = static_cast<std::uint16_t>(axia_vel);
    } else {
        rec->acclcount = top_speed_steps(axia_vel, a, rec->majrdvel);
    }

    rec->currvel = 0;
    rec->high_ddr = 0;
    rec->ddr = (64u - static_cast<std::uint32_t>(CREEP_VELOCITY)) << 16;
    rec->cnrvel = 0;
    rec->psuedodist = 0;
    rec->acc_index = 0;
    rec->end_delay = pbdVelType == RASTER_OFFSET ? std::uint16_t{40} : End_Delay_1;
}

// The joint with the record before: the turn in whole degrees, the end
// delay of the earlier vector, and both records' turn angles. Returns the
// turn; *traced_prev the angle the smoothing trace shows (361: no vector).
std::uint32_t Machine::plan_joint(VdbData* rec, std::int32_t* traced_prev)
{
    VdbData* p = rec->prev;
    *traced_prev = 361;
    if (!is_vector(p)) {
        return 0;
    }
    *traced_prev = rec->angle;
    std::uint32_t rel = static_cast<std::uint32_t>(rec->angle > p->angle ? rec->angle - p->angle
                                                                         : p->angle - rec->angle);
    if (rel > 180) {
        rel = 360 - rel;
    }
    const int slope_change = p->slope > rec->slope ? p->slope - rec->slope : rec->slope - p->slope;
    if (rel == 1 && slope_change < 1000) {
        rel = 0;
    }
    rec->relativeAngle = static_cast<std::uint16_t>(rel);
    if (pbdAxiaVel == 0) {
        p->end_delay = 0;
    } else if (rel >= 60 && p->majrdisth >= svo_reso_mm_x / 4) {
        p->end_delay = End_Delay_2;
    } else {
        p->end_delay = End_Delay_3;
    }
    rec->anglediff = rel << 16;
    p->anglediff = rel << 16;
    return rel;
}

void Machine::_delta_move(std::int32_t dx, std::int32_t dy, VdbData* rec)
{
    ++vect_count;
    if (dbg_enabled(DBG_DeltaMove)) {
        dbg_trace(DBG_DeltaMove, "_delta_move(%7d,%7d,%08" PRIxPTR ",%d) %s\n\r", dx, dy,
                  reinterpret_cast<std::uintptr_t>(rec), 0, "");
    }
    rec->dx = dx;
    rec->dy = dy;
    rec->smoothCnt = 0;
    rec->smoothLoop1 = 0;
    rec->smoothLoop2 = 0;

    plan_octant_and_distances(dx, dy, rec);
    bool diagonal = false;
    const std::uint32_t a = plan_slope(rec, &diagonal);
    plan_velocities(rec, a, diagonal);
    plan_top_speed(rec, a);
    // From here on the record may be taken up by the interrupt.
    rec->cmd = VECTOR;

    std::int32_t traced_prev = 361;
    const std::uint32_t rel = plan_joint(rec, &traced_prev);
    angle_smooth(rec, traced_prev, rel);
    pMsPlotbed->CornerTable = 1;
    VdbData* last_changed = rec;
    rec->smoothLoop2 = remembered_corner_pass(rec, &last_changed);

    if ((vdb_dump_flags & 1u) != 0) {
        dump_servo_globals();
    }
    if ((vdb_dump_flags & 2u) != 0) {
        dump_vdb(last_changed);
    }
}
