#include "fwShare/machine.h"

#include <cinttypes>
#include <cstdio>

// "%d" of the field; 8- and 16-bit fields arrive zero-extended, 32-bit
// fields as signed.
void Machine::field(const char* label, std::int32_t value)
{
    console_printf("%-20s = %d\n\r", label, value);
}

// A scaled field: "%d" followed by "(%.2f)" of the unsigned value times
// the scale.
void Machine::scaled(const char* label, std::uint32_t value, double scale)
{
    console_printf("%-20s = %d(%.2f)\n\r", label, static_cast<std::int32_t>(value),
                static_cast<double>(value) * scale);
}

void Machine::global(const char* label, std::int32_t value)
{
    console_printf("%-25s = %d\n\r", label, value);
}

void Machine::global_u16(const char* label, std::uint16_t value)
{
    console_printf("%-25s = %u\n\r", label, static_cast<unsigned>(value));
}

void Machine::global_ptr(const char* label, const void* ptr)
{
    console_printf("%-25s = 0x%08" PRIxPTR "\n\r", label, reinterpret_cast<std::uintptr_t>(ptr));
}

namespace {

constexpr double scale_2m9 = 1.0 / 512.0;
constexpr double scale_2m16 = 1.0 / 65536.0;
constexpr double scale_2m23 = 1.0 / 8388608.0;

} // namespace

void Machine::dump_vdb(const VdbData* rec)
{
    const std::uint32_t kind = vdb_kind(rec);
    char tag[8] = "==";
    if (kind == VECTOR) {
        std::snprintf(tag, sizeof tag, "%d ", rec->octant);
    }
    console_printf("==== VdbData %-8s %s==================\n\r", vdb_cmd_name(kind), tag);
    if (kind == VECTOR) {
        dump_vdb_fields(rec);
    }
}

void Machine::dump_vdb_fields(const VdbData* rec)
{
    scaled("slope", rec->slope, scale_2m16);
    field("majrdisth", rec->majrdisth);
    field("majrfract", static_cast<std::int32_t>(rec->majrfract));
    field("minrdisth", rec->minrdisth);
    field("minrfract", static_cast<std::int32_t>(rec->minrfract));
    field("acclcount", rec->acclcount);
    field("currvel", rec->currvel);
    scaled("minrdvel", rec->minrdvel, scale_2m9);
    field("minrdvel_fract", static_cast<std::int32_t>(rec->minrdvel_fract));
    scaled("minrvel", rec->minrvel, scale_2m23);
    field("minrvel_fract", static_cast<std::int32_t>(rec->minrvel_fract));
    scaled("majrdvel", rec->majrdvel, scale_2m9);
    scaled("majrvel", rec->majrvel, scale_2m23);
    field("creep", static_cast<std::int32_t>(rec->creep));
    field("angle", rec->angle);
    field("relativeAngle", rec->relativeAngle);
    scaled("anglediff", rec->anglediff, scale_2m16);
    field("cnrvel", rec->cnrvel);
    field("psuedodist", static_cast<std::int32_t>(rec->psuedodist));
    scaled("ddr", rec->ddr, scale_2m16);
    field("high_ddr", static_cast<std::int32_t>(rec->high_ddr));
    field("end_delay", rec->end_delay);
    field("xcrash", rec->xcrash);
    field("ycrash", rec->ycrash);
    field("dx", rec->dx);
    field("dy", rec->dy);
    field("acc_index", rec->acc_index);
    field("smoothCnt", rec->smoothCnt);
    field("smoothLoop1", rec->smoothLoop1);
    field("smoothLoop2", rec->smoothLoop2);
    field("vectIdx", rec->vectIdx);
}

void Machine::dump_servo_globals()
{
    console_printf("========================================\n\r");
    global("pbdAxiaVel", pbdAxiaVel);
    global("pbdAccel", pbdAccel);
    global("min_corner_vel", static_cast<std::int32_t>(min_corner_vel));
    global("CREEP_VELOCITY", CREEP_VELOCITY);
    global("LowSpeed", LowSpeed);
    global("lowspeedflag", lowspeedflag);
    global("pbdVelType", pbdVelType);
    global_u16("End_Delay_1", End_Delay_1);
    global_u16("End_Delay_2", End_Delay_2);
    global_u16("End_Delay_3", End_Delay_3);
    global("CI_Flag", CI_Flag);
    global("CREEP_SPEED", CREEP_SPEED);
    global("diag_vel", diag_vel);
    global("factor_num", factor_num);
    global("boundary_speed", static_cast<std::int32_t>(boundary_speed));
    global("pbdSps", pbdSps);
    global("pipeflag", pipeflag);
    global("null_vector", null_vector);
    global("save_real_pen_pos_is_down", save_real_pen_pos_is_down);
    global_ptr("stopptr", stopptr);
    global_ptr("SVO_VectPtr", SVO_VectPtr);
    global_ptr("freeptr", freeptr);
    global_ptr("autoptr", autoptr);
    global_ptr("offline_freeptr", offline_freeptr);
    global_ptr("pVelAccelPointer", pVelAccelPointer);
    global_ptr("VelAccelPool", VelAccelPool);
    console_printf("========================================\n\r");
}
