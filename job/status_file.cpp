#include "job/status_file.h"

#include <cstdio>

namespace {
// Each line is written as "...\n\r" through a text stream on the machine's
// host, which stores CR LF CR; the bytes are written out here directly.
constexpr const char* eol = "\r\n\r";

std::string formatted(const char* format, std::int32_t value)
{
    char line[64];
    std::snprintf(line, sizeof line, format, value);
    return line;
}
} // namespace

std::vector<std::string> status_ok_lines(const JobRunTime& run_time, std::uint32_t app_ms)
{
    char job_time[64];
    std::snprintf(job_time, sizeof job_time, "Job Run Time %d:%d", run_time.minutes,
                  run_time.seconds);
    return {"VMTC_OK", std::string(status_model_word) + " " + status_firmware_version,
            formatted("%d", static_cast<std::int32_t>(run_time.ms)),
            formatted("APP Run Time %dms", static_cast<std::int32_t>(app_ms)), job_time};
}

std::vector<std::string> status_version_mismatch_lines()
{
    return {"VMTC_Error", "VersionMisMatch"};
}

bool write_status_lines(std::FILE* file, const std::vector<std::string>& lines)
{
    bool ok = true;
    for (const std::string& line : lines) {
        ok = std::fprintf(file, "%s%s", line.c_str(), eol) > 0 && ok;
    }
    return ok;
}
