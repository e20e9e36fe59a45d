#include "fwShare/param_dump.h"

#include <cstdint>
#include <cstdio>

#include "fwShare/servo/servo_ticks.h"
#include "fwShare/machine_params.h"

namespace {

void rule()
{
    std::printf("================================================================\n\r");
}

void group_end()
{
    std::printf("\n\r");
}

void value_line(const char* label, std::int32_t value)
{
    std::printf("    %-51s= %d; \n\r", label, value);
}

// Values written one after another with "%d," and the last comma removed.
template <typename T>
void list_line(const char* label, const T* values, int count)
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
    std::printf("    %-51s= %s; \n\r", label, text);
}

// The head position and the carriage limits.
void dump_positions()
{
    value_line("positionx", positionx);
    value_line("positiony", positiony);
    value_line("hard_min.x", hard_min.x);
    value_line("hard_min.y", hard_min.y);
    value_line("hard_max.x", hard_max.x);
    value_line("hard_max.y", hard_max.y);
}

// The machine parameter record up to the end delays.
void dump_mach_params(const MachParamRecord& m)
{
    value_line("CurrentRomParam.MachParam.MaxDistance.X", m.MaxDistance.X);
    value_line("CurrentRomParam.MachParam.MaxDistance.Y", m.MaxDistance.Y);
    value_line("CurrentRomParam.MachParam.MaxVelocity.X", m.MaxVelocity.X);
    value_line("CurrentRomParam.MachParam.MaxVelocity.Y", m.MaxVelocity.Y);
    value_line("CurrentRomParam.MachParam.MaxAcceleration.X", m.MaxAcceleration.X);
    value_line("CurrentRomParam.MachParam.MaxAcceleration.Y", m.MaxAcceleration.Y);
    value_line("CurrentRomParam.MachParam.TableSize.X", m.TableSize.X);
    value_line("CurrentRomParam.MachParam.TableSize.Y", m.TableSize.Y);
    value_line("CurrentRomParam.MachParam.InitDistance.X", m.InitDistance.X);
    value_line("CurrentRomParam.MachParam.InitDistance.Y", m.InitDistance.Y);
    value_line("CurrentRomParam.MachParam.DefInitDistance.X", m.DefInitDistance.X);
    value_line("CurrentRomParam.MachParam.DefInitDistance.Y", m.DefInitDistance.Y);
    value_line("CurrentRomParam.MachParam.Resolution.X", m.Resolution.X);
    value_line("CurrentRomParam.MachParam.Resolution.Y", m.Resolution.Y);
    value_line("CurrentRomParam.MachParam.EndDelay1", m.EndDelay1);
    value_line("CurrentRomParam.MachParam.EndDelay2", m.EndDelay2);
    value_line("CurrentRomParam.MachParam.EndDelay3", m.EndDelay3);
    value_line("CurrentRomParam.MachParam.EndDelay4", m.EndDelay4);
    value_line("CurrentRomParam.MachParam.EndDelay5", m.EndDelay5);
    value_line("CurrentRomParam.MachParam.EndDelay6", m.EndDelay6);
}

// The configured servo tuning.
void dump_servo_vector(const ServoVectorParam& s)
{
    value_line("CurrentRomParam.MachParam.ServoVector.XGain", s.XGain);
    value_line("CurrentRomParam.MachParam.ServoVector.YGain", s.YGain);
    value_line("CurrentRomParam.MachParam.ServoVector.XRateFactor", s.XRateFactor);
    value_line("CurrentRomParam.MachParam.ServoVector.YRateFactor", s.YRateFactor);
    value_line("CurrentRomParam.MachParam.ServoVector.XIGain", s.XIGain);
    value_line("CurrentRomParam.MachParam.ServoVector.YIGain", s.YIGain);
    value_line("CurrentRomParam.MachParam.ServoVector.K3X", s.K3X);
    value_line("CurrentRomParam.MachParam.ServoVector.K3Y", s.K3Y);
    value_line("CurrentRomParam.MachParam.ServoVector.rXGain", s.rXGain);
    value_line("CurrentRomParam.MachParam.ServoVector.rGain", s.rGain);
    value_line("CurrentRomParam.MachParam.ServoVector.rXratefactor", s.rXratefactor);
    value_line("CurrentRomParam.MachParam.ServoVector.rratefactor", s.rratefactor);
    value_line("CurrentRomParam.MachParam.ServoVector.rXIGain", s.rXIGain);
    value_line("CurrentRomParam.MachParam.ServoVector.rIGain", s.rIGain);
    value_line("CurrentRomParam.MachParam.ServoVector.XILimit", s.XILimit);
    value_line("CurrentRomParam.MachParam.ServoVector.YILimit", s.YILimit);
}

// The directive and plot-bed records.
void dump_directives()
{
    value_line("pMsDirective->FineCuttingMode", pMsDirective->FineCuttingMode);
    value_line("pMsDirective->TavrelTurboMode", pMsDirective->TavrelTurboMode);
    value_line("pMsDirective->CCDSpeedAdjust", pMsDirective->CCDSpeedAdjust);
    value_line("pMsDirective->ImageTuning", pMsDirective->ImageTuning);
    value_line("pMsPlotbed->CornerTable", pMsPlotbed->CornerTable);
}

// The current job's settings, then the per-pen and margin lists.
void dump_current_file(const CurrentFileRecord& f)
{
    value_line("ptCurrentFile->VectorCurrentPen", f.VectorCurrentPen);
    value_line("ptCurrentFile->RasterMode", f.RasterMode);
    value_line("ptCurrentFile->RasterUnit", f.RasterUnit);
    value_line("ptCurrentFile->RasterDPI", f.RasterDPI);
    value_line("ptCurrentFile->RasterPower", f.RasterPower);
    value_line("ptCurrentFile->ImageAbsPosFlag", f.ImageAbsPosFlag);
    value_line("ptCurrentFile->ImageOffsetX", f.ImageOffsetX);
    value_line("ptCurrentFile->ImageOffsetY", f.ImageOffsetY);
    value_line("ptCurrentFile->ImageWidth", f.ImageWidth);
    value_line("ptCurrentFile->ImageHeight", f.ImageHeight);
    value_line("ptCurrentFile->RasterAccelEngrave", f.RasterAccelEngrave);
    value_line("ptCurrentFile->RasterSpeedX", f.RasterSpeedX);
    value_line("ptCurrentFile->RasterSpeedY", f.RasterSpeedY);
    value_line("ptCurrentFile->RasterAccelX", f.RasterAccelX);
    value_line("ptCurrentFile->RasterAccelY", f.RasterAccelY);
    value_line("ptCurrentFile->RasterFiringType", f.RasterFiringType);
    value_line("ptCurrentFile->RasterBandingFree", f.RasterBandingFree);
    group_end();

    list_line("ptCurrentFile->VectorSpeed", f.VectorSpeed, 17);
    list_line("ptCurrentFile->VectorAccel", f.VectorAccel, 17);
    list_line("pLaserVectorParam->VectorAccel", pLaserVectorParam->VectorAccel, 17);
    list_line("pLaserRasterParam->RasterMargin", pLaserRasterParam->RasterMargin, 5);
}

} // namespace

void dump_machine_params()
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
