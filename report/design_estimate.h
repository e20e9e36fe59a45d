// For the surfaces that take a design wherever they take a job (the
// command line, the C interface, the service): whether bytes handed in as
// a job are a design to import first. A job file is always run as it
// stands, whatever its name; anything else is a design when its content
// (or the format the settings force) says so.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "design/design_import.h"
#include "job/file_kind.h"
#include "report/pass_times.h"

// The largest design read whole into memory (256 MiB): the import's own
// limits (pixels, segments, nesting) hold far below it.
inline constexpr std::size_t design_bytes_max = std::size_t{256} << 20;

// True when head (the first bytes, at least file_head_size of them when
// there are that many) is a design to import rather than a job to run.
inline bool is_design_input(std::string_view head, std::string_view name,
                            const DesignSettings& settings)
{
    if (reads_as_job_file(head.substr(0, file_head_size))) {
        return false;
    }
    return settings.format != DesignFormat::automatic ||
           design_detect_format(head, name) != DesignFormat::automatic;
}

// The pens an imported design's job cuts more than once, for add_pass_times.
inline std::vector<PassTime> repeated_pens(const DesignSummary& summary)
{
    std::vector<PassTime> pens;
    for (const DesignPen& p : summary.pens) {
        if (p.passes > 1) {
            PassTime t;
            t.pen = p.pen;
            t.passes = p.passes;
            t.cut_mm_per_pass = p.cut_mm_per_pass;
            pens.push_back(t);
        }
    }
    return pens;
}

// The design's jobs at other passes, for add_pass_times; it keeps the
// design's bytes and settings.
inline JobWithPasses design_with_passes(std::string bytes, std::string name,
                                        const DesignSettings& settings)
{
    struct Design {
        std::string bytes, name;
        DesignSettings settings;
    };
    auto kept = std::make_shared<const Design>(Design{std::move(bytes), std::move(name), settings});
    return [kept](std::int32_t pen, std::int32_t passes) {
        return design_job_with_passes(kept->bytes, kept->name, kept->settings, pen, passes);
    };
}
