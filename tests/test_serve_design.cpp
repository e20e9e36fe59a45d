// vemtrac serve with designs in the body: each route runs the job a design
// imports to, with the import settings of the query, and gives the
// program's own figures for it; /v1/import hands the job back; bad designs
// and designs past the request's memory are refused, saying why.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "design/design_import.h"
#include "local_server.h"
#include "machine_fixture.h"

namespace {

using nlohmann::json;

std::string example_path(const std::string& name)
{
    return std::string(VEMTRAC_EXAMPLES_DIR) + "/" + name;
}

// The program's report of a design with the command line's settings: its
// job object, without the job's name.
json program_report(const std::string& design, const std::string& options)
{
    const std::string command = "'" VEMTRAC_BINARY "' --report --json " + options + " '" +
                                example_path(design) + "'";
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string text;
    char block[4096];
    std::size_t n = 0;
    while (pipe != nullptr && (n = std::fread(block, 1, sizeof block, pipe)) > 0) {
        text.append(block, n);
    }
    if (pipe != nullptr) {
        pclose(pipe);
    }
    json job = json::parse(text)["jobs"][0];
    job.erase("job");
    return job;
}

// The answer to a design posted to a route: its status and body.
std::pair<int, std::string> post(LocalServer& server, const std::string& path,
                                 const std::string& body, const char* accept = "*/*")
{
    auto r = server.client().Post(path.c_str(), {{"Accept", accept}}, body,
                                  "application/octet-stream");
    return r ? std::make_pair(r->status, r->body) : std::make_pair(0, std::string());
}

} // namespace

TEST(ServeDesign, EstimatesEachFormatAsTheProgramReportsIt)
{
    LocalServer server(ServeOptions{});
    struct Case {
        const char* design;
        const char* query;    // the import settings in the query
        const char* options;  // the same on the command line
    };
    const Case cases[] = {
        {"design_tag.svg", "", ""},
        {"design_tag.svg", "&speed=1=20&passes=2=3&order=travel&pen=%230000ff=3",
         "--speed 1=20 --passes 2=3 --order travel --pen '#0000ff=3'"},
        {"design_bracket.dxf", "&tolerance=0.1&at=10,20", "--tolerance 0.1 --at 10,20"},
        {"design_box.plt", "&speed-code=1=300", "--speed-code 1=300"},
        {"design_badge.png", "", ""},
        {"design_badge.png", "&lpi=127&one_way&keep_blank", "--lpi 127 --one-way --keep-blank"},
    };
    std::vector<std::int64_t> times;
    for (const Case& c : cases) {
        const std::string design = read_all(example_path(c.design));
        const auto [status, body] =
            post(server, std::string("/v1/estimate?name=") + c.design + c.query, design);
        ASSERT_EQ(status, 200) << c.design << c.query << " " << body;
        json figures = json::parse(body);
        EXPECT_EQ(figures["job"], c.design);
        figures.erase("job");
        EXPECT_EQ(figures, program_report(c.design, c.options)) << c.design << c.query;
        times.push_back(figures["run_time_ms"].get<std::int64_t>());
    }
    // The settings change the answer.
    EXPECT_NE(times[0], times[1]);
    EXPECT_NE(times[4], times[5]);
}

TEST(ServeDesign, TimelinePictureSweepAndImportTakeDesigns)
{
    LocalServer server(ServeOptions{});
    const std::string tag = read_all(example_path("design_tag.svg"));
    const std::string settings = "name=design_tag.svg&speed=2=50&passes=1=2";

    // The import: the job file, or with its summary as the library gives it.
    const auto [status, job] = post(server, "/v1/import?" + settings, tag);
    ASSERT_EQ(status, 200) << job;
    DesignSettings asked;
    std::string error;
    ASSERT_TRUE(design_settings_from_json(R"({"speed": {"2": 50}, "passes": {"1": 2}})", &asked,
                                          &error));
    const DesignImport library = design_import(tag, "design_tag.svg", asked);
    EXPECT_EQ(job, library.job);
    const json both = json::parse(post(server, "/v1/import?" + settings, tag,
                                       "application/json").second);
    EXPECT_EQ(both["job"], library.job);
    EXPECT_EQ(both["summary"], json::parse(design_summary_json(library.summary)));

    // The timeline carries the import's summary beside the job's settings.
    const json timeline = json::parse(post(server, "/v1/timeline?" + settings, tag,
                                           "application/json").second);
    EXPECT_EQ(timeline["design"], both["summary"]);
    EXPECT_EQ(timeline["settings"].size(), 2u);
    EXPECT_FALSE(timeline["moves"].empty());
    const auto [drawn, picture] = post(server, "/v1/picture?" + settings, tag);
    EXPECT_EQ(drawn, 200);
    EXPECT_NE(picture.find("<svg"), std::string::npos);

    // A sweep of the design is the sweep of the job it imports to.
    const std::string sweep = "/v1/sweep?key=VectorSpeed.1&values=100,500,900&";
    const auto [swept, design_sweep] = post(server, sweep + settings, tag);
    ASSERT_EQ(swept, 200) << design_sweep;
    EXPECT_EQ(json::parse(design_sweep),
              json::parse(post(server, sweep + "name=design_tag.svg", job).second));
}

TEST(ServeDesign, RefusesBadDesignsSettingsAndDesignsPastTheBudget)
{
    LocalServer server(ServeOptions{});
    const std::string tag = read_all(example_path("design_tag.svg"));
    struct Bad {
        std::string path, body;
        int status;
        const char* says;
    };
    const Bad bad[] = {
        {"/v1/estimate?name=cut.png", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16), 422,
         "cut.png: the PNG"},
        {"/v1/timeline", "<svg><path d='M 0 0 L", 422, "upload: the SVG is not well-formed"},
        {"/v1/picture?lpi=100", read_all(example_path("design_badge.png")), 422,
         "no raster steps for 100 lines per inch"},
        {"/v1/import", example_job("vector_job.cmd"), 422, "a job file already"},
        {"/v1/import", "hello", 422, "not an SVG, DXF, HPGL plot file, PNG or JPEG"},
        {"/v1/estimate?speed=1=fast", tag, 400, "import setting \"speed\""},
        {"/v1/sweep?key=VectorSpeed.1&values=1&passes=1=0", tag, 400, "1 to 100 passes"},
    };
    for (const Bad& b : bad) {
        const auto [status, text] = post(server, b.path, b.body);
        EXPECT_EQ(status, b.status) << b.path << " " << text;
        EXPECT_NE(json::parse(text)["error"].get<std::string>().find(b.says), std::string::npos)
            << b.path << " " << text;
    }

    // A design takes no more than a job may: the body limit, and the
    // memory budget (besides three times the body).
    ServeOptions tight;
    tight.memory_budget = 0;
    LocalServer budget(tight);
    const auto [status, text] = post(budget, "/v1/estimate", tag);
    EXPECT_EQ(status, 422);
    EXPECT_NE(text.find("of memory allowed (a request may take --memory-budget-mib 0 and three "
                        "times its 853 bytes here)"),
              std::string::npos)
        << text;
    tight.max_body = 100;
    LocalServer small(tight);
    EXPECT_EQ(post(small, "/v1/import", tag).first, 413);
}
