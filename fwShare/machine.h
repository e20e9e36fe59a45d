// The machine: every global of the firmware's motion control, and the
// routines of the firmware that work on them.
//
// The firmware keeps its state in process-wide records; here each module's
// records are one state struct (declared in the module's header, each
// member with its power-on value beside its unit), and the machine is made
// of all of them. A routine of the firmware is a member of the machine, so
// that inside it the firmware's names are the machine's members, found as
// the globals were; a routine that reads no global stays a free function in
// its module's header. Each thread that runs a job runs it on a machine of
// its own, and any number of machines run side by side.
//
// The estimator (replay/) and the job driver (job/) build on the machine
// by derivation; the machine reaches the estimator only through its seams
// (the tick runner, the corner-ramp solver, the memo of corner passes and
// the observers of committed records), which take the machine they run on.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "base/debug_trace.h"
#include "base/job_stop.h"
#include "base/platform.h"
#include "fwShare/machine_params.h"
#include "fwShare/param_dump.h"
#include "fwShare/pcl_position.h"
#include "fwShare/raster_lines.h"
#include "fwShare/raster_motion.h"
#include "fwShare/resolution.h"
#include "fwShare/vector_cutting.h"
#include "fwShare/servo/move_profile.h"
#include "fwShare/servo/move_queue.h"
#include "fwShare/servo/planner_dump.h"
#include "fwShare/servo/position_loop.h"
#include "fwShare/servo/servo_state.h"
#include "fwShare/servo/servo_ticks.h"
#include "fwShare/servo/speed_profiles.h"
#include "fwShare/servo/tick_clock.h"
#include "fwShare/servo/vector_exec.h"
#include "fwShare/servo/vector_planner.h"
#include "fwShare/servo/vector_queue.h"

struct Machine : DebugTrace,
                 JobStop,
                 TickClockState,
                 ServoIsrState,
                 ServoTicksState,
                 VectorQueueState,
                 VectorExecState,
                 MoveProfileState,
                 SpeedProfileState,
                 VectorPlannerState,
                 PlannerDumpState,
                 ResolutionState,
                 MachineParamState,
                 VectorCuttingState,
                 PclPositionState,
                 RasterGraphicsState,
                 RasterMotionState {
    Machine() = default;
    // The records point into the machine (the rings, the current record):
    // a machine stays where it was made.
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // The records of the job's settings by their firmware names.
    CurrentFileRecord* const ptCurrentFile = &current_file;
    MsDirectiveRecord* const pMsDirective = &ms_directive;
    MsPlotbedRecord* const pMsPlotbed = &ms_plotbed;
    LaserVectorParamRecord* const pLaserVectorParam = &laser_vector_param;
    LaserRasterParamRecord* const pLaserRasterParam = &laser_raster_param;

    // The machine's one lock: held across each run of ticks and while the
    // main thread loads servo gains, so that the gains change between two
    // ticks.
    platform::Lock isr_lock;

    // Each module's reset puts its state back to its power-on values.
    void tick_clock_reset() { static_cast<TickClockState&>(*this) = TickClockState{}; }
    void servo_isr_reset() { static_cast<ServoIsrState&>(*this) = ServoIsrState{}; }
    void servo_ticks_reset() { static_cast<ServoTicksState&>(*this) = ServoTicksState{}; }
    void vector_queue_reset() { static_cast<VectorQueueState&>(*this) = VectorQueueState{}; }
    void svo_exec_reset() { static_cast<VectorExecState&>(*this) = VectorExecState{}; }
    void move_queue_reset() { static_cast<MoveProfileState&>(*this) = MoveProfileState{}; }
    void speed_profiles_reset() { static_cast<SpeedProfileState&>(*this) = SpeedProfileState{}; }
    void vector_planner_reset()
    {
        static_cast<VectorPlannerState&>(*this) = VectorPlannerState{};
    }
    void planner_dump_reset() { static_cast<PlannerDumpState&>(*this) = PlannerDumpState{}; }
    void resolution_reset() { static_cast<ResolutionState&>(*this) = ResolutionState{}; }
    void machine_params_reset() { static_cast<MachineParamState&>(*this) = MachineParamState{}; }
    void vector_cutting_reset()
    {
        static_cast<VectorCuttingState&>(*this) = VectorCuttingState{};
    }
    void pcl_position_reset() { static_cast<PclPositionState&>(*this) = PclPositionState{}; }
    void raster_graphics_reset()
    {
        static_cast<RasterGraphicsState&>(*this) = RasterGraphicsState{};
    }
    void raster_motion_reset() { static_cast<RasterMotionState&>(*this) = RasterMotionState{}; }

    // --- Resolutions (fwShare/resolution.h) ---

    // Fills both resolution sets and every derived factor (start-up).
    void varreso_Initial();
    // Derives the scale factors from the two resolution sets.
    void varreso_Compute();

    // --- Start-up (fwShare/start_up.cpp) and the parameter dump ---

    // Machine start-up: resolutions, parameters, queues, servo loop and default profiles.
    void InitHardwareScaleFactor();
    // Prints every machine parameter and job setting (start-up trace "VemtracDbg").
    void dump_machine_params();

    // --- The servo interrupt (fwShare/servo/servo_state.h) ---

    // One servo tick: the position loop, then the current state's handler.
    void svo_isr();
    // The handler of the current motion state (the second part of every tick).
    void svo_dispatch_state();
    // The state handlers of the hold, end delay and idle states.
    void svo_isr_hold();
    // One end-delay tick: counts the delay down, then back to ISRHOLD.
    void svo_isr_delay();
    // Idle: the position takes up the following error; a record left is freed.
    void svo_isr_idle();
    // The two-axis position loop alone (the first part of every tick).
    void svo_feedback_loop();
    // Encoder readings derived from the commanded position.
    std::int32_t svo_encoder_x() const;
    // The Y encoder reading (it counts the other way).
    std::int32_t svo_encoder_y() const;
    // The one way svo_state changes; moves the job clock's marks.
    void svo_set_state(std::int16_t new_state);
    // Counts a hold tick; after 250 without a vector the standstill gains apply.
    void svo_hold_tick();

    // The position loop's settings and memory, loaded into registers for a
    // run of ticks and stored back after it.
    svo_loop::LoopSettings load_loop_settings() const
    {
        const SvoGains& g = svo_gains;
        return {{enc_base_x, enc_scale_x, enc_to_err_x, svo_reso_native_x, svo_reso_x},
                {enc_base_y, enc_scale_y, enc_to_err_y, svo_reso_native_y, svo_reso_y},
                {g.XRateFactor, g.XILimit, g.K3X, g.XIGain, g.ff_gain_x},
                {g.YRateFactor, g.YILimit, g.K3Y, g.YIGain, g.ff_gain_y}};
    }
    svo_loop::LoopMemory load_loop_memory() const
    {
        return {{svo_err_frac_x, enc_x, enc_last_x, svo_integ_x, svo_prev_term_x},
                {svo_err_frac_y, enc_y, enc_last_y, svo_integ_y, svo_prev_term_y},
                svo_gain_x,
                svo_gain_y};
    }
    void store_loop_memory(const svo_loop::LoopMemory& m)
    {
        svo_err_frac_x = m.x.err_frac;
        enc_x = m.x.enc;
        enc_last_x = m.x.enc_last;
        svo_integ_x = m.x.integ;
        svo_prev_term_x = m.x.prev_term;
        svo_err_frac_y = m.y.err_frac;
        enc_y = m.y.enc;
        enc_last_y = m.y.enc_last;
        svo_integ_y = m.y.integ;
        svo_prev_term_y = m.y.prev_term;
        svo_gain_x = m.gain_x;
        svo_gain_y = m.gain_y;
    }
    // What the loop reads of the motion: the commanded position, the last step, the gains.
    svo_loop::LoopInputs loop_inputs() const
    {
        return {svo_pos_x, svo_pos_y, svo_step_x, svo_step_y, svo_gain_base_x, svo_gain_base_y};
    }
    // One tick of the position loop on both axes (fwShare/servo/position_loop.h):
    // the gains by position, each axis's loop, and the motor command words.
    [[gnu::always_inline]] void feedback_loop(const svo_loop::AxisScales& kx,
                                              const svo_loop::AxisScales& ky,
                                              const svo_loop::LoopSettings& c,
                                              svo_loop::LoopMemory& m,
                                              const svo_loop::LoopInputs& in,
                                              std::int16_t& err_x, std::int16_t& err_y)
    {
        using namespace svo_loop;
        m.gain_x = gain_by_position(in.gain_base_x, in.pos_x);
        m.gain_y = gain_by_position(in.gain_base_y, in.pos_x);
        const std::int32_t out_x =
            run_axis<false>(kx, c.x, m.x, in.pos_x, err_x, m.gain_x, in.step_x);
        const std::int32_t out_y =
            run_axis<true>(ky, c.y, m.y, in.pos_y, err_y, m.gain_y, in.step_y);
        if (svo_off == 0) {
            svo_out_x = encode_out_x(out_x);
            svo_out_y = encode_out_y(out_y);
        } else {
            // A switched-off loop keeps its output words and drops its integrators.
            m.x.integ = 0;
            m.y.integ = 0;
        }
    }

    // --- Vector execution (fwShare/servo/vector_exec.h) ---

    // One acceleration tick, or the slew tick when the ramp is over.
    void svo_isr_acc();
    // One slew tick, or a deceleration tick when the stopping distance is reached.
    void svo_isr_slew();
    // One deceleration tick, or the creep tick when the speed is down.
    void svo_dcc_step();
    // One creep tick, or the vector's last step and the release of its record.
    void svo_isr_creep();
    // Applies a moving tick's step, taking the corner into the next record when it may.
    void svo_emit_step(std::int32_t major_step, std::int32_t minor_step);
    // Adds a major step a and a minor step b in the record's octant to the
    // commanded position and the following errors, and records the step.
    void svo_octant_move(std::uint8_t octant, std::int32_t a, std::int32_t b);

    // Whether too many records wait behind the executing one: the waits poll
    // more than 100 times for a free record. A slew tick then prints the
    // distance and brakes at once.
    bool svo_queue_crowded() const { return m_npbdrvCnt > 100; }
    // Whether the long-vector warning was printed for this record already.
    bool svo_long_vector_warning_given(const VdbData* r) const
    {
        return warned_record == r && warned_alloc_tick == r->alloc_tick;
    }
    // The corner distance a record carries past its end while corners chain.
    std::int32_t svo_corner_extra(const VdbData* r) const
    {
        return corner_chain_enable != 0 ? static_cast<std::int32_t>(r->psuedodist) : 0;
    }
    // Whether a step that leaves majrdisth counts of the record takes the
    // corner into the next record.
    bool svo_corner_due(const VdbData* r, std::int32_t majrdisth) const
    {
        return corner_chain_enable != 0 && r->cnrvel != 0 && majrdisth <= 0;
    }

    // --- The ticks and the waits (fwShare/servo/servo_ticks.h) ---

    // Waits until the servo interrupt has no record left (SVO_VectPtr null),
    // then recomputes positionx and positiony from the commanded position.
    void svo_wait_idle();
    // Waits for idle, then switches the loop off and enters ISRIDLE.
    void svo_set_idle();
    // Waits until the interrupt has freed rec. False when it never can.
    bool svo_wait_record_free(const VdbData* rec);
    // Why the job could not go on (empty while it can).
    const char* servo_ticks_abort_reason() const { return job_abort_reason; }
    // Keeps why a tick runner stopped a wait (said when the wait gives up).
    void svo_set_abort_reason(const char* reason);

    // Counts one tick in the job clock: the phase the last tick left.
    [[gnu::always_inline]] void svo_count_tick()
    {
        svo_tick_count = static_cast<std::int32_t>(static_cast<std::uint32_t>(svo_tick_count) + 1u);
        if (job_timing_state != JOB_CLOCK_OFF) {
            phase_tick_count[phase] =
                static_cast<std::int32_t>(static_cast<std::uint32_t>(phase_tick_count[phase]) + 1u);
        }
    }
    // Whether a wait's condition holds: wait_rec free, or with wait_rec null
    // no record left to execute.
    bool svo_wait_over(const VdbData* wait_rec) const
    {
        return wait_rec != nullptr ? wait_rec->cmd == NULL_CMD : SVO_VectPtr == nullptr;
    }
    // Whether no record can run: none to execute, or one being committed.
    bool svo_ticks_stuck() const { return SVO_VectPtr == nullptr || isr_holdoff != 0; }

    // --- Servo gains (the loop's start at power-on and each pen's gains) ---

    // Initialises the servo loop: mode 0 ends idle and switched off, mode 1 ready in ISRHOLD.
    void servo_init(std::uint8_t mode, std::int16_t gain_x, std::int16_t gain_y);
    // Loads the loop gains of a speed code once motion has stopped, under the
    // lock, and clears the integrators and the error terms.
    void servo_set_gains(std::int16_t XGain, std::int16_t YGain, std::int16_t XRateFactor,
                         std::int16_t YRateFactor, std::int16_t XIGain, std::int16_t YIGain,
                         std::int16_t K3X, std::int16_t K3Y, std::int32_t XILimit,
                         std::int32_t YILimit);

    // --- The vector queue (fwShare/servo/vector_queue.h) ---

    // The one way the current record changes: the interrupt takes rec (the
    // next record, or null when it has none left).
    void SVO_SetVectPtr(VdbData* rec) { SVO_VectPtr = rec; }
    // Empties the online queue and links its ring (start-up).
    void servo_online_comrst();
    // Empties the offline queue and links its ring (start-up).
    void servo_offline_comrst();
    // Adds an observer of committed records (once; false when all places are taken).
    bool vdb_add_commit_observer(VdbCommitObserver observer);

    // Hands out the record at freeptr, waiting while the interrupt still uses
    // it. Returns null only when that record can never become free (the job
    // then ends).
    VdbData* getfreevdb();
    // Commits a record; starts an idle interrupt on it while the servo is on line.
    void sendvdb(VdbData* rec);
    // Queues a pen-up record: the following moves use the pen-up profile.
    void srvo_on_pu();
    // Queues a pen-down record: the following moves use the pen-down profile.
    void srvo_on_pd();
    // Queues a move-kind record: the following moves use the profile of kind.
    void srvo_on_raster_move(std::int32_t kind);

    // --- Speed profiles, the move routine, the planner ---

    // Builds the profile of a move kind from a speed (plot-bed units/s) and an acceleration code.
    void setup_plotbed_speeds(std::int32_t kind, std::uint32_t speed, std::int32_t acc);
    // Reshapes the loaded pen-up profile for a move of travel_mm millimetres.
    void reshape_pen_up_profile(const PenUpShape& shape, std::int32_t travel_mm);
    // Queues the move (dx, dy) in plot-bed units; a zero move queues nothing.
    void srvo_on_ve(std::int32_t dx, std::int32_t dy);
    // Plans the move (dx, dy), plot-bed units, not both 0, into rec, a record
    // just handed out and not yet committed.
    void _delta_move(std::int32_t dx, std::int32_t dy, VdbData* rec);

    // Prints a record's header line, and all its fields for a VECTOR.
    void dump_vdb(const VdbData* rec);
    // Prints the 31 motion fields of a VECTOR record.
    void dump_vdb_fields(const VdbData* rec);
    // Prints the planning globals and the queue pointers.
    void dump_servo_globals();

    // --- Vector cutting (fwShare/vector_cutting.h) ---

    // Starts vector cutting with the current pen: velocities, creep, gains, delays, profiles.
    void HandleStartVectorCutting();
    // Maximum velocities, creep settings, gains and end delays of the pen's speed code.
    void lsrinp_SetVectParam();
    // Sets the maximum velocities (inches per second) and accelerations.
    void lsrinp_SetMaxVelocity(double x_ips, double y_ips);
    // Builds the pen-up and pen-down profiles of the current pen.
    void lsrinp_SetVectSpeed();
    // Raises the pen (queues a pen-up record) if it is down.
    void penupout();
    // Lowers the pen (queues a pen-down record) if it is up.
    void pendnout();
    // Selects a pen (0..16): raises the pen and starts vector cutting with it.
    void execute_penselect(std::int32_t pen);
    // Switches to vector work: the head goes to the PCL cursor, cutting restarts.
    void HandleToHpglMode();

    // --- Positions (fwShare/pcl_position.h) ---

    // Takes the head position as the new PCL cursor (switch from HPGL to PCL).
    void HandleHpglToPclPosition();
    // Turns a PCL-frame position into absolute dots and lines.
    void lsr_TransPlotbedtoPCL(std::uint16_t dpi, std::uint16_t unit, std::int32_t x,
                               std::int32_t y);

    // --- Raster graphics (fwShare/raster_lines.h, fwShare/raster_motion.h) ---

    // Starts an image: raster servo settings, placement, pass planning, carriage move.
    void HandleStartRasterGraphics();
    // Ends an image: the PCL cursor moves down (or up) by its height.
    void HandleEndRasterGraphics();
    // One raster line: a pass, then the Y step, each run to rest.
    void RasterLineOut();
    // Chooses the Y step table for an image at unit lines per inch starting at
    // PCL Y pos, and the table index of its first line. The machine's routine
    // returns 0, which no caller reads.
    std::int32_t SetRasterDistance(std::uint16_t unit, std::int32_t pos);
    // Encoder margins and middle of the image about to start.
    void HandleRasterMargin();
    // Acceleration allowance, pass length, step table and the four raster profiles.
    void HandleRasterMoving();
    // Distance in plot-bed units a pass needs to reach the raster speed.
    std::uint16_t CalAccelDistance();
    // Margin factor at a raster speed, interpolated over the margin table.
    std::int32_t lsr_MarginFactor(std::int32_t speed) const;
    // Direction of the first pass and the carriage move to its start (PCL frame).
    void HandleCarriagePosition(std::int32_t x, std::int32_t y);
    // Moves the carriage to (x, y) in the PCL frame: in one move or Y first, then X.
    void lsr_RasterCarriageMove(std::int32_t x, std::int32_t y);

private:
    // The helpers of each module's routines, by the file that holds them.

    // fwShare/start_up.cpp
    void set_machine_params();
    void init_laser_param_defaults();
    void init_motion_defaults();
    void init_speed_profiles();

    // fwShare/param_dump.cpp
    void rule();
    void group_end();
    void value_line(const char* label, std::int32_t value);
    void value_lines(const char* prefix, std::initializer_list<NamedValue> members);
    template <typename T>
    void list_line(const char* label, const T* values, int count);
    void dump_positions();
    void dump_mach_params(const MachParamRecord& m);
    void dump_servo_vector(const ServoVectorParam& s);
    void dump_directives();
    void dump_current_file(const CurrentFileRecord& f);

    // fwShare/servo/vector_exec.cpp
    void note_long_vector_warning(const VdbData* r);
    void move_axes(std::int32_t dx, std::int32_t dy);
    void print_slew_distance(std::int32_t rem, const VdbData* r);
    void continue_past_corner(VdbData* rec, VdbData* nxt, std::int32_t m, std::int32_t n);
    void take_corner(VdbData* rec, std::int32_t m, std::int32_t n);
    void emit_step(std::int32_t m, std::int32_t n);

    // fwShare/servo/servo_ticks.cpp
    SvoRunEnd ticks_one_by_one(const VdbData* wait_rec);
    void report_wait_failure(SvoRunEnd end);
    bool wait_for(TickWait wait, const VdbData* rec);

    // fwShare/servo/vector_send.cpp
    void queue_simple_record(std::uint8_t kind, std::int32_t vel_type);

    // fwShare/servo/move_queue.cpp
    std::int32_t travel_mm(std::int32_t dx, std::int32_t dy) const;
    void load_profile(const VelAccelEntry& e);

    // fwShare/servo/planner_dump.cpp
    void field(const char* label, std::int32_t value);
    void scaled(const char* label, std::uint32_t value, double scale);
    void global(const char* label, std::int32_t value);
    void global_u16(const char* label, std::uint16_t value);
    void global_ptr(const char* label, const void* ptr);

    // fwShare/servo/vector_planner.cpp
    void angle_smooth(VdbData* rec, std::int32_t traced_prev, std::uint32_t rel);
    void corner_ramp(const VdbData* p2, std::uint16_t h, std::uint32_t* steps,
                     std::uint32_t* dist);
    int corner_pass(VdbData* rec, VdbData** last_changed);
    const CornerPassMemo* corner_pass_memo_to_ask(const VdbData* rec);
    int remembered_corner_pass(VdbData* rec, VdbData** last_changed);
    void plan_octant_and_distances(std::int32_t dx, std::int32_t dy, VdbData* rec);
    void plan_velocities(VdbData* rec, std::uint32_t a, bool diagonal);
    void plan_top_speed(VdbData* rec, std::uint32_t a);
    std::uint32_t plan_joint(VdbData* rec, std::int32_t* traced_prev);

    // fwShare/raster_graphics.cpp, fwShare/raster_lines.cpp, fwShare/raster_motion.cpp
    bool image_resolutions_set();
    void place_image();
    const std::int32_t* spread_steps_for_unit(std::int32_t unit);
    void head_in_pcl_frame(std::int32_t* cx, std::int32_t* cy) const;
};
