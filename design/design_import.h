// Designs in: turns the bytes of an SVG, DXF, HPGL/PLT plot file or a PNG/
// JPEG picture into the bytes of a job file (the entries the machine reads,
// nothing else) and a summary of what the job does.
//
// The import sits above the machine: it knows the job file's entries and
// the machine's fixed table and speed tables, and nothing of how the machine
// runs them. Nothing here throws; every failure comes back as a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The kinds of design the import reads.
enum class DesignFormat { automatic, svg, dxf, hpgl, png, jpeg };

// The order in which a pen's subpaths are cut.
enum class CutOrder {
    document,  // as they stand in the design
    travel,    // shortest pen-up travel found, never longer than document order
    inside,    // inner contours before the contours that contain them
};

// How a design is turned into a job. Each field's JSON name is given; the
// defaults are the ones an operator gets when setting nothing.
struct DesignSettings {
    DesignFormat format = DesignFormat::automatic;  // "format": "svg", "dxf", "hpgl", ...
    double tolerance_mm = 0.025;                    // "tolerance": chord deviation of curves
    CutOrder order = CutOrder::document;            // "order": "document", "travel", "inside"
    // "pens": {"#ff0000": 2, "Cut": 1}: the pen of a stroke colour, DXF
    // layer or plot-file pen ("SP3"); unnamed ones take free pens in order
    // of appearance, pen 1 first.
    std::vector<std::pair<std::string, int>> pen_of;
    std::map<int, double> speed_mm_s;  // "speed": {"1": 20}: pen 1 cuts at 20 mm/s
    std::map<int, int> speed_code;     // "speed_code": {"1": 500}: the machine's own code
    std::map<int, int> passes;         // "passes": {"1": 2}: pen 1's geometry cut twice
    double raster_speed_mm_s = 0;      // "raster_speed": engraving speed across, mm/s
    int raster_speed_code = 1000;      // "raster_speed_code": per mille of the top speed
    bool one_way = false;              // "one_way": every raster pass runs forward
    bool at_set = false;               // "at": [x, y]: top-left corner on the table, mm
    double at_x_mm = 0;
    double at_y_mm = 0;
    int lpi = 254;            // "lpi": raster lines per inch
    bool lpi_round = false;   // "lpi_round": round an lpi the machine lacks, with a warning
    int dpi = 300;            // "dpi": raster dots per inch across
    double image_dpi = 0;     // "image_dpi": the picture's pixels per inch (0: its own, or 96)
    bool keep_blank = false;  // "keep_blank": send the picture whole, blank rows and margins too
    // Not a setting of the design but of its caller (no JSON name): the
    // memory the import may take besides the design's bytes, 0 for none
    // beyond the fixed limits (about 1 GiB at the most). A design that needs
    // more is refused, saying so.
    std::size_t memory_limit = 0;
};

// One pen of a vector job as the summary tells it.
struct DesignPen {
    int pen = 0;
    std::vector<std::string> sources;  // the colours, layers or plot pens cut with it
    int speed_code = 0;                // the code the job gives the pen
    double speed_mm_s = 0;             // the speed that code gives on the machine
    double asked_mm_s = 0;             // the speed asked for (0: none asked)
    int passes = 1;
    std::int64_t subpaths = 0;
    double cut_mm_per_pass = 0;
};

// One raster image of a picture's job.
struct DesignImage {
    double x_mm = 0, y_mm = 0;  // top-left corner on the table
    double width_mm = 0, height_mm = 0;
    std::int32_t dots = 0;   // ImageWidth: dots across at the job's dpi
    std::int32_t lines = 0;  // ImageHeight: raster lines
};

// What the written job does.
struct DesignSummary {
    std::string name;  // the design's file name, as given
    DesignFormat format = DesignFormat::automatic;
    double x_mm = 0, y_mm = 0;           // top-left corner of what is cut or engraved
    double width_mm = 0, height_mm = 0;  // its size on the table
    double cut_mm = 0;                   // pen-down length, every pass
    double travel_mm = 0;                // pen-up length, the first travel included
    double travel_document_mm = 0;       // the same in document order
    std::int64_t subpaths = 0;
    std::int64_t moves = 0;  // pen-down moves written, every pass
    std::vector<DesignPen> pens;
    CutOrder order = CutOrder::document;
    std::vector<DesignImage> images;
    int lpi = 0, dpi = 0;  // raster settings of a picture's job
    int raster_speed_code = 0;
    double raster_speed_mm_s = 0;
    bool one_way = false;
    std::int64_t lines = 0;  // raster lines of every image
    std::int32_t picture_width_px = 0, picture_height_px = 0;
    double picture_dpi_x = 0, picture_dpi_y = 0;
    std::vector<std::string> warnings;
};

// A design turned into a job, or why it could not be.
struct DesignImport {
    bool ok = false;
    std::string error;  // "NAME: what is wrong" when not ok
    std::string job;    // the job file's bytes
    DesignSummary summary;
};

// Turns a design into a job. name is the design's file name (its extension
// is only a hint at the format, and it names the design in messages; it may
// be empty).
DesignImport design_import(std::string_view bytes, std::string_view name,
                           const DesignSettings& settings);

// The job of the same design with pen cut passes times (the other settings
// as they stand), for the time one pass adds; empty when it cannot be
// imported.
std::string design_job_with_passes(std::string_view bytes, std::string_view name,
                                   const DesignSettings& settings, int pen, int passes);

// The format the bytes hold, found from the content, the extension of name
// only breaking a tie; automatic when nothing fits.
DesignFormat design_detect_format(std::string_view bytes, std::string_view name);

// The format's name ("svg", "dxf", "hpgl", "png", "jpeg", "auto"), and the
// format a name (or a file extension such as "plt") stands for.
const char* design_format_name(DesignFormat format);
bool design_format_from_name(std::string_view name, DesignFormat* format);

// Reads settings from a JSON object (the names above) over *settings.
// False, with *error, for an unknown name or a value out of range.
bool design_settings_from_json(std::string_view json_text, DesignSettings* settings,
                               std::string* error);

// Sets one setting from the text form the command line and a query use:
// "pen" "#ff0000=2", "speed" "1=20", "speed_code" "1=500", "passes" "1=2",
// "at" "10,20", "order" "travel", "lpi" "508", "keep_blank" "true", ...
// (the JSON names). False, with *error, when the name or value is bad.
bool design_setting_set(DesignSettings* settings, std::string_view name, std::string_view value,
                        std::string* error);

// True when name is a setting's name (the JSON's; "pens" too).
bool design_setting_known(std::string_view name);

// Checks the settings as a whole (ranges, pens 1..16); false with *error.
bool design_settings_check(const DesignSettings& settings, std::string* error);

// The summary as a JSON object, and as the lines a console shows.
std::string design_summary_json(const DesignSummary& summary);
std::string design_summary_text(const DesignSummary& summary);
