// What each entry of the job file set in motion, kept while the ticks are
// accounted for a report: the keyword of every entry that queued records,
// and the head's moves (the VECTOR records each entry committed, in the
// order the interrupt executes them, as the queue's commit observer sees
// them), so that the job can be drawn as the head moves it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One VECTOR record as committed: the move in plot-bed units and the work
// its ticks are spent on (an index into tick_account_state.works).
struct HeadMove {
    std::int32_t dx;
    std::int32_t dy;
    std::uint32_t work;
    // What the work was when the record was committed (a report tallied as
    // the job runs drops finished work tags later): its entry, kind and pen
    // or image.
    std::int32_t entry;
    std::uint8_t kind;
    std::int32_t index;
};

// Where each committed move goes, with tallied reports, when a caller
// draws every move (the picture of a report keeps only what it shows).
using MoveSink = void (*)(const HeadMove& move, void* context);

// An entry of the job file that queued records.
struct MotionEntry {
    std::int32_t entry;   // 1 = first entry of the file
    std::string keyword;  // as the interpreter shows it
};

struct EntryLogState {
    bool enabled = false;
    // While the report is tallied as the job runs, each move goes to the
    // sink (when set) as it is committed and is not kept here.
    MoveSink move_sink = nullptr;
    void* move_context = nullptr;
    std::vector<MotionEntry> entries;
    std::vector<HeadMove> moves;
    // The head's plot-bed position when the job started.
    std::int32_t start_x = 0, start_y = 0;
    // Records committed so far, and when the last entry was noted.
    std::uint64_t committed = 0;
    std::uint64_t committed_at_last_note = 0;
};
