#include "fwShare/machine.h"
#include "base/for_each.h"

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>

void Machine::rule()
{
    console_printf("================================================================\n\r");
}

void Machine::group_end()
{
    console_printf("\n\r");
}

void Machine::value_line(const char* label, std::int32_t value)
{
    console_printf("    %-51s= %d; \n\r", label, value);
}

// One value line per member, labelled with the record's prefix and the member's name.
void Machine::value_lines(const char* prefix, std::initializer_list<NamedValue> members)
{
    for (const NamedValue& member : members) {
        value_line((std::string(prefix) + member.name).c_str(), member.value);
    }
}

// A member of a record under the name it has in the record.
#define VEMTRAC_NAMED_MEMBER(record, member) NamedValue{#member, (record).member},

// Value lines for the listed members of a record, each labelled prefix + member name.
#define VEMTRAC_DUMP_MEMBERS(prefix, record, ...) \
    value_lines(prefix, {VEMTRAC_FOR_EACH(VEMTRAC_NAMED_MEMBER, record, __VA_ARGS__)})

// Values written one after another with "%d," and the last comma removed.
template <typename T>
void Machine::list_line(const char* label, const T* values, int count)
{
    char text[17 * 12 + 1];
    int len = 0;
    for (int i = 0; i < count; ++i) {
        len += std::snprintf(text + len, sizeof text - static_cast<std::size_t>(len), "%d,",
                             static_cast<int>(values[i]));
    }
    if (len > 0) {
        text[len - 1] = '\0';
    }
    console_printf("    %-51s= %s; \n\r", label, text);
}

// The head position and the carriage limits.
void Machine::dump_positions()
{
    value_line("positionx", positionx);
    value_line("positiony", positiony);
    VEMTRAC_DUMP_MEMBERS("hard_min.", hard_min, x, y);
    VEMTRAC_DUMP_MEMBERS("hard_max.", hard_max, x, y);
}

// The machine parameter record up to the end delays.
void Machine::dump_mach_params(const MachParamRecord& m)
{
    VEMTRAC_DUMP_MEMBERS("CurrentRomParam.MachParam.", m, MaxDistance.X, MaxDistance.Y,
                         MaxVelocity.X, MaxVelocity.Y, MaxAcceleration.X, MaxAcceleration.Y,
                         TableSize.X, TableSize.Y, InitDistance.X, InitDistance.Y,
                         DefInitDistance.X, DefInitDistance.Y, Resolution.X, Resolution.Y,
                         EndDelay1, EndDelay2, EndDelay3, EndDelay4, EndDelay5, EndDelay6);
}

// The configured servo tuning.
void Machine::dump_servo_vector(const ServoVectorParam& s)
{
    VEMTRAC_DUMP_MEMBERS("CurrentRomParam.MachParam.ServoVector.", s, XGain, YGain, XRateFactor,
                         YRateFactor, XIGain, YIGain, K3X, K3Y, rXGain, rGain, rXratefactor,
                         rratefactor, rXIGain, rIGain, XILimit, YILimit);
}

// The directive and plot-bed records.
void Machine::dump_directives()
{
    VEMTRAC_DUMP_MEMBERS("pMsDirective->", *pMsDirective, FineCuttingMode, TavrelTurboMode,
                         CCDSpeedAdjust, ImageTuning);
    VEMTRAC_DUMP_MEMBERS("pMsPlotbed->", *pMsPlotbed, CornerTable);
}

// The current job's settings, then the per-pen and margin lists.
void Machine::dump_current_file(const CurrentFileRecord& f)
{
    VEMTRAC_DUMP_MEMBERS("ptCurrentFile->", f, VectorCurrentPen, RasterMode, RasterUnit, RasterDPI,
                         RasterPower, ImageAbsPosFlag, ImageOffsetX, ImageOffsetY, ImageWidth,
                         ImageHeight, RasterAccelEngrave, RasterSpeedX, RasterSpeedY, RasterAccelX,
                         RasterAccelY, RasterFiringType, RasterBandingFree);
    group_end();

    list_line("ptCurrentFile->VectorSpeed", f.VectorSpeed, 17);
    list_line("ptCurrentFile->VectorAccel", f.VectorAccel, 17);
    list_line("pLaserVectorParam->VectorAccel", pLaserVectorParam->VectorAccel, 17);
    list_line("pLaserRasterParam->RasterMargin", pLaserRasterParam->RasterMargin, 5);
}

void Machine::dump_machine_params()
{
    rule();
    dump_positions();
    group_end();
    dump_mach_params(CurrentRomParam.MachParam);
    group_end();
    dump_servo_vector(CurrentRomParam.MachParam.ServoVector);
    group_end();
    dump_directives();
    group_end();
    dump_current_file(*ptCurrentFile);
    rule();
}
