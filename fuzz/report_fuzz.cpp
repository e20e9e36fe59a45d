// Fuzz target for what people and programs read: any bytes as a job (its
// first bytes also as the job's name), run in this process with the report
// tallied, then the text report, the JSON document, the timeline and the
// picture written to memory and read back: the text shows no control byte
// and is valid UTF-8, the JSON parses with its figures adding up, every
// timeline row has four fields, the picture is well-formed XML.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "base/console.h"
#include "base/shown_text.h"
#include "job/job_machine.h"
#include "report/job_report.h"
#include "report/job_svg.h"
#include "report/report_json.h"
#include "report/report_text.h"
#include "report/timeline_csv.h"
#include "tests/xml_check.h"

namespace {

// Harness limit, as in job_file_fuzz: slow but valid jobs must not stall
// the fuzzer (about 13 minutes of machine time).
constexpr std::uint64_t fuzz_tick_cap = 2'000'000;

void fail(const char* what)
{
    std::fprintf(stderr, "report_fuzz: %s\n", what);
    std::abort();
}

void add_row(const TimelineRow& row, void* csv)
{
    *static_cast<std::string*>(csv) += timeline_csv_row(row);
}

// The text report as written to a stream.
std::string text_of(const JobReport& report)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    if (out == nullptr) {
        fail("no memory stream");
    }
    write_text_report(out, report);
    std::fclose(out);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

// True when every line of the CSV has four fields (quoted fields may hold
// commas, doubled quotes and line breaks).
bool rows_of_four_fields(const std::string& csv)
{
    int fields = 1;
    bool quoted = false;
    for (std::size_t i = 0; i < csv.size(); ++i) {
        const char c = csv[i];
        if (quoted) {
            if (c == '"' && i + 1 < csv.size() && csv[i + 1] == '"') {
                ++i;
            } else if (c == '"') {
                quoted = false;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            ++fields;
        } else if (c == '\n') {
            if (fields != 4) {
                return false;
            }
            fields = 1;
        }
    }
    return !quoted && fields == 1;
}

// True when the text holds only printable UTF-8 and line breaks.
bool printable_text(const std::string& text)
{
    for (std::size_t at = 0; at < text.size();) {
        if (text[at] == '\n') {
            ++at;
            continue;
        }
        const std::size_t n = shown::printable_sequence(text, at);
        if (n == 0) {
            return false;
        }
        at += n;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string job(reinterpret_cast<const char*>(data), size);
    const std::string name = job.substr(0, 16);
    std::string csv = timeline_csv_header();
    JobRequest request;
    request.job_bytes = job;
    // The machine's console lines would drown the fuzzer's own report.
    ConsoleCapture console;
    request.console = console.sink();
    request.tick_limit = fuzz_tick_cap;
    request.account_ticks = true;
    request.tally_report = true;
    request.timeline_row = add_row;
    request.timeline_context = &csv;
    JobMachine& machine = thread_job_machine();
    const JobResult result = machine.run_job(request);
    const JobReport report = result.outcome != JobOutcome::unreadable
                                 ? make_job_report(machine, name, result)
                                 : unreadable_job_report(name, result.unreadable_reason);

    if (!printable_text(text_of(report))) {
        fail("the text report holds bytes a terminal would act on");
    }
    if (!rows_of_four_fields(csv)) {
        fail("a timeline row has not four fields");
    }
    if (!xml_check::well_formed(job_svg(report))) {
        fail("the picture is not well-formed XML");
    }
    nlohmann::json doc;
    try {
        doc = nlohmann::json::parse(json_report({report}, "0.0.0"));
    } catch (const nlohmann::json::exception&) {
        fail("the JSON does not parse");
    }
    std::int64_t phase_ticks = 0;
    for (const auto& [label, ticks] : doc.at("jobs")[0].at("phases").items()) {
        phase_ticks += ticks.get<std::int64_t>();
    }
    if (phase_ticks != doc.at("jobs")[0].at("ticks").get<std::int64_t>()) {
        fail("the phases do not add up to the ticks");
    }
    return 0;
}
