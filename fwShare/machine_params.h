// Machine parameters, job settings and machine start-up.
//
// The records hold one fixed machine: every value is set by the start-up
// code. Lengths are plot-bed units (3048 per inch, 120 per millimetre),
// speeds plot-bed units per second, delays servo ticks.
#pragma once

#include <cstdint>

struct AxisPair {
    std::int32_t X;
    std::int32_t Y;
};

// Configured servo tuning; the loop runs on a live copy (svo_gains).
struct ServoVectorParam {
    std::int16_t XGain, YGain;
    std::int16_t XRateFactor, YRateFactor;
    std::int16_t XIGain, YIGain;
    std::int16_t K3X, K3Y;
    std::int16_t rXGain, rGain, rXratefactor, rratefactor, rXIGain, rIGain;
    std::int32_t XILimit, YILimit;
};

struct MachParamRecord {
    AxisPair MaxDistance;
    AxisPair MaxVelocity;      // rewritten per pen by vector cutting
    AxisPair MaxAcceleration;  // rewritten per pen by vector cutting
    AxisPair TableSize;
    AxisPair InitDistance;     // plot-bed origin of the PCL frame
    AxisPair DefInitDistance;
    AxisPair Resolution;       // encoder resolution for raster margins; never set
    std::int32_t EndDelay1, EndDelay2, EndDelay3, EndDelay4, EndDelay5, EndDelay6;
    ServoVectorParam ServoVector;
};

struct RomParamRecord {
    MachParamRecord MachParam;
};

// Settings of the job being run, written by the job file and the laser
// input layer.
struct CurrentFileRecord {
    std::uint8_t VectorCurrentPen;
    std::uint8_t RasterMode;
    std::uint16_t RasterUnit;        // raster lines per inch
    std::uint16_t RasterDPI;         // raster dots per inch
    std::uint16_t RasterPower;
    std::int8_t ImageAbsPosFlag;     // 1: image offsets absolute, 0: relative to the PCL cursor
    std::int32_t ImageOffsetX;       // dots at RasterDPI
    std::int32_t ImageOffsetY;       // raster lines
    std::int32_t ImageWidth;         // dots at RasterDPI
    std::int32_t ImageHeight;        // raster lines
    std::uint8_t RasterAccelEngrave;
    std::uint8_t RasterBuEngrave;    // 0: lines go down the page, other: up
    std::uint16_t RasterSpeedX;      // per mille of MaxVelocity.X
    std::uint16_t RasterSpeedY;      // per mille of MaxVelocity.Y
    std::uint8_t RasterAccelX, RasterAccelY;
    std::uint16_t RasterFiringType;  // 0: passes both ways, other: every pass forward
    std::uint8_t RasterBandingFree;  // raster lines advanced per pass
    std::uint16_t VectorSpeed[17];   // speed code per pen
    std::int16_t VectorAccel[17];    // acceleration code per pen
};

struct MsDirectiveRecord {
    std::uint8_t FineCuttingMode;
    std::uint8_t TavrelTurboMode;
    std::int32_t CCDSpeedAdjust;
    std::int16_t ImageTuning;
};

struct MsPlotbedRecord {
    std::uint8_t CornerTable;
};

struct LaserVectorParamRecord {
    std::uint8_t VectorAccel[17];
};

struct LaserRasterParamRecord {
    std::int32_t RasterMargin[5];    // margin factor at raster speeds 200..1000
};

struct PointXY {
    std::int32_t x;
    std::int32_t y;
};

// The parameter records and the current job's settings, all 0 at power-on:
// start-up sets the machine's parameters and the per-pen defaults.
struct MachineParamState {
    RomParamRecord CurrentRomParam = {};
    CurrentFileRecord current_file = {};
    MsDirectiveRecord ms_directive = {};
    MsPlotbedRecord ms_plotbed = {};
    LaserVectorParamRecord laser_vector_param = {};
    LaserRasterParamRecord laser_raster_param = {};
    PointXY hard_min = {}, hard_max = {};  // carriage limits; nothing sets them
    // Acceleration code of the pen profiles and of VectorAccel (60 after start-up).
    std::int16_t def_vect_accel = 0;
};
