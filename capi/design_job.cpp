#include "capi/design_job.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include <nlohmann/json.hpp>

#include "vemtrac/vemtrac.h"

#ifdef VEMTRAC_DESIGN_IMPORT
#include "report/design_estimate.h"
#endif

namespace {

// A newly allocated copy of bytes, NUL-terminated past them (null when
// memory runs out).
char* copy_bytes(const std::string& bytes)
{
    auto* out = static_cast<char*>(std::malloc(bytes.size() + 1));
    if (out != nullptr) {
        std::memcpy(out, bytes.data(), bytes.size() + 1);
    }
    return out;
}

// The error object of a call.
char* error_out(const std::string& reason)
{
    return copy_bytes(nlohmann::ordered_json{{"result", "error"}, {"reason", reason}}.dump());
}

#ifdef VEMTRAC_DESIGN_IMPORT
// The settings of a JSON text (empty: the defaults); false with *error.
bool settings_of(const std::string& json_text, DesignSettings* settings, std::string* error)
{
    return json_text.empty() || design_settings_from_json(json_text, settings, error);
}

// The whole file at path when it is a design, at most design_bytes_max.
bool read_design_file(const char* path, std::string* bytes)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    char block[65536];
    std::size_t n = 0;
    while (bytes->size() <= design_bytes_max &&
           (n = std::fread(block, 1, sizeof block, file)) > 0) {
        bytes->append(block, n);
    }
    const bool read = std::ferror(file) == 0 && bytes->size() <= design_bytes_max;
    std::fclose(file);
    return read;
}
#endif

} // namespace

#ifdef VEMTRAC_DESIGN_IMPORT
DesignRun import_if_design(const JobRequest& request, const std::string& name,
                           const std::string& settings_json)
{
    DesignRun run;
    DesignSettings settings;
    std::string bytes;
    if (request.job_bytes) {
        bytes = *request.job_bytes;
    } else if (request.job_path != nullptr) {
        bytes = file_head(request.job_path);
    }
    if (bytes.empty()) {
        return run;
    }
    std::string error;
    if (!settings_of(settings_json, &settings, &error)) {
        settings = DesignSettings{};
    }
    if (!is_design_input(bytes, name, settings)) {
        return run;
    }
    run.is_design = true;
    if (!error.empty()) {
        run.reason = "\"import\": " + error;
        return run;
    }
    if (!request.job_bytes) {
        bytes.clear();
        if (!read_design_file(request.job_path, &bytes)) {
            run.reason = "cannot read " + name + " (a design is read up to 256 MiB)";
            return run;
        }
    }
    DesignImport result = design_import(bytes, name, settings);
    run.ok = result.ok;
    run.reason = result.error;
    run.job = std::move(result.job);
    run.warnings = std::move(result.summary.warnings);
    run.pass_times = repeated_pens(result.summary);
    if (!run.pass_times.empty()) {
        run.with_passes = design_with_passes(std::move(bytes), name, settings);
    }
    return run;
}
#else
DesignRun import_if_design(const JobRequest&, const std::string&, const std::string&)
{
    return {};
}
#endif

extern "C" char* vemtrac_import_json(const char* design, size_t design_len, const char* name,
                                     const char* settings_json, char** job, size_t* job_len)
{
    try {
        if (job == nullptr || job_len == nullptr || (design == nullptr && design_len != 0)) {
            return error_out("job, job_len or design is NULL");
        }
        *job = nullptr;
        *job_len = 0;
#ifdef VEMTRAC_DESIGN_IMPORT
        DesignSettings settings;
        std::string error;
        if (settings_json != nullptr && !settings_of(settings_json, &settings, &error)) {
            return error_out(error);
        }
        const DesignImport result = design_import(
            std::string_view(design != nullptr ? design : "", design_len),
            name != nullptr ? name : "", settings);
        if (!result.ok) {
            return error_out(result.error);
        }
        const std::string answer = "{\"result\":\"ok\",\"summary\":" +
                                   design_summary_json(result.summary) + "}";
        char* text = copy_bytes(answer);
        *job = copy_bytes(result.job);
        if (text == nullptr || *job == nullptr) {
            std::free(text);
            std::free(*job);
            *job = nullptr;
            return nullptr;
        }
        *job_len = result.job.size();
        return text;
#else
        (void)name;
        (void)settings_json;
        return error_out("this build of the library has no design import");
#endif
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (...) {
        return error_out("internal error");
    }
}
