// The vector record and the vector queue.
//
// Every motion reaches the servo interrupt as a vector record in a fixed
// ring of 20. The main thread is the only producer (hand out, fill, commit),
// the servo interrupt the only consumer (execute, free, follow next). A
// record is free exactly when its cmd is NULL_CMD.
#pragma once

#include <cstdint>

struct Machine;


enum VdbCmd : std::uint8_t {
    NULL_CMD, SHORT_PEN_UP, SHORT_PEN_DOWN, VECTOR, PEN_UP_CAL, LONG_PEN_UP, LONG_PEN_DOWN,
    STEPPER_MOVE, FIND_INDEX, CHECK_TURRET, SOFTLANDING_PEN_DOWN, TPH_UP_VECTOR,
    TPH_DN_VECTOR, PLAN_MOVE
};
inline constexpr int VDB_CMD_COUNT = PLAN_MOVE + 1;

// Velocities are servo counts per tick with 23 fraction bits; distances are
// servo counts.
struct VdbData {
    VdbData* next;               // ring link, fixed by the queue reset
    VdbData* prev;
    std::uint8_t cmd;            // command kind in the low 5 bits; 0 = free
    std::uint8_t octant;         // bit 0: Y major, bit 1: dx < 0, bit 2: dy < 0
    std::uint8_t vdb_index;      // 0..19 online pool, 20..39 offline pool
    std::uint32_t alloc_tick;    // svo_tick_count at hand-out
    std::uint8_t sent_cmd;       // kind as committed
    std::uint16_t slope;         // minor / major distance, 0.16; 0xFFFF when equal
    std::int32_t majrdisth;      // major-axis distance left, counts
    std::uint32_t majrfract;     // major-axis fraction accumulator (23 bits)
    std::int32_t minrdisth;      // minor-axis distance left, counts
    std::uint32_t minrfract;     // minor-axis fraction accumulator (23 bits)
    std::uint16_t acclcount;     // acceleration steps up to the top speed
    std::uint16_t currvel;       // acceleration steps taken (velocity index)
    std::uint32_t minrdvel;      // minor-axis velocity change per step
    std::uint32_t minrdvel_fract;
    std::uint32_t minrvel;       // minor-axis velocity
    std::uint32_t minrvel_fract;
    std::uint32_t majrdvel;      // major-axis velocity change per step (pbdAccel << 9)
    std::uint32_t majrvel;       // major-axis velocity
    std::uint32_t creep;         // creep velocity, 4 fraction bits
    std::uint16_t angle;         // direction of travel, whole degrees 0..360
    std::uint16_t relativeAngle; // turn from the previous vector, degrees 0..180
    std::uint32_t anglediff;     // smoothed turn angle, 16.16 degrees
    std::uint16_t cnrvel;        // corner velocity at the end, acceleration steps
    std::uint32_t psuedodist;    // braking distance carried past the end, counts
    std::uint32_t ddr;           // stopping distance D, low word (2^-16 counts)
    std::uint32_t high_ddr;      // stopping distance D, high word
    std::uint16_t end_delay;     // ticks to wait after this record
    std::uint8_t xcrash;
    std::uint8_t ycrash;
    std::int32_t dx;             // the move, plot-bed units
    std::int32_t dy;
    std::int32_t acc_index;      // acceleration ticks up to 20; 21 = doubled
    std::int32_t smoothCnt;      // how often later planning raised cnrvel
    std::int32_t smoothLoop1;    // records blended by the angle smoothing
    std::int32_t smoothLoop2;    // records raised by the corner pass
    std::int32_t vectIdx;
    // The estimator's own, not the machine's: what the record's ticks are
    // spent on (an index into the tick log's works; 0 unless accounted).
    std::uint32_t work;
};

// Told of each record the queue commits, before the interrupt may take it.
using VdbCommitObserver = void (*)(Machine& m, VdbData* rec);
inline constexpr int VDB_COMMIT_OBSERVERS = 4;

inline constexpr int VDB_POOL_SIZE = 20;

// The two record rings and the queue's pointers and flags, with their
// power-on values (the queue reset at start-up links the rings).
struct VectorQueueState {
    VdbData vdb_pool[VDB_POOL_SIZE] = {};          // the online queue
    VdbData vdb_offline_pool[VDB_POOL_SIZE] = {};  // the offline queue (only reset)
    VdbData* freeptr = nullptr;          // next record to hand out
    VdbData* SVO_VectPtr = nullptr;      // record the interrupt executes; null when idle
    VdbData* autoptr = nullptr;          // restart record; stays null here
    VdbData* stopptr = nullptr;          // stop record; stays null here
    VdbData* offline_freeptr = nullptr;  // first record of the offline queue
    std::int32_t pipeflag = 0;    // 1: a commit to an idle queue starts execution
    std::int32_t pbdVelType = 0;  // move kind of the moves queued from now on
    std::uint8_t null_vector = 0;
    std::int32_t save_real_pen_pos_is_down = 0;
    std::int32_t m_npbdrvCnt = 0;  // polls in the current wait for a free record
    std::int32_t isr_holdoff = 0;  // 1 while a vector record is being committed
    // The seam through which the estimator learns of committed records:
    // the observers, the first commit_observer_count places taken.
    VdbCommitObserver commit_observers[VDB_COMMIT_OBSERVERS] = {};
    int commit_observer_count = 0;
};

// Short name of a command kind as traces and dumps print it.
const char* vdb_cmd_name(unsigned kind);

// The record's command kind (low 5 bits of cmd).
inline std::uint32_t vdb_kind(const VdbData* rec)
{
    return rec->cmd & 0x1Fu;
}
