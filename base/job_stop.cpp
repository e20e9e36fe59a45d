#include "base/job_stop.h"

#include <cstdio>

namespace {
char stop_reason[160];
bool stop_asked = false;
} // namespace

void job_stop_at_entry(const char* reason)
{
    if (!stop_asked) {
        std::snprintf(stop_reason, sizeof stop_reason, "%s", reason);
        stop_asked = true;
    }
}

const char* job_stop_reason()
{
    return stop_asked ? stop_reason : nullptr;
}

void job_stop_clear()
{
    stop_asked = false;
    stop_reason[0] = '\0';
}
