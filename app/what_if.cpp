// What if: settings overridden, sweeps and costs (being built).
#include "app/what_if.h"

namespace {
const char* const not_built = "settings cannot be overridden yet";
}

// The overridable keys.
const std::vector<std::string>& setting_override_keys()
{
    static const std::vector<std::string> keys;
    return keys;
}

// Refuses every key until overrides are built.
bool make_setting_override(std::string_view, std::int64_t, SettingOverride*, std::string* error)
{
    *error = not_built;
    return false;
}

// Refuses every key until overrides are built.
bool parse_setting_override(std::string_view, SettingOverride*, std::string* error)
{
    *error = not_built;
    return false;
}

// Adds or replaces a key's value.
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

// Refuses every sweep until overrides are built.
bool parse_sweep(std::string_view, SweepSpec*, std::string* error)
{
    *error = not_built;
    return false;
}

// Refuses every sweep until overrides are built.
bool make_sweep(std::string_view, const std::vector<std::int64_t>&, SweepSpec*, std::string* error)
{
    *error = not_built;
    return false;
}

// No value known until overrides are built.
std::int32_t setting_as_written(std::string_view, const std::string&)
{
    return 0;
}

// No cost until costs are built.
std::string cost_text(double, const CostRate&)
{
    return "0.00";
}

// Runs only the job as written until sweeps are built.
SweepResult run_sweep(const JobRequest& request, const SweepSpec& sweep)
{
    SweepResult result;
    result.key = sweep.key;
    result.as_written = run_job(request);
    return result;
}

// An empty sweep until sweeps are built.
std::string sweep_json_text(const SweepResult&, const std::optional<CostRate>&)
{
    return "{\"sweep\": {}}";
}
