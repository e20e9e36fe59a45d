#include "base/job_stop.h"

#include <cstdio>

void JobStop::job_stop_at_entry(const char* reason)
{
    if (!stop_asked) {
        std::snprintf(stop_reason, sizeof stop_reason, "%s", reason);
        stop_asked = true;
    }
}
