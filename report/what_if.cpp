// What if: settings overridden, sweeps of one setting, and the cost of the
// machine time.
#include "report/what_if.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <mutex>
#include <type_traits>

#include <nlohmann/json.hpp>

#include "base/shown_text.h"
#include "fwShare/machine_params.h"
#include "job/command_file.h"
#include "job/command_reader.h"
#include "job/job_machine.h"
#include "job/parallel_runs.h"
#include "report/job_report.h"

using json = nlohmann::ordered_json;

namespace {

// A setting keyword, the values its field holds and the values a what-if
// may ask for: the field's, or for a speed the per mille of the maximum
// speed the machine honours.
struct SettingField {
    const char* key;
    std::int64_t min;
    std::int64_t max;
    std::int64_t asked_max;  // the most --set and --sweep take
};

// The range of the field a setting is stored in.
template <typename Field>
constexpr SettingField field_of(const char* key)
{
    return {key, std::numeric_limits<Field>::min(), std::numeric_limits<Field>::max(),
            std::numeric_limits<Field>::max()};
}

// A speed, per mille of the maximum: the machine goes no faster past 1000
// (and its arithmetic overflows for high codes), so no what-if asks more.
template <typename Field>
constexpr SettingField speed_field_of(const char* key)
{
    SettingField field = field_of<Field>(key);
    field.asked_max = 1000;
    return field;
}

using File = CurrentFileRecord;
using PenSpeed = std::remove_extent_t<decltype(File::VectorSpeed)>;

// The one-integer settings, in the order help texts list them.
const SettingField setting_fields[] = {
    speed_field_of<decltype(File::RasterSpeedX)>("RasterSpeedX"),
    speed_field_of<decltype(File::RasterSpeedY)>("RasterSpeedY"),
    field_of<decltype(File::RasterBandingFree)>("RasterBandingFree"),
    field_of<decltype(File::RasterFiringType)>("RasterFiringType"),
    field_of<decltype(File::RasterDPI)>("RasterDPI"),
    field_of<decltype(File::RasterUnit)>("RasterUnit"),
    field_of<decltype(File::RasterPower)>("RasterPower"),
    field_of<decltype(File::RasterAccelEngrave)>("RasterAccelEngrave"),
    field_of<decltype(File::RasterBuEngrave)>("RasterBuEngrave"),
    field_of<decltype(File::ImageWidth)>("ImageWidth"),
    field_of<decltype(File::ImageHeight)>("ImageHeight"),
};

const char* const pen_key_prefix = "VectorSpeed.";

// The speed code every pen has at power-on (start-up sets them all alike).
constexpr std::int32_t power_on_pen_speed = 500;

// A key's field, with the key as the job file and reports write it
// ("VectorSpeed.4" for "VectorSpeed.04"); false with a message when the
// key is none of the overridable ones.
bool find_field(std::string_view key, SettingField* field, std::string* name, int* pen,
                std::string* error)
{
    *pen = 0;
    for (const SettingField& f : setting_fields) {
        if (key == f.key) {
            *field = f;
            *name = f.key;
            return true;
        }
    }
    const std::string_view prefix = pen_key_prefix;
    if (key.substr(0, prefix.size()) == prefix) {
        const std::string_view digits = key.substr(prefix.size());
        int n = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
        if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size() ||
            digits.size() > 2 || n < 1 || n > 16) {
            *error = shown::text(std::string(key)) + ": pens are numbered 1 to 16";
            return false;
        }
        *field = speed_field_of<PenSpeed>(pen_key_prefix);
        *name = std::string(prefix) + std::to_string(n);
        *pen = n;
        return true;
    }
    *error = "unknown setting " + shown::text(std::string(key)) + " (settings: ";
    for (const std::string& k : setting_override_keys()) {
        *error += k + (k == setting_override_keys().back() ? ")" : ", ");
    }
    return false;
}

// Checks that a value fits the key's field.
bool check_value(const SettingField& field, const std::string& name, std::int64_t value,
                 std::string* error)
{
    if (value < field.min || value > field.asked_max) {
        *error = name + " takes " + std::to_string(field.min) + " to " +
                 std::to_string(field.asked_max) +
                 (field.asked_max < field.max
                      ? " (per mille of the maximum speed; the machine goes no faster past 1000)"
                      : "") +
                 ", not " + std::to_string(value);
        return false;
    }
    return true;
}

// A whole decimal integer, optionally signed, and nothing else.
bool parse_integer(std::string_view text, std::int64_t* value)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') {
        ++first;
    }
    const auto [end, ec] = std::from_chars(first, last, *value);
    return first != last && ec == std::errc{} && end == last;
}

// Splits "KEY=REST"; false when there is no '=' or no key.
bool split_key(std::string_view text, std::string_view* key, std::string_view* rest)
{
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos || eq == 0) {
        return false;
    }
    *key = text.substr(0, eq);
    *rest = text.substr(eq + 1);
    return true;
}

// Reads a job's bytes from its file; false with the reason when it cannot.
bool read_job_bytes(const char* path, std::string* bytes, std::string* reason)
{
    const JobFile job_file = open_job_file(path);
    if (job_file.file == nullptr) {
        *reason = job_file.folder ? shown::text(path) + " is a folder"
                                  : "cannot open " + shown::text(path) + ": " +
                                        job_file_error_text(job_file);
        return false;
    }
    bytes->clear();
    char block[16384];
    std::size_t n = 0;
    while ((n = std::fread(block, 1, sizeof block, job_file.file)) > 0) {
        bytes->append(block, n);
    }
    const bool read = std::ferror(job_file.file) == 0;
    std::fclose(job_file.file);
    if (!read) {
        *reason = "cannot read " + shown::text(path);
    }
    return read;
}

// The value a job's entries first set for a key, as its field holds it.
std::optional<std::int32_t> first_value_set(std::string_view job_bytes, const std::string& keyword,
                                            int pen)
{
    CmdReader reader;
    cmd_reader_open(&reader, CmdSource{nullptr, job_bytes});
    char keyword_read[CMD_KEYWORD_SIZE];
    for (;;) {
        std::int32_t a = 0;
        std::int32_t b = 0;
        const int fields = cmd_read_entry(&reader, keyword_read, &a, &b);
        if (fields < 2 || reader.error != CmdReadError::none ||
            !command_file_runs_entry(keyword_read, fields - 1)) {
            return std::nullopt;
        }
        if (std::strcmp(keyword_read, "VemtracCmdVer") == 0 && a != 1) {
            return std::nullopt;
        }
        if (std::strcmp(keyword_read, "VectorSpeed") == 0 && fields == 3) {
            std::int32_t codes[17] = {0, a, b};
            int given = 2;
            while (given < 16 && cmd_read_int(&reader, &codes[given + 1]) == 1) {
                ++given;
            }
            if (pen > 0 && pen <= given) {
                return static_cast<PenSpeed>(codes[pen]);
            }
            if (reader.error != CmdReadError::none) {
                return std::nullopt;
            }
        } else if (pen == 0 && fields == 2 && keyword == keyword_read) {
            return a;
        }
    }
}

// The figures of one run, as a sweep's point and its as-written run show them.
json run_json(std::int32_t value, const JobResult& r, const std::optional<CostRate>& rate,
              const std::optional<std::uint32_t>& fit_ms)
{
    const bool estimated = r.outcome == JobOutcome::ok;
    const std::uint32_t ms = r.end.run_time.ms;
    json j = {{"value", value}};
    j["run_time_ms"] = estimated ? json(ms) : json(nullptr);
    j["run_time"] = estimated ? json(hours_minutes_seconds(ms)) : json(nullptr);
    j["ticks"] = r.ticks;
    j["complete"] = estimated && r.end.complete;
    if (rate) {
        j["cost"] = estimated ? json(cost_number(ms, *rate)) : json(nullptr);
    }
    if (fit_ms) {
        j["fits"] = estimated && ms <= *fit_ms;
    }
    return j;
}

} // namespace

const std::vector<std::string>& setting_override_keys()
{
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> k;
        for (const SettingField& f : setting_fields) {
            k.emplace_back(f.key);
        }
        k.emplace_back(std::string(pen_key_prefix) + "N");
        return k;
    }();
    return keys;
}

bool make_setting_override(std::string_view key, std::int64_t value, SettingOverride* setting,
                           std::string* error)
{
    SettingField field{};
    std::string name;
    int pen = 0;
    if (!find_field(key, &field, &name, &pen, error) || !check_value(field, name, value, error)) {
        return false;
    }
    setting->key = name;
    setting->value = static_cast<std::int32_t>(value);
    return true;
}

bool parse_setting_override(std::string_view text, SettingOverride* setting, std::string* error)
{
    std::string_view key;
    std::string_view value_text;
    if (!split_key(text, &key, &value_text)) {
        *error = shown::text(std::string(text)) + ": a setting is given as KEY=VALUE";
        return false;
    }
    std::int64_t value = 0;
    if (!parse_integer(value_text, &value)) {
        SettingField field{};
        std::string name;
        int pen = 0;
        if (!find_field(key, &field, &name, &pen, error)) {
            return false;
        }
        *error = name + " takes a whole number, not " + shown::text(std::string(value_text));
        return false;
    }
    return make_setting_override(key, value, setting, error);
}

void add_setting_override(SettingOverrides* settings, const SettingOverride& setting)
{
    for (auto& held : *settings) {
        if (held.key == setting.key) {
            held.value = setting.value;
            return;
        }
    }
    settings->push_back(setting);
}

bool make_sweep(std::string_view key, const std::vector<std::int64_t>& values, SweepSpec* sweep,
                std::string* error)
{
    SettingField field{};
    std::string name;
    int pen = 0;
    if (!find_field(key, &field, &name, &pen, error)) {
        return false;
    }
    // Callers stop reading a list one value past the limit, so the count
    // beyond it is not known here.
    if (values.empty() || values.size() > SWEEP_MAX_VALUES) {
        *error =
            "a sweep of " + name +
            (values.empty() ? std::string(" needs at least one value")
                            : " takes at most " + std::to_string(SWEEP_MAX_VALUES) + " values");
        return false;
    }
    SweepSpec made;
    made.key = name;
    for (const std::int64_t v : values) {
        if (!check_value(field, name, v, error)) {
            return false;
        }
        made.values.push_back(static_cast<std::int32_t>(v));
    }
    *sweep = std::move(made);
    return true;
}

bool sweep_leaves_settings(const SweepSpec& sweep, const SettingOverrides& overrides,
                           std::string* error)
{
    for (const SettingOverride& held : overrides) {
        if (held.key == sweep.key) {
            *error = sweep.key + " is both set and swept: a sweep runs the job at each value " +
                     "against the job's own, so the setting swept is not also set";
            return false;
        }
    }
    return true;
}

bool parse_sweep(std::string_view text, SweepSpec* sweep, std::string* error)
{
    std::string_view key;
    std::string_view range;
    std::int64_t bounds[3] = {};
    bool read = split_key(text, &key, &range);
    for (int i = 0; read && i < 3; ++i) {
        const std::size_t colon = i < 2 ? range.find(':') : range.size();
        read = colon != std::string_view::npos && parse_integer(range.substr(0, colon), &bounds[i]);
        range = colon < range.size() ? range.substr(colon + 1) : std::string_view{};
    }
    if (!read) {
        *error = shown::text(std::string(text)) + ": a sweep is given as KEY=FROM:TO:STEP";
        return false;
    }
    SettingField field{};
    std::string name;
    int pen = 0;
    if (!find_field(key, &field, &name, &pen, error) ||
        !check_value(field, name, bounds[0], error) ||
        !check_value(field, name, bounds[1], error)) {
        return false;
    }
    const auto [from, to, step] = bounds;
    if (from > to || step <= 0) {
        *error = "a sweep of " + name + " goes from FROM up to TO (FROM <= TO) in steps above 0";
        return false;
    }
    // The values from FROM in steps of STEP, then TO when a step misses it.
    const std::int64_t steps = (to - from) / step;
    const std::int64_t count = steps + 1 + (from + steps * step != to ? 1 : 0);
    if (count > static_cast<std::int64_t>(SWEEP_MAX_VALUES)) {
        *error = "a sweep of " + name + " takes at most " + std::to_string(SWEEP_MAX_VALUES) +
                 " values, not " + std::to_string(count);
        return false;
    }
    std::vector<std::int64_t> values;
    for (std::int64_t i = 0; i <= steps; ++i) {
        values.push_back(from + i * step);
    }
    if (values.back() != to) {
        values.push_back(to);
    }
    return make_sweep(name, values, sweep, error);
}

std::int32_t setting_as_written(std::string_view job_bytes, const std::string& key)
{
    SettingField field{};
    std::string name;
    std::string error;
    int pen = 0;
    if (!find_field(key, &field, &name, &pen, &error)) {
        return 0;
    }
    const std::optional<std::int32_t> first =
        first_value_set(job_bytes, pen > 0 ? std::string("VectorSpeed") : name, pen);
    if (!first) {
        return pen > 0 ? power_on_pen_speed : 0;
    }
    if (pen > 0) {
        return *first;
    }
    // As the field holds it: the job file's entries keep the field's width.
    std::int64_t v = *first;
    const std::int64_t span = field.max - field.min + 1;
    if (span > 0 && span <= (std::int64_t{1} << 32) && (v < field.min || v > field.max)) {
        v = ((v - field.min) % span + span) % span + field.min;
    }
    return static_cast<std::int32_t>(v);
}

std::string cost_text(double run_time_ms, const CostRate& rate)
{
    const double hours = run_time_ms / 3600000.0 + rate.setup_minutes / 60.0;
    const double cost = hours * rate.per_hour;
    char text[64];
    if (std::isfinite(cost) && std::fabs(cost) < 1e15) {
        const long long cents = std::llround(cost * 100.0);
        std::snprintf(text, sizeof text, "%s%lld.%02lld", cents < 0 ? "-" : "",
                      std::llabs(cents) / 100, std::llabs(cents) % 100);
    } else {
        std::snprintf(text, sizeof text, "%.2f", cost);
    }
    return text;
}

std::string total_cost_text(double run_time_ms, std::size_t jobs, const CostRate& rate)
{
    return cost_text(run_time_ms,
                     CostRate{rate.per_hour, rate.setup_minutes * static_cast<double>(jobs)});
}

double cost_number(double run_time_ms, const CostRate& rate)
{
    return std::strtod(cost_text(run_time_ms, rate).c_str(), nullptr);
}

SweepResult run_sweep(const JobRequest& request, const SweepSpec& sweep)
{
    return run_sweep(request, sweep, 1, nullptr, nullptr);
}

namespace {

// Tells a sweep's progress after each run, one run at a time, whichever
// thread ran it.
class SweepTeller {
public:
    SweepTeller(SweepProgress progress, void* context, std::size_t total)
        : progress_(progress), context_(context), total_(total)
    {
    }

    void run_done()
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        ++done_;
        if (progress_ != nullptr) {
            progress_(context_, done_, total_);
        }
    }

private:
    std::mutex mutex_;
    SweepProgress progress_;
    void* context_;
    std::size_t total_;
    std::size_t done_ = 0;
};

// A sweep on up to threads threads, or on the machine own alone.
SweepResult sweep_runs(const JobRequest& request, const SweepSpec& sweep, unsigned threads,
                       SweepProgress progress, void* context, JobMachine* own)
{
    SweepResult result;
    result.key = sweep.key;
    JobRequest run = request;
    std::string bytes;
    if (!run.job_bytes && run.job_path != nullptr) {
        if (!read_job_bytes(run.job_path, &bytes, &result.as_written.unreadable_reason)) {
            result.as_written.overrides = request.overrides;
            return result;
        }
        run.job_bytes = bytes;
    }
    result.written_value = run.job_bytes ? setting_as_written(*run.job_bytes, sweep.key) : 0;
    SweepTeller teller(progress, context, sweep.values.size() + 1);
    const auto as_written = [&](std::size_t, JobMachine& machine, ConsoleSink console) {
        JobRequest job = run;
        job.console = console;
        result.as_written = machine.run_job(job);
        teller.run_done();
    };
    run_in_order(1, 1, request.console, as_written, nullptr, own);
    if (result.as_written.outcome == JobOutcome::unreadable) {
        return result;  // no job to run at other values
    }
    result.points.resize(sweep.values.size());
    run_in_order(sweep.values.size(), threads, request.console,
                 [&](std::size_t i, JobMachine& machine, ConsoleSink console) {
                     JobRequest point = run;
                     point.console = console;
                     add_setting_override(&point.overrides,
                                          SettingOverride{sweep.key, sweep.values[i]});
                     result.points[i] = SweepPoint{sweep.values[i], machine.run_job(point)};
                     teller.run_done();
                 },
                 nullptr, own);
    return result;
}

} // namespace

SweepResult run_sweep(const JobRequest& request, const SweepSpec& sweep, unsigned threads,
                      SweepProgress progress, void* context)
{
    return sweep_runs(request, sweep, threads, progress, context, nullptr);
}

SweepResult run_sweep(JobMachine& machine, const JobRequest& request, const SweepSpec& sweep)
{
    return sweep_runs(request, sweep, 1, nullptr, nullptr, &machine);
}

// The sweep's object, with what the program adds when asked.
json sweep_json(const SweepResult& sweep, const std::optional<CostRate>& rate,
                const std::string* job, const std::optional<std::uint32_t>& fit_ms)
{
    json points = json::array();
    for (const SweepPoint& p : sweep.points) {
        points.push_back(run_json(p.value, p.result, rate, fit_ms));
    }
    json j = json::object();
    if (job != nullptr) {
        j["job"] = *job;
        json overrides = json::object();
        for (const SettingOverride& o : sweep.as_written.overrides) {
            overrides[o.key] = o.value;
        }
        j["overrides"] = overrides;
    }
    j["key"] = sweep.key;
    if (fit_ms) {
        j["fit_ms"] = *fit_ms;
    }
    if (sweep.as_written.outcome == JobOutcome::unreadable) {
        j["unreadable"] = sweep.as_written.unreadable_reason;
    }
    j["points"] = points;
    j["as_written"] = run_json(sweep.written_value, sweep.as_written, rate, fit_ms);
    return json{{"sweep", j}};
}

std::string sweep_json_text(const SweepResult& sweep, const std::optional<CostRate>& rate)
{
    return sweep_json(sweep, rate, nullptr, std::nullopt)
               .dump(2, ' ', false, json::error_handler_t::replace) +
           "\n";
}

std::string sweep_json_text(const SweepResult& sweep, const std::optional<CostRate>& rate,
                            const std::string& job, const std::optional<std::uint32_t>& fit_ms)
{
    return sweep_json(sweep, rate, &job, fit_ms)
               .dump(2, ' ', false, json::error_handler_t::replace) +
           "\n";
}
