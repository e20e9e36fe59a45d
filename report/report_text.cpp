#include "report/report_text.h"

#include <algorithm>
#include <string>

#include "base/shown_text.h"
#include "replay/tick_account.h"

const char* phase_label(int phase_index)
{
    static const char* const labels[SVO_PHASE_COUNT] = {
        "idle", "hold", "acceleration", "slew", "deceleration", "creep", "delay"};
    return phase_index >= 0 && phase_index < SVO_PHASE_COUNT ? labels[phase_index] : "idle";
}

namespace {

double share_percent(std::int64_t part, std::int64_t whole)
{
    return whole > 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0;
}

// How the reading of the job file ended.
void write_ending(std::FILE* out, const JobReport& r)
{
    if (r.outcome == JobOutcome::refused) {
        std::fprintf(out, "  Refused     line %d, entry %d \"%s\": %s\n", r.stop_line,
                     r.stop_entry, r.stop_keyword.c_str(), r.stop_reason.c_str());
    } else if (r.complete) {
        std::fprintf(out, "  Read        to the end of the file\n");
    } else {
        std::fprintf(out, "  Cut short   at line %d, entry %d \"%s\": %s\n", r.stop_line,
                     r.stop_entry, r.stop_keyword.c_str(), r.stop_reason.c_str());
    }
}

void write_phases(std::FILE* out, const JobReport& r)
{
    std::fprintf(out, "\n  By motion phase             ticks      time   share\n");
    for (int p = 0; p < SVO_PHASE_COUNT; ++p) {
        if (p == IDLE && r.phases[static_cast<std::size_t>(p)] == 0) {
            continue;
        }
        const std::int64_t n = r.phases[static_cast<std::size_t>(p)];
        std::fprintf(out, "    %-20s %11lld %9s %6.1f %%\n", phase_label(p),
                     static_cast<long long>(n), hours_minutes_seconds(ticks_to_ms(n)).c_str(),
                     share_percent(n, r.ticks));
    }
}

void write_activities(std::FILE* out, const JobReport& r)
{
    std::fprintf(out, "\n  By activity                 ticks      time   share    moves"
                      "        mm     mm/s\n");
    for (const ActivityTicks& a : r.activities) {
        std::fprintf(out, "    %-20s %11lld %9s %6.1f %% %8llu %9.1f", activity_label(a).c_str(),
                     static_cast<long long>(a.ticks),
                     hours_minutes_seconds(ticks_to_ms(a.ticks)).c_str(),
                     share_percent(a.ticks, r.ticks), static_cast<unsigned long long>(a.moves),
                     a.distance_mm);
        if (a.kind == WORK_CUT) {
            std::fprintf(out, " %8.1f", activity_speed_mm_s(a));
        }
        std::fprintf(out, "\n");
    }
}

// Each pen of a design cut more than once, and what one pass of it adds.
void write_pass_times(std::FILE* out, const JobReport& r)
{
    for (const PassTime& t : r.pass_times) {
        std::fprintf(out, "  Passes      pen %d: %d passes of %.1f mm", t.pen, t.passes,
                     t.cut_mm_per_pass);
        if (t.timed) {
            const std::uint64_t ms = t.ms > 0 ? static_cast<std::uint64_t>(t.ms) : 0;
            std::fprintf(out, ", one pass adds %s (%lld ms)", hours_minutes_seconds(ms).c_str(),
                         static_cast<long long>(t.ms));
        }
        std::fprintf(out, "\n");
    }
}

} // namespace

std::string overrides_text(const SettingOverrides& overrides)
{
    std::string text;
    for (const SettingOverride& o : overrides) {
        text += (text.empty() ? "" : ", ") + o.key + " " + std::to_string(o.value);
    }
    return text;
}

void write_text_report(std::FILE* out, const JobReport& r, const std::optional<CostRate>& rate)
{
    std::fprintf(out, "%s\n", shown::text(r.job).c_str());
    if (!r.overrides.empty()) {
        std::fprintf(out, "  Settings    %s (in place of the job's own)\n",
                     overrides_text(r.overrides).c_str());
    }
    if (r.outcome == JobOutcome::unreadable) {
        std::fprintf(out, "  Unreadable  %s\n\n", shown::text(r.unreadable_reason).c_str());
        return;
    }
    if (r.outcome == JobOutcome::refused) {
        std::fprintf(out, "  Estimate    none (the machine refuses the job)\n");
    } else {
        std::fprintf(out, "  Estimate    %s  (%u ms, %lld ticks of 0.4 ms)\n",
                     hours_minutes_seconds(r.run_time_ms).c_str(), r.run_time_ms,
                     static_cast<long long>(r.ticks));
        if (rate) {
            std::fprintf(out, "  Cost        %s\n", cost_text(r.run_time_ms, *rate).c_str());
        }
    }
    write_ending(out, r);
    std::fprintf(out, "  Vectors     %lld planned     Raster lines  %lld\n",
                 static_cast<long long>(r.vectors_planned), static_cast<long long>(r.raster_lines));
    std::fprintf(out, "  Distances   %.1f mm cut, %.1f mm pen-up travel\n", r.cut_mm, r.travel_mm);
    write_pass_times(out, r);
    for (const ReportWarning& w : r.warnings) {
        if (w.entry > 0) {
            std::fprintf(out, "  Warning     entry %d: %s\n", w.entry,
                         shown::text(w.message).c_str());
        } else {
            std::fprintf(out, "  Warning     %s\n", shown::text(w.message).c_str());
        }
    }
    if (r.ticks > 0) {
        write_phases(out, r);
        write_activities(out, r);
    }
    std::fprintf(out, "\n");
}

namespace {

// A run's time as the table shows it, or why there is none.
std::string sweep_cells(const JobResult& run, const JobResult& written,
                        const std::optional<CostRate>& rate,
                        const std::optional<std::uint32_t>& fit_ms)
{
    char cells[160];
    if (run.outcome != JobOutcome::ok) {
        std::snprintf(cells, sizeof cells, "  %s", job_outcome_name(run.outcome));
        return cells;
    }
    const std::uint32_t ms = run.end.run_time.ms;
    std::string text;
    std::snprintf(cells, sizeof cells, " %9s %11u", hours_minutes_seconds(ms).c_str(), ms);
    text += cells;
    if (written.outcome == JobOutcome::ok) {
        const std::uint32_t base = written.end.run_time.ms;
        const long long diff = static_cast<long long>(ms) - static_cast<long long>(base);
        std::snprintf(cells, sizeof cells, " %+11lld ms", diff);
        text += cells;
        if (base > 0) {
            std::snprintf(cells, sizeof cells, " %+8.1f %%",
                          100.0 * static_cast<double>(diff) / static_cast<double>(base));
            text += cells;
        } else {
            text += "           ";
        }
    }
    if (rate) {
        std::snprintf(cells, sizeof cells, " %12s", cost_text(ms, *rate).c_str());
        text += cells;
    }
    if (fit_ms) {
        text += ms <= *fit_ms ? "   yes" : "   no";
    }
    if (!run.end.complete) {
        std::snprintf(cells, sizeof cells, "   cut short at entry %d", run.end.entry);
        text += cells;
    }
    return text;
}

} // namespace

void write_sweep_table(std::FILE* out, const SweepResult& s, const std::string& job,
                       const std::optional<CostRate>& rate,
                       const std::optional<std::uint32_t>& fit_ms)
{
    std::fprintf(out, "%s\n", shown::text(job).c_str());
    if (!s.as_written.overrides.empty()) {
        std::fprintf(out, "  Settings    %s (in place of the job's own)\n",
                     overrides_text(s.as_written.overrides).c_str());
    }
    if (s.as_written.outcome == JobOutcome::unreadable) {
        std::fprintf(out, "  Unreadable  %s\n\n",
                     shown::text(s.as_written.unreadable_reason).c_str());
        return;
    }
    std::fprintf(out, "  Sweep       %s, %zu value%s\n", s.key.c_str(), s.points.size(),
                 s.points.size() == 1 ? "" : "s");
    std::fprintf(out, "  As written  %s %d: ", s.key.c_str(), s.written_value);
    const JobResult& w = s.as_written;
    if (w.outcome != JobOutcome::ok) {
        std::fprintf(out, "%s\n", job_outcome_name(w.outcome));
    } else {
        std::fprintf(out, "%s  (%u ms)", hours_minutes_seconds(w.end.run_time.ms).c_str(),
                     w.end.run_time.ms);
        if (rate) {
            std::fprintf(out, ", cost %s", cost_text(w.end.run_time.ms, *rate).c_str());
        }
        if (fit_ms) {
            std::fputs(w.end.run_time.ms <= *fit_ms ? ", fits" : ", does not fit", out);
        }
        if (!w.end.complete) {
            std::fprintf(out, ", cut short at entry %d", w.end.entry);
        }
        std::fputs("\n", out);
    }
    const int width = std::max<int>(static_cast<int>(s.key.size()), 8);
    char head[256];
    std::snprintf(head, sizeof head, "\n  %*s %9s %11s %14s", width + 2, s.key.c_str(), "run time",
                  "ms", "vs as written");
    std::string header = head;
    if (rate) {
        std::snprintf(head, sizeof head, " %10s %12s", "", "cost");
        header += head;
    }
    if (fit_ms) {
        header += (rate ? "   fits " : "              fits ") + hours_minutes_seconds(*fit_ms);
    }
    std::fprintf(out, "%s\n", header.c_str());
    bool own_value_listed = false;
    for (const SweepPoint& p : s.points) {
        const bool own = p.value == s.written_value;
        own_value_listed = own_value_listed || own;
        std::fprintf(out, "  %c %*d %s\n", own ? '*' : ' ', width, p.value,
                     sweep_cells(p.result, s.as_written, rate, fit_ms).c_str());
    }
    if (own_value_listed) {
        std::fprintf(out, "  * the job's own value\n");
    }
    std::fprintf(out, "\n");
}

std::string total_heading(std::size_t jobs, std::size_t estimated)
{
    const auto count = [](std::size_t n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    if (estimated == jobs) {
        return "Total of " + count(jobs, "job", "jobs");
    }
    const std::size_t missing = jobs - estimated;
    return "Total of " + std::to_string(estimated) + " of " + count(jobs, "job", "jobs") + " (" +
           std::to_string(missing) + " could not be estimated)";
}

void write_text_total(std::FILE* out, const std::vector<JobReport>& reports,
                      const std::optional<CostRate>& rate)
{
    std::uint64_t ms = 0;
    std::int64_t ticks = 0;
    std::size_t estimated = 0;
    for (const JobReport& r : reports) {
        estimated += r.outcome == JobOutcome::ok ? 1 : 0;
        ms += r.outcome == JobOutcome::ok ? r.run_time_ms : 0;
        ticks += r.outcome == JobOutcome::ok ? r.ticks : 0;
    }
    std::fprintf(out, "%s\n", total_heading(reports.size(), estimated).c_str());
    std::fprintf(out, "  Estimate    %s  (%llu ms, %lld ticks of 0.4 ms)\n",
                 hours_minutes_seconds(ms).c_str(), static_cast<unsigned long long>(ms),
                 static_cast<long long>(ticks));
    if (rate) {
        std::fprintf(out, "  Cost        %s\n",
                     total_cost_text(static_cast<double>(ms), estimated, *rate).c_str());
    }
}
