#include "fwShare/machine.h"
#include "fwShare/start_up.h"

namespace {

// Encoder scale words of this machine's motors: about 2^14 / 1.5 on X and
// 2^13 / 1.5 on Y, so that with the current-to-native servo resolution
// ratio of 1.5 the loop's encoder-to-error scales come to 2^14 (16385) and
// 2^13 (8192).
constexpr std::int16_t machine_enc_scale_word_x = 10923;
constexpr std::int16_t machine_enc_scale_word_y = 5461;

} // namespace

void Machine::set_machine_params()
{
    MachParamRecord& m = CurrentRomParam.MachParam;
    m.MaxDistance = {reso_mm_x * 746, reso_mm_y * 470};
    m.MaxVelocity = {reso_dpi_x * 80, reso_dpi_x * 40};
    m.MaxAcceleration = {50, 1};
    m.TableSize = {reso_mm_x * 640, reso_mm_y * 460};
    m.InitDistance = {reso_mm_x * 2, reso_mm_y * 466};
    m.DefInitDistance = {reso_mm_x * 2, reso_mm_y * 466};
    m.EndDelay1 = 24;   // sharp corner, short vector
    m.EndDelay2 = 100;  // sharp corner after a vector of a quarter millimetre or more
    m.EndDelay3 = 3;    // shallow corner
    m.EndDelay4 = 5;    // raster work
    m.EndDelay5 = 0;
    m.EndDelay6 = 0;
    ServoVectorParam& s = m.ServoVector;
    s.XGain = 100;
    s.YGain = 140;
    s.XRateFactor = 4000;
    s.YRateFactor = 4100;
    s.XIGain = 4;
    s.YIGain = 5;
    s.K3X = 120;
    s.K3Y = 160;
    s.XILimit = 2400;
    s.YILimit = 3200;
}

void Machine::init_laser_param_defaults()
{
    for (std::int32_t& margin : pLaserRasterParam->RasterMargin) {
        margin = 0;
    }
    for (int pen = 0; pen < 17; ++pen) {
        pLaserVectorParam->VectorAccel[pen] = 60;
        ptCurrentFile->VectorSpeed[pen] = 500;
        ptCurrentFile->VectorAccel[pen] = 60;
    }
}

void Machine::init_motion_defaults()
{
    def_vect_accel = 60;
    CREEP_VELOCITY = 1;
    CREEP_SPEED = creep_speed_for(CREEP_VELOCITY);
    servo_online_comrst();
    servo_offline_comrst();
    no_accel_dist = reso_mm_x * 12;
    accel_extra_dist = reso_mm_x * 5;
    pen_up_speed = reso_dpi_x * 40;
    for (std::int16_t& accel : ptCurrentFile->VectorAccel) {
        accel = def_vect_accel;
    }
}

void Machine::init_speed_profiles()
{
    for (int kind = 0; kind < VEL_ACCEL_POOL_SIZE; ++kind) {
        VelAccelPool[kind].kind = kind;
    }
    setup_plotbed_speeds(PEN_UP, static_cast<std::uint32_t>(reso_mm_x * 10), def_vect_accel);
    setup_plotbed_speeds(PEN_DOWN, static_cast<std::uint32_t>(reso_mm_x * 10), def_vect_accel);
    setup_plotbed_speeds(RASTER_FORWARD, static_cast<std::uint32_t>(reso_mm_x * 2040), 50);
    setup_plotbed_speeds(RASTER_BACKWARD, static_cast<std::uint32_t>(reso_mm_x * 2040), 50);
    setup_plotbed_speeds(RASTER_OFFSET, static_cast<std::uint32_t>(reso_mm_x * 20), 1);
    setup_plotbed_speeds(RASTER_MOVE, static_cast<std::uint32_t>(reso_mm_x * 13), 1);
}

namespace {

// Plot-bed units to servo counts: a left shift by 2 of a signed position.
std::int32_t plotbed_to_servo(std::int32_t pos)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(pos) << 2);
}

} // namespace

void Machine::InitHardwareScaleFactor()
{
    pen_up_flag = 1;
    enc_scale_word_x = machine_enc_scale_word_x;
    enc_scale_word_y = machine_enc_scale_word_y;

    varreso_Initial();
    // The resolutions end with the parameter dump when start-up is traced.
    if (dbg_enabled(DBG_VemtracDbg)) {
        dump_machine_params();
    }
    set_machine_params();
    init_laser_param_defaults();
    const std::int32_t start_x = positionx;
    const std::int32_t start_y = positiony;

    dbg_trace(DBG_VemtracDbg, "^^ InitHardwareScaleFactor()\n\r");

    corner_chain_enable = 1;
    enc_base_x = machine_enc_base_x;
    enc_base_y = machine_enc_base_y;

    servo_init(0, 100, 100);
    init_motion_defaults();
    servo_init(1, 200, 200);
    init_speed_profiles();

    svo_pos_x = plotbed_to_servo(start_x);
    svo_pos_y = plotbed_to_servo(start_y);
    svo_wait_idle();

    const MachParamRecord& m = CurrentRomParam.MachParam;
    pcl_pos.pclx = positionx - m.InitDistance.X;
    pcl_pos.pcly = m.InitDistance.Y - positiony;
}

