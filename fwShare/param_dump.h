// Console dump of the machine parameters and job settings
// (Machine::dump_machine_params, under the start-up trace "VemtracDbg").
#pragma once

#include <cstdint>

// A member of a record as the dump shows it: its name and its value.
struct NamedValue {
    const char* name;
    std::int32_t value;
};
