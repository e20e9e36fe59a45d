// Where the ticks go: every record that reaches the queue carries the work
// it belongs to (cutting with a pen, pen-up travel, a raster image's passes,
// its line steps, the carriage moves of raster work), and while accounting
// is on the servo ticks keep a log of runs of ticks, one entry each time the
// work or the motion phase of the ticks changes. A tick belongs to the
// record the interrupt executes when it starts (an end delay to the record
// that ends with it) and to the phase the tick leaves.
//
// Accounting is off unless a caller switches it on; it never changes what
// the ticks compute.
#pragma once

#include <cstdint>
#include <vector>

struct VdbData;

enum WorkKind : std::uint8_t {
    WORK_CUT,              // a pen-down move; index = pen
    WORK_TRAVEL,           // a pen-up move
    WORK_RASTER_PASS,      // a raster pass of an image; index = image
    WORK_RASTER_LINE_STEP, // the step to the next raster line; index = image
    WORK_RASTER_CARRIAGE,  // a carriage move of the raster work
    WORK_OTHER,            // any other move kind
};
inline constexpr int WORK_KIND_COUNT = WORK_OTHER + 1;

// One kind of work of one entry of the job file.
struct WorkTag {
    std::uint8_t kind;          // WorkKind
    std::int32_t index;         // pen or image number; 0 for other kinds
    std::int32_t entry;         // entry of the job file that queued it (1 = first)
    std::uint32_t moves;        // VECTOR records queued
    double distance;            // length of those moves, plot-bed units
};

// A run of ticks of one work and one phase, from first_tick (the tick
// counter of its first tick) up to the next run's first tick.
struct TickRun {
    std::uint32_t first_tick;
    std::uint32_t work;   // index into works
    std::uint8_t phase;   // SvoPhase
};

struct TickAccountState {
    bool enabled = false;
    // What the records queued from now on belong to (the pen is the
    // machine's current pen).
    std::int32_t entry = 0;
    std::int32_t image = 0;   // images started so far
    std::uint32_t current = 0xFFFFFFFFu;  // works index of the last tag used
    std::vector<WorkTag> works;
    std::vector<TickRun> runs;
    // The work and phase of the last run logged.
    std::uint32_t run_work = 0xFFFFFFFFu;
    std::uint8_t run_phase = 0xFF;
    // The work of the last tick (an end delay's ticks stay with it).
    std::uint32_t tick_work = 0;
};
