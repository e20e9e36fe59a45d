#include "report/report_json.h"

#include <cmath>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "job/status_file.h"
#include "replay/tick_account.h"
#include "report/report_text.h"

using json = nlohmann::ordered_json;

namespace {

// A length or speed to a thousandth, as readable as it is exact enough.
double rounded(double value)
{
    return std::round(value * 1000.0) / 1000.0;
}

json activity_json(const ActivityTicks& a)
{
    json j = {{"kind", activity_kind_name(a.kind)}};
    if (a.kind == WORK_CUT) {
        j["pen"] = a.index;
    } else if (a.kind == WORK_RASTER_PASS || a.kind == WORK_RASTER_LINE_STEP) {
        j["image"] = a.index;
    }
    j["ticks"] = a.ticks;
    j["ms"] = ticks_to_ms(a.ticks);
    j["moves"] = a.moves;
    j["distance_mm"] = rounded(a.distance_mm);
    if (a.kind == WORK_CUT) {
        j["speed_mm_s"] = rounded(activity_speed_mm_s(a));
    }
    return j;
}

// The pens of a design cut more than once, with the time one pass adds.
json pass_times_json(const JobReport& r)
{
    json times = json::array();
    for (const PassTime& t : r.pass_times) {
        times.push_back({{"pen", t.pen},
                         {"passes", t.passes},
                         {"cut_mm_per_pass", rounded(t.cut_mm_per_pass)},
                         {"ms", t.timed ? json(t.ms) : json(nullptr)},
                         {"ticks", t.timed ? json(t.ticks) : json(nullptr)}});
    }
    return times;
}

json stopped_at_json(const JobReport& r)
{
    if (r.complete || r.outcome == JobOutcome::unreadable) {
        return nullptr;
    }
    return {{"entry", r.stop_entry},
            {"line", r.stop_line},
            {"keyword", r.stop_keyword},
            {"reason", r.stop_reason}};
}

// A job's object. Its name is the path as given, which need not be UTF-8:
// the documents are written with such bytes replaced by U+FFFD.
json job_json(const JobReport& r, const std::optional<CostRate>& rate)
{
    const bool estimated = r.outcome == JobOutcome::ok;
    json j = {{"job", r.job}, {"result", job_outcome_name(r.outcome)}};
    if (!r.overrides.empty()) {
        json overrides = json::object();
        for (const SettingOverride& o : r.overrides) {
            overrides[o.key] = o.value;
        }
        j["overrides"] = overrides;
    }
    if (r.outcome == JobOutcome::unreadable) {
        j["reason"] = r.unreadable_reason;
    }
    j["complete"] = r.complete;
    j["stopped_at"] = stopped_at_json(r);
    j["run_time_ms"] = estimated ? json(r.run_time_ms) : json(nullptr);
    j["run_time"] = estimated ? json(hours_minutes_seconds(r.run_time_ms)) : json(nullptr);
    j["ticks"] = r.ticks;
    if (rate) {
        j["cost"] = estimated ? json(cost_number(r.run_time_ms, *rate)) : json(nullptr);
    }
    json phases = json::object();
    for (int p = 0; p < SVO_PHASE_COUNT; ++p) {
        phases[phase_label(p)] = r.phases[static_cast<std::size_t>(p)];
    }
    j["phases"] = std::move(phases);
    json activities = json::array();
    for (const ActivityTicks& a : r.activities) {
        activities.push_back(activity_json(a));
    }
    j["activities"] = std::move(activities);
    j["vectors_planned"] = r.vectors_planned;
    j["raster_lines"] = r.raster_lines;
    j["cut_mm"] = rounded(r.cut_mm);
    j["travel_mm"] = rounded(r.travel_mm);
    if (r.from_design) {
        j["pass_times"] = pass_times_json(r);
    }
    json warnings = json::array();
    for (const ReportWarning& w : r.warnings) {
        warnings.push_back({{"kind", w.kind},
                            {"entry", w.entry > 0 ? json(w.entry) : json(nullptr)},
                            {"message", w.message}});
    }
    j["warnings"] = std::move(warnings);
    return j;
}

json total_json(const std::vector<JobReport>& reports, const std::optional<CostRate>& rate)
{
    std::uint64_t ms = 0;
    std::int64_t ticks = 0;
    std::size_t read = 0;
    std::size_t estimated = 0;
    for (const JobReport& r : reports) {
        read += r.outcome != JobOutcome::unreadable ? 1 : 0;
        estimated += r.outcome == JobOutcome::ok ? 1 : 0;
        ms += r.outcome == JobOutcome::ok ? r.run_time_ms : 0;
        ticks += r.outcome == JobOutcome::ok ? r.ticks : 0;
    }
    json j = {{"jobs", reports.size()}, {"read", read},      {"estimated", estimated},
              {"run_time_ms", ms},
              {"run_time", hours_minutes_seconds(ms)},       {"ticks", ticks}};
    if (rate) {
        j["cost"] = std::strtod(total_cost_text(static_cast<double>(ms), estimated, *rate).c_str(),
                                nullptr);
    }
    return j;
}

} // namespace

std::string json_report(const std::vector<JobReport>& reports, const char* version,
                        const std::optional<CostRate>& rate)
{
    json jobs = json::array();
    for (const JobReport& r : reports) {
        jobs.push_back(job_json(r, rate));
    }
    const json doc = {{"schema", json_report_schema},
                      {"version", version},
                      {"machine", std::string(status_model_word) + " " + status_firmware_version},
                      {"jobs", jobs},
                      {"total", total_json(reports, rate)}};
    // Names and reasons hold whatever bytes the command line gave: bytes
    // that are not UTF-8 become U+FFFD rather than stopping the writer.
    return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string json_job_text(const JobReport& report, const std::optional<CostRate>& rate, int indent)
{
    return job_json(report, rate).dump(indent, ' ', false, json::error_handler_t::replace);
}
