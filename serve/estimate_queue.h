// The estimate service's work: each job (or design, imported first) sent is
// run on a job machine of its own, as many at once as the service has
// workers, and a bounded number of requests may wait for a machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <httplib.h>

#include "job/parallel_runs.h"
#include "replay/tick_runner.h"
#include "report/job_report.h"
#include "report/what_if.h"
#include "serve/machine_pool.h"
#include "serve/serve_design.h"
#include "serve/serve_options.h"
#include "serve/serve_query.h"
#include "serve/serve_timeline.h"

// A setting the job ran at: its key and value (overridden or its own).
using JobSetting = std::pair<std::string, std::int32_t>;

// A job run: its report, and what a timeline answer keeps of it.
struct EstimateRun {
    JobReport report;
    std::shared_ptr<TimelineKeep> keep;  // null: no timeline asked for
    std::size_t body_bytes = 0;          // the body's own bytes (the job's, or the design's)
    // The settings a what-if can change that the job uses: the speed code
    // of each pen it cuts with, and with raster work its raster speeds and
    // banding.
    std::vector<JobSetting> settings;
    std::optional<CostRate> rate;  // the rate the estimate is priced at
    std::string design_summary;    // a design's import summary, JSON (empty: a job)
};

// What the answers say of a design imported in the body's place.
struct DesignNote {
    std::string summary_json;
    std::vector<std::string> warnings;
    std::vector<PassTime> pass_times;
    JobWithPasses with_passes;
    bool is_design = false;
};

// Runs the jobs sent, as many at once as the service has workers, each on
// a machine of its own, and lets a bounded number of requests wait for one.
class EstimateQueue {
public:
    explicit EstimateQueue(const ServeOptions& options)
        : options_(options), machines_(options.workers)
    {
    }

    // Runs the job of the request, a design in the body imported first
    // (the body then holds the job); false with the error answered.
    bool estimate(const httplib::Request& req, std::string& body, httplib::Response& res,
               EstimateRun* out);

    // Runs the sweep of the request, as estimate does; false with the error
    // answered.
    bool sweep(const httplib::Request& req, std::string& body, httplib::Response& res,
               const SweepSpec& sweep_asked, SweepResult* out, std::string* name);

    // Imports the design in the body with the query's settings, holding a
    // worker's place while it does; false with the error answered.
    bool import(const httplib::Request& req, const std::string& body, httplib::Response& res,
                ImportedBody* out);

private:
    bool enter_queue();
    void leave_queue();

    // Waits for a free machine with a place in the queue and does the work
    // on it (false from it: the error is answered); false with the error
    // answered when none became free.
    template <class Work>
    bool hold_machine(httplib::Response& res, Work work);

    // Imports a design in the body, which then holds its job, and takes what
    // the job holds beyond the design from what keep may keep; false with
    // the error answered. A job file is left as it is.
    bool import_in_place(std::string& body, const EstimateAsk& ask, httplib::Response& res,
                         TimelineKeep* keep, DesignNote* note) const;

    const ServeOptions options_;
    MachinePool machines_;
    std::mutex count_mutex_;
    int waiting_ = 0;
};
