// Helpers of the design import's tests: importing text and reading back
// the entries of a job.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "design/design_import.h"
#include "design_pictures.h"

// One entry of a job file: its keyword and its integers.
struct JobEntry {
    std::string keyword;
    std::vector<long long> values;
};

// The entries of a job, split by keyword (every keyword of an imported job
// takes one or two integers, VectorSpeed sixteen).
inline std::vector<JobEntry> job_entries(const std::string& job)
{
    std::istringstream in(job);
    std::vector<JobEntry> out;
    std::string token;
    while (in >> token) {
        if (!token.empty() && (std::isalpha(static_cast<unsigned char>(token[0])) != 0)) {
            out.push_back({token, {}});
        } else if (!out.empty()) {
            out.back().values.push_back(std::stoll(token));
        }
    }
    return out;
}

inline int count_keyword(const std::vector<JobEntry>& entries, const std::string& keyword)
{
    int n = 0;
    for (const JobEntry& e : entries) {
        n += e.keyword == keyword ? 1 : 0;
    }
    return n;
}

// Imports text, failing the test when the import fails.
inline DesignImport import_ok(const std::string& bytes, const std::string& name = "design",
                              const DesignSettings& settings = {})
{
    DesignImport r = design_import(bytes, name, settings);
    EXPECT_TRUE(r.ok) << r.error;
    return r;
}

// Sums of the pen-down moves (dx, dy) of a job, in plotter units.
inline std::pair<long long, long long> pen_down_sum(const std::vector<JobEntry>& entries)
{
    long long x = 0, y = 0;
    for (const JobEntry& e : entries) {
        if (e.keyword == "pd_default") {
            x += e.values[0];
            y += e.values[1];
        }
    }
    return {x, y};
}
