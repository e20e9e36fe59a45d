#include "base/job_stop.h"

#include <cstdio>

JobStopState job_stop_state;

void job_stop_at_entry(const char* reason)
{
    JobStopState& s = job_stop_state;
    if (!s.stop_asked) {
        std::snprintf(s.stop_reason, sizeof s.stop_reason, "%s", reason);
        s.stop_asked = true;
    }
}

const char* job_stop_reason()
{
    return job_stop_state.stop_asked ? job_stop_state.stop_reason : nullptr;
}

void job_stop_clear()
{
    job_stop_state = JobStopState{};
}
