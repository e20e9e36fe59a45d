#include "machine_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

#include "app/command_file.h"
#include "app/debug_trace.h"
#include "app/job_clock.h"
#include "app/tick_thread.h"
#include "fwShare/machine_params.h"
#include "fwShare/pcl_position.h"
#include "fwShare/raster_graphics.h"
#include "fwShare/raster_motion.h"
#include "fwShare/servo/move_queue.h"
#include "fwShare/servo/planner_dump.h"
#include "fwShare/servo/servo_isr.h"
#include "fwShare/servo/speed_profiles.h"
#include "fwShare/servo/vector_planner.h"
#include "fwShare/servo/vector_queue.h"
#include "fwShare/vector_cutting.h"

namespace fs = std::filesystem;

void reset_machine()
{
    dbg_flags[0] = 0x1Fu;
    dbg_flags[1] = 0;
    dbg_flags[2] = 0;
    dbg_set(DBG_Event, false);

    job_done = 0;
    job_abort = 0;
    positionx = 0;
    positiony = 0;
    svo_tick_count = 0;
    for (std::int32_t& c : phase_tick_count) {
        c = 0;
    }
    job_timing_state = 0;
    job_start_tick = 0;
    job_end_tick = 0;

    CurrentRomParam = RomParamRecord{};
    *ptCurrentFile = CurrentFileRecord{};
    *pMsDirective = MsDirectiveRecord{};
    *pMsPlotbed = MsPlotbedRecord{};
    *pLaserVectorParam = LaserVectorParamRecord{};
    *pLaserRasterParam = LaserRasterParamRecord{};
    hard_min = PointXY{};
    hard_max = PointXY{};

    pcl_pos = PclPosition{};
    abs_x = 0;
    abs_y = 0;
    lsr_lang_mode = 2;
    raster_distance = 0;
    raster_backward = 0;
    raster_step_table = nullptr;
    rasterindicator = 0;
    RasterIndicatorY = 0;
    raster_accel_dist = 0;
    margin_l = margin_r = margin_mid = margin_base = 0;

    svo_state = ISRIDLE;
    phase = IDLE;
    svo_gains = SvoGains{0, 0, 1000, 1000, 32, 32, 0, 0, 64000, 32000, 20, 5};
    svo_pos_x = svo_pos_y = 0;
    svo_err_x = svo_err_y = 0;
    svo_err_frac_x = svo_err_frac_y = 0;
    svo_step_x = svo_step_y = 0;
    enc_x = enc_y = enc_last_x = enc_last_y = 0;
    svo_integ_x = svo_integ_y = 0;
    svo_prev_term_x = svo_prev_term_y = 0;
    svo_gain_x = svo_gain_y = 0;
    svo_out_x = svo_out_y = 0;
    delay_count = 0;
    End_Delay_1 = End_Delay_2 = End_Delay_3 = 0;

    SVO_VectPtr = nullptr;
    stopptr = nullptr;
    m_npbdrvCnt = 0;
    isr_holdoff = 0;
    for (VelAccelEntry& e : VelAccelPool) {
        e = VelAccelEntry{};
    }
    boundary_speed = 0;
    factor_num = 0;
    min_corner_vel = 0;
    pVelAccelPointer = nullptr;
    diag_vel = pbdAxiaVel = pbdAccel = pbdSps = LowSpeed = 0;
    vect_count = 0;
    vdb_dump_flags = 0;

    capture_stdout([] { InitHardwareScaleFactor(); });
}

int run_ticks_until_idle(int max_ticks)
{
    int ticks = 0;
    while (SVO_VectPtr != nullptr && ticks < max_ticks) {
        ++svo_tick_count;
        if (job_timing_state != 0) {
            ++phase_tick_count[phase];
        }
        svo_isr();
        ++ticks;
    }
    return ticks;
}

namespace {

std::string read_all(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

} // namespace

JobFolder::JobFolder()
{
    static int serial = 0;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name()
                                       : "job";
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    fs::path dir = fs::temp_directory_path() /
                   ("vemtrac-test-" + std::to_string(::getpid()) + "-" + std::to_string(serial++) +
                    "-" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    path_ = dir.string();
    fs::copy_file(VEMTRAC_BINARY, dir / "vemtrac", fs::copy_options::overwrite_existing);
}

JobFolder::~JobFolder()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void JobFolder::write_job(const std::string& text) const
{
    write_file("Vemtrac.cmd", text);
}

void JobFolder::write_file(const std::string& name, const std::string& bytes) const
{
    std::ofstream out(fs::path(path_) / name, std::ios::binary);
    out << bytes;
}

bool JobFolder::has_file(const std::string& name) const
{
    return fs::exists(fs::path(path_) / name);
}

std::string JobFolder::read_file(const std::string& name) const
{
    return read_all(fs::path(path_) / name);
}

int JobFolder::run(const std::string& env)
{
    const fs::path dir(path_);
    const std::string command = "cd '" + path_ + "' && " + env + " '" + (dir / "vemtrac").string() +
                                "' >stdout.txt 2>stderr.txt";
    int status = std::system(command.c_str());
    stdout_text = read_all(dir / "stdout.txt");
    stderr_text = read_all(dir / "stderr.txt");
    return WEXITSTATUS(status);
}

std::vector<std::string> status_lines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find("\r\n\r", start);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(start));
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 3;
    }
    return lines;
}
