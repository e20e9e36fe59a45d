// A setting a job runs at in place of its own (report/what_if.h says what that
// means, reads them and checks them).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SettingOverride {
    std::string key;     // a job-file keyword that sets one value, or "VectorSpeed.N"
    std::int32_t value;  // fits the field the key sets
};
using SettingOverrides = std::vector<SettingOverride>;
