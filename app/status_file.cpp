#include "app/status_file.h"

namespace {
// Each line is written as "...\n\r" through a text stream on the machine's
// host, which stores CR LF CR; the bytes are written out here directly.
constexpr const char* eol = "\r\n\r";
} // namespace

bool write_status_ok(std::FILE* file, const JobRunTime& run_time, std::uint32_t app_ms)
{
    int n = 0;
    bool ok = true;
    n = std::fprintf(file, "VMTC_OK%s", eol);
    ok = ok && n > 0;
    n = std::fprintf(file, "%s %s%s", status_model_word, status_firmware_version, eol);
    ok = ok && n > 0;
    n = std::fprintf(file, "%d%s", static_cast<std::int32_t>(run_time.ms), eol);
    ok = ok && n > 0;
    n = std::fprintf(file, "APP Run Time %dms%s", static_cast<std::int32_t>(app_ms), eol);
    ok = ok && n > 0;
    n = std::fprintf(file, "Job Run Time %d:%d%s", run_time.minutes, run_time.seconds, eol);
    ok = ok && n > 0;
    return ok;
}

bool write_status_version_mismatch(std::FILE* file)
{
    int a = std::fprintf(file, "VMTC_Error%s", eol);
    int b = std::fprintf(file, "VersionMisMatch%s", eol);
    return a > 0 && b > 0;
}
