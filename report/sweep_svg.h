// A sweep drawn as a chart: the job's run time against the value of the
// setting swept, the job's own value marked, and the slot it must fit in
// when one is given.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "report/what_if.h"

// The chart as an SVG document; job names the job in the title.
std::string sweep_svg(const SweepResult& sweep, const std::string& job,
                      const std::optional<std::uint32_t>& fit_ms);
