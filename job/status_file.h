// The status file Vemtrac.sts: the result of a job for the program that
// started the estimator. Every line ends with the three bytes CR LF CR on
// every host.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "job/job_clock.h"

// Machine model word and firmware version reported on the second line.
inline constexpr const char* status_model_word = "Orvane";
inline constexpr const char* status_firmware_version = "03.09-04";

// The five lines of a finished job (app_ms: the estimator's own time).
std::vector<std::string> status_ok_lines(const JobRunTime& run_time, std::uint32_t app_ms);

// The two lines of a job refused for its version.
std::vector<std::string> status_version_mismatch_lines();

// Writes the lines, each ending CR LF CR. Returns false when writing failed.
bool write_status_lines(std::FILE* file, const std::vector<std::string>& lines);
