#include "cli/design_input.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/shown_text.h"
#include "job/file_kind.h"
#include "job/output_file.h"

#ifdef VEMTRAC_DESIGN_IMPORT
#include "design/design_import.h"
#include "report/design_estimate.h"
#endif

namespace {

#ifndef VEMTRAC_DESIGN_IMPORT
const char* const no_import = "this build of vemtrac has no design import";
#endif

// Says on standard error what went wrong, as the program's own line.
void say_error(const std::string& text)
{
    std::fprintf(stderr, "vemtrac: %s\n", shown::text(text).c_str());
}

// Why the job cannot be written at path, or empty: it is the design, a job
// file, or a file that exists while force is not given.
std::string import_output_problem(const std::string& path, const std::string& design, bool force)
{
    if (path == standard_output_name) {
        return "";
    }
    if (same_file(path, design)) {
        return path + " is the design: the job would replace it";
    }
    std::string why;
    if (!output_spares_job_file(path, &why)) {
        return why;
    }
    std::error_code ec;
    if (!force && std::filesystem::exists(path, ec)) {
        return path + " exists; to replace it, add --force";
    }
    return "";
}

#ifdef VEMTRAC_DESIGN_IMPORT
// The settings the command line gives, over the defaults.
bool settings_from_args(const DesignSettingArgs& args, DesignSettings* settings,
                        std::string* error)
{
    for (const auto& [name, value] : args) {
        if (!design_setting_set(settings, name, value, error)) {
            return false;
        }
    }
    return design_settings_check(*settings, error);
}

// The whole file at path, at most design_bytes_max bytes.
bool read_design(const std::string& path, std::string* bytes, std::string* error)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *error = "cannot open " + path;
        return false;
    }
    char block[65536];
    std::size_t n = 0;
    while ((n = std::fread(block, 1, sizeof block, file)) > 0 &&
           bytes->size() <= design_bytes_max) {
        bytes->append(block, n);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        *error = "cannot read " + path;
    } else if (bytes->size() > design_bytes_max) {
        *error = path + ": a design of more than 256 MiB is not read";
    }
    return error->empty();
}

// What a design was imported from.
struct DesignSource {
    std::string bytes;
    DesignSettings settings;
};

// Imports the design at path; false with *error.
bool import_file(const std::string& path, const DesignSettingArgs& args, DesignImport* result,
                 std::string* error, DesignSource* source)
{
    DesignSettings& settings = source->settings;
    std::string& bytes = source->bytes;
    if (!settings_from_args(args, &settings, error) || !read_design(path, &bytes, error)) {
        return false;
    }
    *result = design_import(bytes, path, settings);
    *error = result->error;
    return result->ok;
}

// Prints the summary of the job written.
bool print_summary(std::FILE* out, const std::string& summary)
{
    std::fputs(summary.c_str(), out);
    return std::fflush(out) == 0 && std::ferror(out) == 0;
}
#endif

} // namespace

#ifdef VEMTRAC_DESIGN_IMPORT
std::string design_settings_problem(const DesignSettingArgs& args)
{
    DesignSettings settings;
    std::string error;
    return settings_from_args(args, &settings, &error) ? "" : error;
}

DesignJob design_job_of(const std::string& path, const CliOptions& options)
{
    DesignJob design;
    DesignSettings settings;
    std::string error;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec) || !settings_from_args(options.design_settings,
                                                                       &settings, &error)) {
        return design;
    }
    const std::string head = file_head(path);
    if (head.empty() || !is_design_input(head, path, settings)) {
        return design;
    }
    design.is_design = true;
    DesignImport result;
    DesignSource source;
    design.ok = import_file(path, options.design_settings, &result, &design.error, &source);
    design.job = std::move(result.job);
    design.warnings = std::move(result.summary.warnings);
    design.pass_times = repeated_pens(result.summary);
    if (!design.pass_times.empty()) {
        design.with_passes = design_with_passes(std::move(source.bytes), path, source.settings);
    }
    return design;
}
#else
std::string design_settings_problem(const DesignSettingArgs& args)
{
    return args.empty() ? "" : no_import;
}

DesignJob design_job_of(const std::string&, const CliOptions&)
{
    return {};
}
#endif

int run_import(const CliOptions& options)
{
    const std::string& design = options.jobs.front();
    const std::string& out = options.import_output;
    if (const std::string problem = import_output_problem(out, design, options.force);
        !problem.empty()) {
        say_error(problem);
        return 2;
    }
#ifdef VEMTRAC_DESIGN_IMPORT
    if (file_reads_as_job_file(design)) {
        say_error(design + " is a job file already: estimate it with --report");
        return 1;
    }
    DesignImport result;
    std::string error;
    DesignSource source;
    if (!import_file(design, options.design_settings, &result, &error, &source)) {
        say_error(error);
        return 1;
    }
    OutputFile job;
    bool written = job.open(out, &error);
    if (written) {
        job.write(result.job);
        written = job.commit(&error);
    }
    if (!written) {
        say_error("cannot write " + out + ": " + error);
        return 4;
    }
    std::FILE* const shown = out == standard_output_name ? stderr : stdout;
    const std::string summary = options.json ? design_summary_json(result.summary) + "\n"
                                             : design_summary_text(result.summary);
    return print_summary(shown, summary) ? 0 : 4;
#else
    say_error(no_import);
    return 1;
#endif
}
