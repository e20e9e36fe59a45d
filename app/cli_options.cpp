#include "app/cli_options.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include <CLI/CLI.hpp>

#include "app/job_run.h"
#include "app/output_file.h"

namespace {

const char* const usage_lines =
    "usage: vemtrac                 run Vemtrac.cmd beside the program, write Vemtrac.sts\n"
    "       vemtrac DIR             the same with the folder DIR\n"
    "       vemtrac --report [--json] [--timeline FILE] [--svg FILE] [--force] JOB...\n"
    "                               estimate each JOB and print where the time goes\n"
    "       vemtrac serve [--host H] [--port P] [--max-body BYTES] [--queue N]\n"
    "                     [--tick-limit N] [--time-limit-s N] [--timeout-s N]\n"
    "                     [--cors ORIGIN]\n"
    "                               the estimates and their page over HTTP\n"
    "       vemtrac --help | -h     this help in full\n"
    "       vemtrac --version       version and machine model\n"
    "options for every form: --replay fast|full|literal\n";

// Why an output cannot be written where the command line asks, or empty:
// it is one of the jobs or the other output (a slip such as --svg JOB JOB),
// or a file that is not an earlier output of its kind and --force is not
// given.
std::string output_problem(const CliOptions& o)
{
    namespace fs = std::filesystem;
    const std::pair<const std::string*, OutputKind> outputs[] = {
        {&o.timeline_file, OutputKind::timeline}, {&o.svg_file, OutputKind::picture}};
    for (const auto& [path, kind] : outputs) {
        if (path->empty()) {
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
        std::string why;
        if (!output_replaceable(*path, kind, o.force, &why)) {
            return why;
        }
    }
    if (!o.timeline_file.empty() && !o.svg_file.empty() && same_file(o.timeline_file, o.svg_file)) {
        return "--timeline and --svg name the same file";
    }
    return "";
}

// Checks what CLI11 cannot: which options go with which form.
void check_forms(CliOptions* o, bool report, const std::vector<std::string>& paths)
{
    if (report) {
        o->mode = CliMode::report;
        o->jobs = paths;
        if (paths.empty()) {
            o->error = "--report needs at least one JOB";
        } else if ((!o->timeline_file.empty() || !o->svg_file.empty()) && paths.size() != 1) {
            o->error = "--timeline and --svg take exactly one JOB";
        } else {
            o->error = output_problem(*o);
        }
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

// The serve form's options, on its own subcommand.
CLI::App* add_serve_form(CLI::App& app, ServeOptions* s)
{
    CLI::App* serve = app.add_subcommand("serve", "the estimate service");
    serve->add_option("--host", s->host)->type_name("HOST");
    serve->add_option("--port", s->port)->check(CLI::Range(0, 65535));
    serve->add_option("--max-body", s->max_body)->check(CLI::Range(std::size_t{1}, std::size_t{1} << 40));
    serve->add_option("--queue", s->queue)->check(CLI::Range(1, 1000));
    serve->add_option("--tick-limit", s->tick_limit)->check(CLI::Range(std::uint64_t{1}, replay_max_job_ticks));
    serve->add_option_function<std::uint32_t>(
              "--time-limit-s", [s](std::uint32_t seconds) { s->time_limit_ms = seconds * 1000u; })
        ->check(CLI::Range(1u, 86400u));
    serve->add_option("--timeout-s", s->timeout_s)->check(CLI::Range(1, 3600));
    serve->add_option("--cors", s->cors)->type_name("ORIGIN");
    return serve;
}

} // namespace

CliOptions parse_cli(int argc, const char* const* argv, ReplayMode replay_default)
{
    CliOptions o;
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
    app.add_option("paths", paths);
    CLI::App* serve = add_serve_form(app, &o.serve);
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
    o.replay = replay_default;
    if (!replay.empty()) {
        replay_by_name(replay, &o.replay);
    }
    if (help || version) {
        o.mode = help ? CliMode::help : CliMode::version;
        return o;
    }
    if (serve->parsed()) {
        o.mode = report || o.json || !paths.empty() ? CliMode::usage_error : CliMode::serve;
        o.error = "serve takes none of --report, --json and JOB";
        return o;
    }
    check_forms(&o, report, paths);
    return o;
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
           "  Writes no status file. Exit code 0 when every job ran to its end, 1 when a\n"
           "  job could not be read, 3 when one was cut short or refused, 4 when an\n"
           "  output could not be written (2: a usage error, nothing run or written).\n"
           "  --json           one JSON document for all jobs instead of the text\n"
           "  --timeline FILE  CSV entry,keyword,start_ms,end_ms: the machine time at\n"
           "                   which each entry that moves the head starts and ends\n"
           "                   (one JOB only)\n"
           "  --svg FILE       the job drawn on the table as the head moves it, with a\n"
           "                   bar of where the time goes (one JOB only)\n"
           "  --force          replace a FILE that is not an earlier timeline or picture\n"
           "                   (never a JOB: an output naming a JOB is always refused)\n"
           "\n"
           "vemtrac serve\n"
           "  An HTTP service on 127.0.0.1:8080 (--host, --port; port 0 takes a free one):\n"
           "  GET / is a page to drop job files on; POST /v1/estimate, /v1/timeline and\n"
           "  /v1/picture take the bytes of a job file and answer with the JSON report,\n"
           "  the timeline and the picture; GET /v1/openapi.json describes them. One\n"
           "  estimate runs at a time, up to --queue (8) wait, each of at most\n"
           "  --tick-limit ticks and --time-limit-s (60) seconds (a job cut short by\n"
           "  either is answered as cut short); bodies over --max-body (64 MiB) are\n"
           "  refused, a request that waits --timeout-s (30) seconds for the machine\n"
           "  is answered 503, and a client silent that long is dropped. --cors ORIGIN\n"
           "  lets pages of that origin call it.\n"
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
