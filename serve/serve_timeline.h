// The timeline answer of the estimate service: what it keeps of a job while
// the job runs (each entry's span of machine time and, for the page, each
// move of the head), kept compact and counted against the request's memory
// budget, and the text of the answer (CSV, or JSON with the moves) made
// piece by piece as it is sent, so that it is never held whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/job_stop.h"
#include "job/entry_log.h"
#include "job/report_tally.h"
#include "report/job_report.h"

// Items kept in blocks of a fixed size: growing never copies what is kept
// (a vector that doubles would hold three times its items for a moment),
// and the bytes held are those counted.
template <class Item> class Blocks {
public:
    static constexpr std::size_t per_block = 16384;

    // Adds an item at the end.
    void push(const Item& item)
    {
        if (size_ == blocks_.size() * per_block) {
            blocks_.push_back(std::make_unique_for_overwrite<Item[]>(per_block));
        }
        blocks_[size_ / per_block][size_ % per_block] = item;
        ++size_;
    }
    const Item& operator[](std::size_t i) const { return blocks_[i / per_block][i % per_block]; }
    std::size_t size() const { return size_; }
    // The bytes the blocks hold, and the bytes a block more would add.
    std::size_t bytes() const { return blocks_.size() * block_bytes; }
    static constexpr std::size_t block_bytes = per_block * sizeof(Item);
    // Gives the blocks wholly before item i back (an answer already sent).
    void release_before(std::size_t i)
    {
        for (std::size_t b = 0; b < i / per_block && b < blocks_.size(); ++b) {
            blocks_[b].reset();
        }
    }
    void clear()
    {
        blocks_.clear();
        size_ = 0;
    }

private:
    std::vector<std::unique_ptr<Item[]>> blocks_;
    std::size_t size_ = 0;
};

// The entries a timeline answer covers, both included (all by default).
struct EntryWindow {
    std::int32_t first = INT32_MIN;
    std::int32_t last = INT32_MAX;
    bool holds(std::int32_t entry) const { return entry >= first && entry <= last; }
};

// The rows and moves of one job as it runs, within a number of bytes.
class TimelineKeep {
public:
    TimelineKeep(std::size_t budget_bytes, bool with_moves, EntryWindow window)
        : budget_(budget_bytes), with_moves_(with_moves), window_(window)
    {
    }

    // The sinks the job run hands each finished row and committed move to
    // (context: the TimelineKeep).
    static void keep_row(const TimelineRow& row, void* context);
    static void keep_move(const HeadMove& move, void* context);

    // The job the sinks keep for runs on this machine: it is stopped when
    // what it makes goes over the budget.
    void run_on(JobStop& job) { job_ = &job; }

    bool with_moves() const { return with_moves_; }
    // True when what the job made did not fit the budget (nothing is kept).
    bool over_budget() const { return over_; }
    std::size_t budget() const { return budget_; }
    // Takes bytes the request holds besides from the budget (a design's
    // job beyond the design's own bytes).
    void hold_back(std::size_t bytes) { budget_ = budget_ > bytes ? budget_ - bytes : 0; }

    // The head's position when the job started, plot-bed units.
    std::int32_t start_x = 0, start_y = 0;

private:
    friend class TimelineText;

    // A row: its entry, its keyword (an index into keywords_), its span, ms.
    struct Row {
        std::int32_t entry;
        std::uint32_t keyword;
        std::uint64_t start_ms;
        std::uint64_t end_ms;
    };
    // A move: plot-bed units, the entry that queued it, and its work (an
    // index into works_: kind and pen or image); or with gap_work the moves
    // outside the window since the last one kept, which only carry the head.
    static constexpr std::uint32_t gap_work = UINT32_MAX;
    struct Move {
        std::int32_t dx, dy;
        std::int32_t entry;
        std::uint32_t work;
    };

    // True while one more block fits the budget; past it, forgets all.
    bool room_for(std::size_t block_bytes);
    std::uint32_t keyword_index(const std::string& keyword);
    std::uint32_t work_index(std::uint8_t kind, std::int32_t index);

    std::size_t budget_;
    bool with_moves_;
    EntryWindow window_;
    JobStop* job_ = nullptr;
    bool over_ = false;
    std::size_t table_bytes_ = 0;           // what the keywords and works take, roughly
    std::int64_t gap_dx_ = 0, gap_dy_ = 0;  // moves left out since the last one kept
    Blocks<Row> rows_;
    Blocks<Move> moves_;
    std::vector<std::string> keywords_;
    std::unordered_map<std::string, std::uint32_t> keyword_of_;
    std::vector<std::pair<std::uint8_t, std::int32_t>> works_;
};

// The text of a timeline answer, made a piece at a time.
class TimelineText {
public:
    // The CSV of the rows; or the JSON the page draws: head holds the
    // document's fields before the rows (an object's text without its
    // closing brace), report the job's report.
    static std::unique_ptr<TimelineText> csv(std::shared_ptr<TimelineKeep> keep);
    static std::unique_ptr<TimelineText> json(std::shared_ptr<TimelineKeep> keep, std::string head,
                                              const JobReport& report);

    // Appends the next piece of about piece_bytes to out; false when all
    // has been given.
    bool next(std::string* out);
    static constexpr std::size_t piece_bytes = 64 * 1024;

private:
    enum class Part { head, rows, between, moves, tail, done };
    TimelineText(std::shared_ptr<TimelineKeep> keep, bool json)
        : keep_(std::move(keep)), json_(json)
    {
    }
    void append_row(std::string* out, std::size_t i) const;
    void append_move(std::string* out, std::size_t i);

    std::shared_ptr<TimelineKeep> keep_;
    bool json_;
    std::string head_;
    Part part_ = Part::head;
    std::size_t at_ = 0;
    std::int64_t x_ = 0, y_ = 0;  // the head before the next move
    bool first_move_ = true;
    std::vector<std::uint32_t> activity_of_work_;  // the report's activity of each work
    std::vector<std::string> keyword_json_;        // each keyword as a JSON string
};
