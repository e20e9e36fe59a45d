#include "cli/cli_options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

#include <CLI/CLI.hpp>

#include "job/job_run.h"
#include "cli/design_input.h"
#include "job/output_file.h"

namespace {

const char* const usage_lines =
    "usage: vemtrac                 run Vemtrac.cmd beside the program, write Vemtrac.sts\n"
    "       vemtrac DIR             the same with the folder DIR\n"
    "       vemtrac --report [--json] [--timeline FILE] [--svg FILE] [--force]\n"
    "                        [--set KEY=VALUE]... [--rate AMOUNT [--setup MIN]]\n"
    "                        [SETTINGS] JOB...\n"
    "                               estimate each JOB and print where the time goes\n"
    "       vemtrac --report --sweep KEY=FROM:TO:STEP [--fit H:MM:SS] [--json]\n"
    "                        [--svg FILE] [--set ...] [--rate ...] JOB\n"
    "                               the job's run time at each value of a setting\n"
    "       vemtrac import DESIGN [SETTINGS] -o JOB [--force] [--json]\n"
    "                               turn an SVG, DXF, plot file, PNG or JPEG into a job\n"
    "       vemtrac serve [--host H] [--port P] [--max-body BYTES] [--queue N]\n"
    "                     [--workers N] [--tick-limit N] [--time-limit-s N]\n"
    "                     [--timeout-s N] [--header-timeout-s N] [--body-timeout-s N]\n"
    "                     [--connections N] [--memory-budget-mib N] [--cors ORIGIN]\n"
    "                               the estimates and their page over HTTP\n"
    "                               (vemtrac serve --help: what each option does)\n"
    "       vemtrac --help | -h     this help in full\n"
    "       vemtrac --version       version and machine model\n"
    "options for every form: --replay fast|full|literal; for --report: --threads N\n";

// Why an output cannot be written where the command line asks, or empty:
// its name says another kind of file (--svg out.png), it is one of the jobs
// or the other output (a slip such as --svg JOB JOB), a job file, or a file
// that is not an earlier output of its kind and --force is not given.
// "-" is standard output.
std::string output_problem(const CliOptions& o)
{
    namespace fs = std::filesystem;
    const std::pair<const std::string*, OutputKind> outputs[] = {
        {&o.timeline_file, OutputKind::timeline}, {&o.svg_file, OutputKind::picture}};
    for (const auto& [path, kind] : outputs) {
        std::string why;
        if (path->empty() || *path == standard_output_name) {
            continue;
        }
        for (const std::string& job : o.jobs) {
            std::error_code ec;
            const bool folder = fs::is_directory(job, ec);
            if (same_file(*path, job) ||
                (folder && same_file(*path, (fs::path(job) / "Vemtrac.cmd").string()))) {
                return *path + " is a job given: the output would replace it";
            }
        }
        if (!output_spares_job_file(*path, &why) || !output_name_fits(*path, kind, &why) ||
            !output_replaceable(*path, kind, o.force, &why)) {
            return why;
        }
    }
    if (!o.timeline_file.empty() && !o.svg_file.empty() && same_file(o.timeline_file, o.svg_file)) {
        return o.svg_file == standard_output_name
                   ? "--timeline - and --svg - would both write to standard output"
                   : "--timeline and --svg name the same file";
    }
    return "";
}

// The what-if options as given, before they are read.
struct WhatIfArgs {
    std::vector<std::string> sets;
    std::string sweep;
    std::string fit;
    std::string rate;
    std::string setup;
    bool given() const
    {
        return !sets.empty() || !sweep.empty() || !fit.empty() || !rate.empty() || !setup.empty();
    }
};

// An amount that is a finite number, 0 or more, and nothing else.
bool parse_amount(const std::string& text, double* value)
{
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && std::isfinite(*value) &&
           *value >= 0 && text.find_first_of("xXpPnN") == std::string::npos;
}

// "H:MM:SS" as milliseconds (minutes and seconds below 60).
bool parse_slot(const std::string& text, std::uint32_t* ms)
{
    unsigned part[3] = {};
    const char* at = text.data();
    const char* const end = text.data() + text.size();
    for (int i = 0; i < 3; ++i) {
        const auto [next, ec] = std::from_chars(at, end, part[i]);
        const bool last = i == 2;
        if (ec != std::errc{} || next == at || (i > 0 && next - at != 2) ||
            (last ? next != end : next == end || *next != ':')) {
            return false;
        }
        at = last ? next : next + 1;
    }
    if (part[1] > 59 || part[2] > 59 || part[0] > 1000) {
        return false;
    }
    *ms = ((part[0] * 60 + part[1]) * 60 + part[2]) * 1000;
    return true;
}

// Reads --set, --sweep, --fit, --rate and --setup; says what is wrong.
std::string read_what_if(const WhatIfArgs& a, CliOptions* o)
{
    std::string error;
    for (const std::string& text : a.sets) {
        SettingOverride setting;
        if (!parse_setting_override(text, &setting, &error)) {
            return "--set " + error;
        }
        add_setting_override(&o->overrides, setting);
    }
    if (!a.sweep.empty()) {
        SweepSpec sweep;
        if (!parse_sweep(a.sweep, &sweep, &error)) {
            return "--sweep " + error;
        }
        if (!sweep_leaves_settings(sweep, o->overrides, &error)) {
            return "--set and --sweep: " + error;
        }
        o->sweep = std::move(sweep);
    }
    if (!a.fit.empty()) {
        std::uint32_t ms = 0;
        if (!parse_slot(a.fit, &ms)) {
            return "--fit " + a.fit + ": a slot is given as H:MM:SS, e.g. 1:30:00";
        }
        if (!o->sweep) {
            return "--fit goes with --sweep";
        }
        o->fit_ms = ms;
    }
    if (!a.rate.empty() || !a.setup.empty()) {
        CostRate rate;
        if (a.rate.empty()) {
            return "--setup goes with --rate";
        }
        if (!parse_amount(a.rate, &rate.per_hour)) {
            return "--rate " + a.rate + ": the rate is an amount per hour, 0 or more, e.g. 45.50";
        }
        if (!a.setup.empty() && !parse_amount(a.setup, &rate.setup_minutes)) {
            return "--setup " + a.setup + ": the setup is minutes per job, 0 or more";
        }
        o->rate = rate;
    }
    return "";
}

// Checks the what-if options against the rest of the report form.
std::string what_if_problem(const CliOptions& o, const std::vector<std::string>& paths)
{
    if (o.sweep && paths.size() != 1) {
        return "--sweep takes exactly one JOB";
    }
    if (o.sweep && !o.timeline_file.empty()) {
        return "--sweep draws no timeline (--svg FILE draws its chart)";
    }
    return "";
}

// Checks what CLI11 cannot: which options go with which form.
void check_forms(CliOptions* o, bool report, const std::vector<std::string>& paths,
                 const WhatIfArgs& what_if)
{
    if (report) {
        o->mode = CliMode::report;
        o->jobs = paths;
        if (paths.empty()) {
            o->error = "--report needs at least one JOB";
        } else if ((!o->timeline_file.empty() || !o->svg_file.empty()) && paths.size() != 1) {
            o->error = "--timeline and --svg take exactly one JOB";
        } else if (o->error = read_what_if(what_if, o); o->error.empty()) {
            o->error = what_if_problem(*o, paths);
        }
        if (o->error.empty()) {
            o->error = design_settings_problem(o->design_settings);
        }
        if (o->error.empty()) {
            o->error = output_problem(*o);
        }
    } else if (what_if.given()) {
        o->error = "--set, --sweep, --fit, --rate and --setup go with --report (the machine's "
                   "own form runs the job as written)";
    } else if (!o->design_settings.empty()) {
        o->error = "the import settings go with --report or import";
    } else if (o->json || o->force || !o->timeline_file.empty() || !o->svg_file.empty()) {
        o->error = "--json, --timeline, --svg and --force go with --report";
    } else if (paths.size() > 1) {
        o->error = "more than one folder given (to estimate several jobs, use --report)";
    } else if (paths.size() == 1) {
        std::error_code ec;
        if (!std::filesystem::is_directory(paths[0], ec)) {
            o->error = paths[0] + " is not a folder (to estimate a job file, use --report)";
        }
        o->folder = paths[0];
    }
    if (!o->error.empty()) {
        o->mode = CliMode::usage_error;
    }
}

// The import settings, each an option of the report form and of import,
// kept in the order given as (JSON name, value).
void add_design_settings(CLI::App* app, DesignSettingArgs* args)
{
    static const std::pair<const char*, const char*> valued[] = {
        {"--format", "format"}, {"--tolerance", "tolerance"}, {"--order", "order"},
        {"--pen", "pen"}, {"--speed", "speed"}, {"--speed-code", "speed_code"},
        {"--passes", "passes"}, {"--raster-speed", "raster_speed"},
        {"--raster-speed-code", "raster_speed_code"}, {"--at", "at"}, {"--lpi", "lpi"},
        {"--dpi", "dpi"}, {"--image-dpi", "image_dpi"}};
    for (const auto& [flag, name] : valued) {
        app->add_option_function<std::vector<std::string>>(
               flag,
               [args, name = std::string(name)](const std::vector<std::string>& values) {
                   for (const std::string& value : values) {
                       args->emplace_back(name, value);
                   }
               })
            ->allow_extra_args(false)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
            ->group("Import settings");
    }
    static const std::pair<const char*, const char*> flags[] = {
        {"--one-way", "one_way"}, {"--lpi-round", "lpi_round"}, {"--keep-blank", "keep_blank"}};
    for (const auto& [flag, name] : flags) {
        app->add_flag_callback(flag, [args, name = std::string(name)] {
            args->emplace_back(name, "true");
        });
    }
}

// Checks the import form: one design, an output, settings that hold.
void check_import_form(CliOptions* o, const std::vector<std::string>& designs)
{
    o->mode = CliMode::import_design;
    o->jobs = designs;
    if (designs.size() != 1) {
        o->error = "import takes exactly one DESIGN";
    } else if (o->import_output.empty()) {
        o->error = "import needs -o JOB, the job file to write";
    } else {
        o->error = design_settings_problem(o->design_settings);
    }
    if (!o->error.empty()) {
        o->mode = CliMode::usage_error;
    }
}

// The serve form's options, on its own subcommand.
CLI::App* add_serve_form(CLI::App& app, ServeOptions* s, bool* help)
{
    CLI::App* serve = app.add_subcommand("serve", "the estimate service");
    serve->set_help_flag();
    serve->add_flag("-h,--help", *help);
    serve->add_option("--host", s->host)->type_name("HOST");
    serve->add_option("--port", s->port)->check(CLI::Range(0, 65535));
    serve->add_option("--max-body", s->max_body)
        ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 40));
    serve->add_option("--queue", s->queue)->check(CLI::Range(1, 1000));
    serve->add_option("--workers", s->workers)->check(CLI::Range(1u, 1024u));
    serve->add_option("--tick-limit", s->tick_limit)
        ->check(CLI::Range(std::uint64_t{1}, replay_max_job_ticks));
    serve->add_option_function<std::uint32_t>(
              "--time-limit-s", [s](std::uint32_t seconds) { s->time_limit_ms = seconds * 1000u; })
        ->check(CLI::Range(1u, 86400u));
    serve->add_option("--timeout-s", s->timeout_s)->check(CLI::Range(1, 3600));
    serve->add_option("--header-timeout-s", s->header_timeout_s)->check(CLI::Range(1, 3600));
    serve->add_option("--body-timeout-s", s->body_timeout_s)->check(CLI::Range(1, 3600));
    serve->add_option("--connections", s->connections)->check(CLI::Range(1, 4096));
    serve->add_option_function<std::size_t>(
              "--memory-budget-mib", [s](std::size_t mib) { s->memory_budget = mib << 20; })
        ->check(CLI::Range(std::size_t{0}, std::size_t{1} << 20));
    serve->add_option("--cors", s->cors)->type_name("ORIGIN");
    return serve;
}

} // namespace

namespace {

// The machine's own form, read without the option parser: no arguments,
// or one folder. Every estimate a driver asks for starts the program this
// way, and building the parser's options costs more than a small job's
// estimate. False for every other form.
bool machine_form(int argc, const char* const* argv, ReplayMode replay_default, CliOptions* o)
{
    if (argc > 2) {
        return false;
    }
    if (argc == 2) {
        const std::string_view arg = argv[1];
        std::error_code ec;
        if (arg.empty() || arg[0] == '-' || arg == "serve" || arg == "import" ||
            !std::filesystem::is_directory(argv[1], ec)) {
            return false;
        }
        o->folder = argv[1];
    }
    o->mode = CliMode::machine;
    o->replay = replay_default;
    return true;
}

} // namespace

CliOptions parse_cli(int argc, const char* const* argv, ReplayMode replay_default)
{
    CliOptions o;
    if (machine_form(argc, argv, replay_default, &o)) {
        return o;
    }
    CLI::App app{"vemtrac"};
    app.set_help_flag();
    bool help = false, version = false, report = false;
    std::string replay;
    std::vector<std::string> paths;
    app.add_flag("-h,--help", help);
    app.add_flag("--version", version);
    app.add_flag("--report", report);
    app.add_flag("--json", o.json);
    app.add_flag("--force", o.force);
    CLI::Option* timeline = app.add_option("--timeline", o.timeline_file)->type_name("FILE");
    CLI::Option* svg = app.add_option("--svg", o.svg_file)->type_name("FILE");
    app.add_option("--replay", replay)->check(CLI::IsMember({"full", "fast", "literal"}));
    CLI::Option* threads = app.add_option("--threads", o.threads)->check(CLI::Range(1u, 1024u));
    WhatIfArgs what_if;
    app.add_option("--set", what_if.sets)->type_name("KEY=VALUE")->allow_extra_args(false);
    CLI::Option* sweep = app.add_option("--sweep", what_if.sweep)->type_name("KEY=FROM:TO:STEP");
    CLI::Option* fit = app.add_option("--fit", what_if.fit)->type_name("H:MM:SS");
    CLI::Option* rate = app.add_option("--rate", what_if.rate)->type_name("AMOUNT");
    CLI::Option* setup = app.add_option("--setup", what_if.setup)->type_name("MINUTES");
    app.add_option("paths", paths);
    bool serve_help = false;
    CLI::App* serve = add_serve_form(app, &o.serve, &serve_help);
    add_design_settings(&app, &o.design_settings);
    CLI::App* import = app.add_subcommand("import", "a design turned into a job file");
    std::vector<std::string> designs;
    import->add_option("design", designs);
    import->add_option("-o,--output", o.import_output)->type_name("JOB");
    import->add_flag("--force", o.force);
    import->add_flag("--json", o.json);
    add_design_settings(import, &o.design_settings);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        o.mode = CliMode::usage_error;
        o.error = e.what();
        return o;
    }
    for (const CLI::Option* given : {timeline, svg}) {
        if (given->count() > 0 && given->as<std::string>().empty()) {
            o.mode = CliMode::usage_error;
            o.error = given->get_name() + " needs a file name";
            return o;
        }
    }
    for (const CLI::Option* given : {sweep, fit, rate, setup}) {
        if (given->count() > 0 && given->as<std::string>().empty()) {
            o.mode = CliMode::usage_error;
            o.error = given->get_name() + " needs a value";
            return o;
        }
    }
    o.replay = replay_default;
    if (!replay.empty()) {
        replay_by_name(replay, &o.replay);
    }
    if (help || version || serve_help) {
        o.mode = version && !help && !serve_help ? CliMode::version : CliMode::help;
        o.serve_help = serve_help;
        return o;
    }
    if (serve->parsed()) {
        o.mode = report || o.json || !paths.empty() || what_if.given() ||
                         !o.design_settings.empty()
                     ? CliMode::usage_error
                                                                        : CliMode::serve;
        o.error = "serve takes none of --report, --json, --set, --sweep, --fit, --rate, "
                  "--setup and JOB";
        return o;
    }
    if (import->parsed()) {
        if (report || !paths.empty() || what_if.given() || !o.timeline_file.empty() ||
            !o.svg_file.empty()) {
            o.mode = CliMode::usage_error;
            o.error = "import takes none of --report, --timeline, --svg, --set, --sweep, --fit, "
                      "--rate and --setup";
            return o;
        }
        check_import_form(&o, designs);
        return o;
    }
    check_forms(&o, report, paths, what_if);
    if (o.mode != CliMode::usage_error && o.mode != CliMode::report && threads->count() > 0) {
        o.mode = CliMode::usage_error;
        o.error = "--threads goes with --report";
    }
    return o;
}

std::string cli_serve_help_text()
{
    return "usage: vemtrac serve [OPTIONS]\n"
           "\n"
           "An HTTP service with the estimates and their page. GET / is a page to drop\n"
           "job files and designs on; POST /v1/estimate, /v1/timeline (CSV, or JSON with\n"
           "Accept: application/json) and /v1/picture take the bytes of a job file or a\n"
           "design (import settings in the query, as the import options name them) and\n"
           "answer with the JSON report, the timeline and the picture; POST /v1/sweep\n"
           "runs a sweep, POST /v1/import gives a design's job file; GET\n"
           "/v1/openapi.json describes them all. As many estimates run at once as there\n"
           "are workers, each on a machine of its own; the others wait.\n"
           "\n"
           "  --host HOST            the address to listen on (127.0.0.1: this computer\n"
           "                         only)\n"
           "  --port P               the port (8080; 0 takes a free one and prints it)\n"
           "  --max-body BYTES       the largest job file taken (64 MiB); a larger one is\n"
           "                         answered 413, before it is read when its length is\n"
           "                         declared\n"
           "  --queue N              estimates that may wait for a machine (8); more are\n"
           "                         answered 503 with Retry-After\n"
           "  --workers N            estimates run at once, each on a machine of its own\n"
           "                         (the host's hardware threads; GET /v1/version says)\n"
           "  --tick-limit N         the most servo ticks one estimate runs (2147483647);\n"
           "                         a request's tick_limit can only lower it\n"
           "  --time-limit-s N       the most seconds one estimate runs once it has the\n"
           "                         machine (60); a job either limit stops is answered as\n"
           "                         cut short\n"
           "  --timeout-s N          the longest a request waits for a machine (503\n"
           "                         after it), and the longest a client may stay silent\n"
           "                         in one read or write (30)\n"
           "  --header-timeout-s N   a request's line and headers must arrive within N\n"
           "                         seconds of its start (10)\n"
           "  --body-timeout-s N     and its body within N seconds after them (30); a\n"
           "                         request late with either is answered 408 and its\n"
           "                         connection closed\n"
           "  --connections N        requests read and answered at once (128), on threads\n"
           "                         of their own beside those the estimates wait on\n"
           "  --memory-budget-mib N  what one request may add to the service's memory\n"
           "                         besides four times its body (64); a timeline that\n"
           "                         would need more is answered 422, saying how to ask\n"
           "                         for less\n"
           "  --cors ORIGIN          lets pages of that origin call the service\n"
           "  -h, --help             this help\n";
}

std::string cli_usage_text()
{
    return std::string(usage_lines) + "Run vemtrac --help for what each form reads and writes.\n";
}

std::string cli_help_text()
{
    return std::string(
               "vemtrac estimates how long the laser cutter/engraver runs a job: it replays the\n"
               "job through the machine's own motion control, one servo tick (0.4 ms) at a\n"
               "time, and counts the ticks from the first time the head leaves its hold state\n"
               "to the last time it comes back.\n\n") +
           usage_lines +
           "\n"
           "vemtrac [DIR]\n"
           "  Reads DIR/Vemtrac.cmd (without DIR: the folder of the program) and writes\n"
           "  DIR/Vemtrac.sts: VMTC_OK, the machine model, the estimate in milliseconds,\n"
           "  the estimator's own time and \"Job Run Time <minutes>:<seconds>\". Without\n"
           "  Vemtrac.cmd no status file is written and an old one is removed. Standard\n"
           "  output shows the machine's console; the exit code is 0.\n"
           "\n"
           "vemtrac --report JOB...\n"
           "  Each JOB is a job file of any name or a folder holding Vemtrac.cmd. Prints\n"
           "  for each the estimate (ms and h:mm:ss), whether the job ran to the end of its\n"
           "  file or where it stopped, and where every tick goes: by motion phase (hold,\n"
           "  acceleration, slew, deceleration, creep, delay) and by activity (cutting per\n"
           "  pen, pen-up travel, each raster image's passes and line steps, the raster\n"
           "  carriage), with vectors planned, raster lines, millimetres cut and travelled\n"
           "  and the average cutting speed per pen; after several jobs their total.\n"
           "  A file that is no job file (an image, a PDF, a drawing) is not run: the\n"
           "  report says what it looks like. Writes no status file. Exit code 0 when\n"
           "  every job ran to its end, 1 when a job could not be read (or is no job\n"
           "  file), 3 when one was cut short or refused, 4 when an output could not be\n"
           "  written (2: a usage error, nothing run or written).\n"
           "  --json           one JSON document for all jobs instead of the text\n"
           "  --timeline FILE  CSV entry,keyword,start_ms,end_ms: the machine time at\n"
           "                   which each entry that moves the head starts and ends\n"
           "                   (one JOB only)\n"
           "  --svg FILE       the job drawn on the table as the head moves it, with a\n"
           "                   bar of where the time goes (one JOB only; named *.svg,\n"
           "                   not out.png). For either, FILE - is standard output\n"
           "                   and the report then goes to standard error\n"
           "  --force          replace a FILE that is not an earlier timeline or picture\n"
           "                   (never a job file: a FILE that is a JOB or starts with a\n"
           "                   job file's keyword is always refused)\n"
           "  --set KEY=VALUE  run each job as if the setting KEY were VALUE throughout,\n"
           "                   as if the entry \"KEY VALUE\" stood first and every entry\n"
           "                   of KEY said VALUE (repeatable). KEY is one of RasterSpeedX,\n"
           "                   RasterSpeedY, RasterBandingFree, RasterFiringType, RasterDPI,\n"
           "                   RasterUnit, RasterPower, RasterAccelEngrave, RasterBuEngrave,\n"
           "                   ImageWidth, ImageHeight, or VectorSpeed.N for pen N's speed\n"
           "                   code (N 1..16); VALUE must fit the setting as in a job file,\n"
           "                   speeds (VectorSpeed.N, RasterSpeedX, RasterSpeedY) 0 to 1000\n"
           "                   per mille of the maximum speed\n"
           "  --sweep KEY=FROM:TO:STEP\n"
           "                   run the one JOB once at each value from FROM to TO (both\n"
           "                   included, at most 1001 values) and print a table of the\n"
           "                   run times against the job as written; with --json the same\n"
           "                   as JSON, with --svg FILE a chart of run time against value;\n"
           "                   KEY is not also given to --set\n"
           "  --fit H:MM:SS    with --sweep: mark the values whose run time fits the slot\n"
           "  --rate AMOUNT    what an hour of machine time costs: each job, the total and\n"
           "                   each sweep value show (run time + setup) x rate, two\n"
           "                   decimals, in the rate's own currency\n"
           "  --setup MINUTES  time charged per job on top of its run time (default 0)\n"
           "  --threads N      run up to N jobs (or a sweep's runs) at once (default: one\n"
           "                   per hardware thread); the output is the same for every N\n"
           "  A JOB that is a design (an SVG, DXF, HPGL plot file, PNG or JPEG, told from\n"
           "  its content) is imported as vemtrac import would write it, with the same\n"
           "  SETTINGS, and estimated as that job; the import's warnings join the report's.\n"
           "\n"
           "vemtrac import DESIGN [SETTINGS] -o JOB [--force] [--json]\n"
           "  Writes the job file JOB for the design and prints its summary: cut and\n"
           "  travel length, size and place on the table, pens and their speeds, raster\n"
           "  images and lines, warnings (--json: as JSON). JOB is never the design and\n"
           "  never a job file; a file that exists is replaced only with --force; JOB -\n"
           "  writes the job to standard output and the summary to standard error.\n"
           "  Exit code 0 written, 1 the design could not be read, 2 a usage error,\n"
           "  4 the job could not be written.\n"
           "SETTINGS (for import and --report):\n"
           "  --format svg|dxf|hpgl|png|jpeg  read the design as this format\n"
           "  --tolerance MM       chord deviation of curves (default 0.025)\n"
           "  --order document|travel|inside  the order subpaths are cut (default document)\n"
           "  --pen COLOUR=N       the pen of a stroke colour, DXF layer or plot pen (SP3);\n"
           "                       by default one pen per colour or layer, pen 1 first\n"
           "  --speed N=MM_S       pen N's cutting speed in mm/s\n"
           "  --speed-code N=CODE  pen N's speed as the machine's code (1..1000)\n"
           "  --passes N=K         cut pen N's geometry K times\n"
           "  --raster-speed MM_S, --raster-speed-code CODE (default 1000)\n"
           "                       the engraving speed across\n"
           "  --one-way            every raster pass runs forward\n"
           "  --at X,Y             the design's top-left corner on the table, mm\n"
           "  --lpi N              raster lines per inch (default 254); --lpi-round takes\n"
           "                       the nearest the machine has, with a warning\n"
           "  --dpi N              raster dots per inch across (default 300)\n"
           "  --image-dpi N        the picture's pixels per inch (default its own, or 96)\n"
           "  --keep-blank         send a picture whole, blank rows and margins too\n"
           "  Each repeatable where it takes N=...\n"
           "\n"
           "vemtrac serve\n"
           "  An HTTP service on 127.0.0.1:8080 (--host, --port; port 0 takes a free one):\n"
           "  GET / is a page to drop job files and designs on; POST /v1/estimate,\n"
           "  /v1/timeline and /v1/picture take the bytes of a job file or a design and\n"
           "  answer with the JSON report, the timeline and the picture; POST /v1/import\n"
           "  gives a design's job file; GET /v1/openapi.json describes them. As many\n"
           "  estimates run at once as there are workers (--workers, one per hardware\n"
           "  thread) and a few wait; each request has its deadlines and its memory\n"
           "  budget. vemtrac serve --help tells every option.\n"
           "\n"
           "--replay fast|full|literal\n"
           "  fast (the default) leaves out the servo's position loop, which nothing the\n"
           "  estimate shows depends on, and advances runs of alike ticks in one step.\n"
           "  full runs every servo tick with the position loop, as the machine does.\n"
           "  literal runs each tick through the servo interrupt one at a time and walks\n"
           "  the planner's corner ramps step by step: the slowest, and the reference the\n"
           "  other two are tested against. All three give the same figures;\n"
           "  VEMTRAC_REPLAY=full or literal in the environment asks for the same.\n"
           "\n"
           "VEMTRAC_DEBUG=NAME,NAME...\n"
           "  switches on the machine's trace categories for one run, e.g. ShowJobTime\n"
           "  (ticks per motion phase), DeltaMove, AngleSmooth, ShowVdbVect (the\n"
           "  planner), RasterProc, CarriagePos (raster planning), VemtracDbg (start-up).\n"
           "  With --report the machine's console lines and traces then go to standard\n"
           "  error (without VEMTRAC_DEBUG a report leaves them out).\n";
}
