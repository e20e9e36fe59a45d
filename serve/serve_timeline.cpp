#include "serve/serve_timeline.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

#include <nlohmann/json.hpp>

#include "base/job_stop.h"
#include "fwShare/resolution.h"
#include "report/timeline_csv.h"

namespace {

// Plot-bed units per millimetre, for the moves the page draws.
constexpr double plotbed_per_mm = machine_plotbed_dpi / 25.4;

// What a keyword or a work costs in its tables besides its own bytes: the
// hash node, the bucket and the string (an estimate on the safe side).
constexpr std::size_t table_entry_bytes = 96;

// Appends a whole number.
template <class Number> void append_number(std::string* out, Number n)
{
    char text[24];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, n);
    out->append(text, end);
}

// Appends plot-bed units as millimetres to 0.01, as JSON writes a double
// (a whole number with ".0").
void append_mm(std::string* out, std::int64_t units)
{
    const double mm = std::round(static_cast<double>(units) / plotbed_per_mm * 100.0) / 100.0;
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, mm);
    out->append(text, end);
    if (std::find_if(text, end, [](char c) { return c == '.' || c == 'e'; }) == end) {
        out->append(".0");
    }
}

}  // namespace

bool TimelineKeep::room_for(std::size_t block_bytes)
{
    if (!over_ && rows_.bytes() + moves_.bytes() + table_bytes_ + block_bytes <= budget_) {
        return true;
    }
    if (!over_) {
        // The answer will be refused: nothing more is kept, and the job
        // ends after the entry it is at (the machine is wanted elsewhere).
        over_ = true;
        rows_.clear();
        moves_.clear();
        if (job_ != nullptr) {
            job_->job_stop_at_entry("the timeline is over the service's memory budget");
        }
    }
    return false;
}

std::uint32_t TimelineKeep::keyword_index(const std::string& keyword)
{
    const auto [it, fresh] =
        keyword_of_.try_emplace(keyword, static_cast<std::uint32_t>(keywords_.size()));
    if (fresh) {
        keywords_.push_back(keyword);
        table_bytes_ += 2 * (keyword.size() + table_entry_bytes);
    }
    return it->second;
}

std::uint32_t TimelineKeep::work_index(std::uint8_t kind, std::int32_t index)
{
    const std::pair<std::uint8_t, std::int32_t> work{kind, index};
    // Works repeat in runs: the last one is looked at first.
    if (!works_.empty() && works_.back() == work) {
        return static_cast<std::uint32_t>(works_.size() - 1);
    }
    const auto found = std::find(works_.begin(), works_.end(), work);
    if (found != works_.end()) {
        return static_cast<std::uint32_t>(found - works_.begin());
    }
    works_.push_back(work);
    table_bytes_ += table_entry_bytes;
    return static_cast<std::uint32_t>(works_.size() - 1);
}

void TimelineKeep::keep_row(const TimelineRow& row, void* context)
{
    auto* keep = static_cast<TimelineKeep*>(context);
    const bool full = keep->rows_.size() % Blocks<Row>::per_block == 0;
    if (keep->over_ || !keep->window_.holds(row.entry) ||
        (full && !keep->room_for(Blocks<Row>::block_bytes))) {
        return;
    }
    keep->rows_.push({row.entry, keep->keyword_index(row.keyword), row.start_ms, row.end_ms});
}

void TimelineKeep::keep_move(const HeadMove& move, void* context)
{
    auto* keep = static_cast<TimelineKeep*>(context);
    if (keep->over_) {
        return;
    }
    const auto push = [keep](const Move& m) {
        const bool full = keep->moves_.size() % Blocks<Move>::per_block == 0;
        if (!full || keep->room_for(Blocks<Move>::block_bytes)) {
            keep->moves_.push(m);
        }
    };
    const bool kept = keep->window_.holds(move.entry);
    // A gap's move must fit its fields: one is written out before it would not.
    const bool wide = std::abs(keep->gap_dx_ + move.dx) > INT32_MAX / 2 ||
                      std::abs(keep->gap_dy_ + move.dy) > INT32_MAX / 2;
    if ((kept || wide) && (keep->gap_dx_ != 0 || keep->gap_dy_ != 0)) {
        push({static_cast<std::int32_t>(keep->gap_dx_), static_cast<std::int32_t>(keep->gap_dy_), 0,
              gap_work});
        keep->gap_dx_ = keep->gap_dy_ = 0;
    }
    if (kept) {
        push({move.dx, move.dy, move.entry, keep->work_index(move.kind, move.index)});
    } else {
        keep->gap_dx_ += move.dx;
        keep->gap_dy_ += move.dy;
    }
}

std::unique_ptr<TimelineText> TimelineText::csv(std::shared_ptr<TimelineKeep> keep)
{
    std::unique_ptr<TimelineText> text(new TimelineText(std::move(keep), false));
    text->head_ = timeline_csv_header();
    return text;
}

std::unique_ptr<TimelineText> TimelineText::json(std::shared_ptr<TimelineKeep> keep,
                                                 std::string head, const JobReport& report)
{
    std::unique_ptr<TimelineText> text(new TimelineText(std::move(keep), true));
    const TimelineKeep& k = *text->keep_;
    text->head_ = std::move(head) + ",\"timeline\":[";
    text->x_ = k.start_x;
    text->y_ = k.start_y;
    // A move's activity: the report's activity of its kind and pen or
    // image, or one past the last when the report has none such.
    std::map<std::pair<std::uint8_t, std::int32_t>, std::uint32_t> activity_of;
    for (std::size_t i = report.activities.size(); i-- > 0;) {
        activity_of[{report.activities[i].kind, report.activities[i].index}] =
            static_cast<std::uint32_t>(i);
    }
    for (const auto& work : k.works_) {
        const auto found = activity_of.find(work);
        text->activity_of_work_.push_back(
            found != activity_of.end() ? found->second
                                       : static_cast<std::uint32_t>(report.activities.size()));
    }
    for (const std::string& keyword : k.keywords_) {
        text->keyword_json_.push_back(
            nlohmann::json(keyword).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    }
    return text;
}

void TimelineText::append_row(std::string* out, std::size_t i) const
{
    const TimelineKeep::Row& row = keep_->rows_[i];
    if (!json_) {
        *out +=
            timeline_csv_row({row.entry, keep_->keywords_[row.keyword], row.start_ms, row.end_ms});
        return;
    }
    *out += i == 0 ? "{\"entry\":" : ",{\"entry\":";
    append_number(out, row.entry);
    *out += ",\"keyword\":";
    *out += keyword_json_[row.keyword];
    *out += ",\"start_ms\":";
    append_number(out, row.start_ms);
    *out += ",\"end_ms\":";
    append_number(out, row.end_ms);
    *out += '}';
}

void TimelineText::append_move(std::string* out, std::size_t i)
{
    const TimelineKeep::Move& m = keep_->moves_[i];
    const std::int64_t x1 = x_ + m.dx;
    const std::int64_t y1 = y_ + m.dy;
    if (m.work != TimelineKeep::gap_work) {
        *out += first_move_ ? "[" : ",[";
        first_move_ = false;
        for (const std::int64_t v : {x_, y_, x1, y1}) {
            append_mm(out, v);
            *out += ',';
        }
        append_number(out, activity_of_work_[m.work]);
        *out += ',';
        append_number(out, m.entry);
        *out += ']';
    }
    x_ = x1;
    y_ = y1;
}

bool TimelineText::next(std::string* out)
{
    const std::size_t end = out->size() + piece_bytes;
    while (out->size() < end && part_ != Part::done) {
        switch (part_) {
        case Part::head:
            *out += head_;
            head_ = std::string();
            part_ = Part::rows;
            break;
        case Part::rows:
            if (at_ < keep_->rows_.size()) {
                append_row(out, at_++);
                break;
            }
            keep_->rows_.clear();
            at_ = 0;
            part_ = json_ ? Part::between : Part::done;
            break;
        case Part::between:
            *out += "],\"moves\":[";
            part_ = Part::moves;
            break;
        case Part::moves:
            if (at_ < keep_->moves_.size()) {
                append_move(out, at_++);
                break;
            }
            part_ = Part::tail;
            break;
        case Part::tail:
            *out += "]}\n";
            part_ = Part::done;
            break;
        case Part::done:
            break;
        }
    }
    // What has been written is given back as it goes.
    if (part_ == Part::rows) {
        keep_->rows_.release_before(at_);
    } else if (part_ == Part::moves) {
        keep_->moves_.release_before(at_);
    } else if (part_ == Part::done) {
        keep_->moves_.clear();
    }
    return !out->empty();
}
