// Machine start-up: resolutions and scale factors, parameter records,
// servo initialisation and gains, the parameter dump, trace categories.
#include "machine_fixture.h"

#include <cstring>

#include "base/debug_trace.h"
#include "fwShare/machine_params.h"
#include "fwShare/param_dump.h"
#include "fwShare/pcl_position.h"
#include "fwShare/resolution.h"
#include "fwShare/servo/servo_ticks.h"
#include "fwShare/servo/speed_profiles.h"
#include "fwShare/servo/vector_queue.h"
#include "fwShare/start_up.h"
#include "replay/machine_scales.h"

class StartUp : public MachineTest {};

TEST_F(StartUp, DerivesTheScaleFactorsOfTheBuiltInResolutions)
{
    EXPECT_EQ(reso_mm_x, 120);
    EXPECT_EQ(reso_mm_y, 120);
    EXPECT_EQ(svo_reso_mm_x, 480);
    EXPECT_EQ(VARRESO_PbdToSvoX, 4);
    EXPECT_EQ(VARRESO_PbdToSvoY, 4);
    EXPECT_EQ(hpgl_to_pbd_x, 3);
    EXPECT_EQ(hpgl_to_pbd_y, 3);
    // 10923 x 1.5 = 16384.5 rounds away from zero; 5461 x 1.5 = 8191.5 likewise.
    EXPECT_EQ(enc_to_err_x, 16385);
    EXPECT_EQ(enc_to_err_y, 8192);
    EXPECT_EQ(enc_scale_x, 16383);
    EXPECT_EQ(enc_scale_y, 32768);
    // 12349.57... with the float nearest to 0.0004 s.
    EXPECT_EQ(one_g, 12350);
    EXPECT_EQ(raster_move_speed, 121920);
    EXPECT_FLOAT_EQ(svo_period, 0.0004f);
}

TEST_F(StartUp, RecomputingTheScaleFactorsChangesNothing)
{
    varreso_Compute();
    EXPECT_EQ(enc_to_err_x, 16385);
    EXPECT_EQ(enc_scale_x, 16383);
    EXPECT_EQ(one_g, 12350);
    EXPECT_EQ(VARRESO_PbdToSvoX, 4);
}

TEST(Rounding, GoesAwayFromZeroAtOneHalf)
{
    EXPECT_EQ(varreso_nearest(2.5L), 3);
    EXPECT_EQ(varreso_nearest(2.49L), 2);
    EXPECT_EQ(varreso_nearest(-2.5L), -3);
    EXPECT_EQ(varreso_nearest(-2.49L), -2);
    EXPECT_EQ(varreso_nearest(0.0L), 0);
}

TEST_F(StartUp, SetsTheMachineParametersAndJobDefaults)
{
    const MachParamRecord& m = CurrentRomParam.MachParam;
    EXPECT_EQ(m.MaxDistance.X, 89520);
    EXPECT_EQ(m.MaxDistance.Y, 56400);
    EXPECT_EQ(m.MaxVelocity.X, 243840);
    EXPECT_EQ(m.MaxVelocity.Y, 121920);
    EXPECT_EQ(m.TableSize.X, 76800);
    EXPECT_EQ(m.TableSize.Y, 55200);
    EXPECT_EQ(m.InitDistance.X, 240);
    EXPECT_EQ(m.InitDistance.Y, 55920);
    EXPECT_EQ(m.EndDelay1, 24);
    EXPECT_EQ(m.EndDelay4, 5);
    EXPECT_EQ(m.ServoVector.YRateFactor, 4100);
    EXPECT_EQ(m.ServoVector.YILimit, 3200);
    for (int pen = 0; pen < 17; ++pen) {
        EXPECT_EQ(ptCurrentFile->VectorSpeed[pen], 500) << pen;
        EXPECT_EQ(ptCurrentFile->VectorAccel[pen], 60) << pen;
        EXPECT_EQ(pLaserVectorParam->VectorAccel[pen], 60) << pen;
    }
    EXPECT_EQ(CREEP_VELOCITY, 1);
    EXPECT_EQ(CREEP_SPEED, 625);
    EXPECT_EQ(creep_min, 1);
    EXPECT_EQ(corner_chain_enable, 1);
}

TEST_F(StartUp, LeavesTheServoReadyInHoldWithTheHeadAtTheOrigin)
{
    EXPECT_EQ(svo_state, ISRHOLD);
    EXPECT_EQ(SVO_VectPtr, nullptr);
    EXPECT_EQ(svo_gains.XGain, 200);
    EXPECT_EQ(svo_gains.YGain, 200);
    EXPECT_EQ(svo_gains.XRateFactor, 1000);
    EXPECT_EQ(svo_gains.YRateFactor, 1000);
    EXPECT_EQ(svo_off, 0);
    EXPECT_EQ(enc_x, -87987);
    EXPECT_EQ(enc_y, 6104);
    EXPECT_EQ(pcl_pos.pclx, -240);
    EXPECT_EQ(pcl_pos.pcly, 55920);
    EXPECT_EQ(positionx, 0);
    EXPECT_EQ(positiony, 0);
    EXPECT_EQ(freeptr, &vdb_pool[0]);
    EXPECT_EQ(pbdVelType, PEN_UP);
    EXPECT_EQ(pipeflag, 0);
    // The runs of ticks take the loop's scales as constants.
    const svo_loop::LoopSettings loop = load_loop_settings();
    for (const auto& [derived, pinned] : {std::pair{loop.scales_x, machine_scales_x},
                                          std::pair{loop.scales_y, machine_scales_y}}) {
        EXPECT_EQ(derived.enc_base, pinned.enc_base);
        EXPECT_EQ(derived.enc_scale, pinned.enc_scale);
        EXPECT_EQ(derived.enc_to_err, pinned.enc_to_err);
        EXPECT_EQ(derived.reso_native, pinned.reso_native);
        EXPECT_EQ(derived.reso, pinned.reso);
    }
}

TEST_F(StartUp, ServoInitModeZeroEndsIdleAndModeOneKeepsTheErrors)
{
    svo_err_x = 7;
    svo_prev_term_x = 9;
    servo_init(1, 150, 160);
    EXPECT_EQ(svo_state, ISRHOLD);
    EXPECT_EQ(svo_err_x, 7);
    EXPECT_EQ(svo_prev_term_x, 9);
    EXPECT_EQ(svo_gain_base_x, 150);
    EXPECT_EQ(svo_gain_base_y, 160);

    servo_init(0, 100, 100);
    EXPECT_EQ(svo_state, ISRIDLE);
    EXPECT_EQ(svo_off, 1);
    EXPECT_EQ(svo_err_x, 0);
    EXPECT_EQ(svo_prev_term_x, 0);
}

TEST_F(StartUp, LoadingGainsAlwaysClearsIntegratorsAndFeedForward)
{
    svo_integ_x = 55;
    svo_integ_y = -55;
    svo_prev_term_y = 3;
    servo_set_gains(200, 200, 1000, 1000, 32, 32, 0, 0, 64000, 32000);
    EXPECT_EQ(svo_integ_x, 0);
    EXPECT_EQ(svo_integ_y, 0);
    EXPECT_EQ(svo_prev_term_y, 0);
    EXPECT_EQ(svo_gains.ff_gain_x, 0);
    EXPECT_EQ(svo_gains.ff_gain_y, 0);
    EXPECT_EQ(svo_gains.XILimit, 64000);
}

TEST_F(StartUp, ParameterDumpLinesAreLabelledAndPadded)
{
    const std::string out = capture_stdout([&] { dump_machine_params(); });
    const std::string rule(64, '=');
    EXPECT_EQ(out.rfind(rule + "\n\r", 0), 0u);
    EXPECT_NE(out.find("    CurrentRomParam.MachParam.MaxDistance.X            = 89520; \n\r"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("    positionx                                          = 0; \n\r"),
              std::string::npos);
    EXPECT_NE(out.find("    ptCurrentFile->VectorSpeed                         = "
                       "500,500,500,500,500,500,500,500,500,500,500,500,500,500,500,500,500; \n\r"),
              std::string::npos);
    EXPECT_NE(out.find("    pLaserRasterParam->RasterMargin                    = 0,0,0,0,0; \n\r"),
              std::string::npos);
    EXPECT_EQ(out.find("RasterBuEngrave"), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 66), rule + "\n\r");
}

using StartUpDump = MachineTest;

TEST_F(StartUpDump, ShowsTheParametersAsTheyStandBeforeTheyAreSet)
{
    // With the start-up category on, the dump comes from the resolution
    // step, before the machine parameters and job defaults are set.
    dbg_set(DBG_VemtracDbg, true);
    CurrentRomParam = RomParamRecord{};
    const std::string out = capture_stdout([&] { InitHardwareScaleFactor(); });
    dbg_set(DBG_VemtracDbg, false);
    EXPECT_NE(out.find("T00000 ^^ varreso_Initial(3048,12192)\n\r"), std::string::npos) << out;
    EXPECT_NE(out.find("CurrentRomParam.MachParam.MaxDistance.X            = 0; \n\r"),
              std::string::npos);
    EXPECT_NE(out.find("T00000 ^^ servo_init(1,200,1000,200,1000)\n\r"), std::string::npos);
    reset_machine();
}

using DebugCategories = MachineTest;

TEST_F(DebugCategories, NamesAndBitsFollowTheCategoryNumbers)
{
    EXPECT_EQ(DBG_CATEGORY_COUNT, 75);
    EXPECT_STREQ(dbg_category_names[DBG_ShowJobTime], "ShowJobTime");
    EXPECT_STREQ(dbg_category_names[DBG_TempOn], "TempOn");
    EXPECT_EQ(dbg_category_by_name("SvoVdbCmd"), 67);
    EXPECT_EQ(dbg_category_by_name("svovdbcmd"), -1);

    const std::uint32_t saved[3] = {dbg_flags[0], dbg_flags[1], dbg_flags[2]};
    dbg_set(DBG_SendVdb, true);  // category 37: word 1, bit 5
    EXPECT_EQ(dbg_flags[1] & (1u << 5), 1u << 5);
    EXPECT_TRUE(dbg_enabled(37));
    std::memcpy(dbg_flags, saved, sizeof saved);
}

TEST_F(DebugCategories, EnablesANamedListAndReportsUnknownNames)
{
    const std::uint32_t saved[3] = {dbg_flags[0], dbg_flags[1], dbg_flags[2]};
    ::testing::internal::CaptureStderr();
    const int unknown = dbg_enable_list(" ShowJobTime , DeltaMove,,Bogus");
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(unknown, 1);
    EXPECT_TRUE(dbg_enabled(DBG_ShowJobTime));
    EXPECT_TRUE(dbg_enabled(DBG_DeltaMove));
    EXPECT_NE(err.find("\"Bogus\""), std::string::npos);
    std::memcpy(dbg_flags, saved, sizeof saved);
}

TEST_F(DebugCategories, GatedLinesCarryThePrefixAndCallLinesDoNot)
{
    const std::uint32_t saved[3] = {dbg_flags[0], dbg_flags[1], dbg_flags[2]};
    dbg_set(DBG_PbdFun, true);
    dbg_set(DBG_SvoVdbCmd, true);
    const std::string out = capture_stdout([&] {
        dbg_trace(DBG_PbdFun, "srvo_on_pu()\n\r");
        dbg_line(DBG_SvoVdbCmd, "    srvo_on_pu();\n\r");
        dbg_trace(DBG_DeltaMove, "not shown\n\r");
    });
    EXPECT_EQ(out, "T00000 srvo_on_pu()\n\r    srvo_on_pu();\n\r");
    std::memcpy(dbg_flags, saved, sizeof saved);
}
