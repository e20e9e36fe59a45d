#include "report/timeline_csv.h"

namespace {

// A keyword as a CSV field: quoted when it holds a comma, a quote or a
// line break (the interpreter shows other bytes as \xNN already).
std::string csv_field(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

} // namespace

std::string timeline_csv_header()
{
    return "entry,keyword,start_ms,end_ms\n";
}

std::string timeline_csv_row(const TimelineRow& row)
{
    return std::to_string(row.entry) + "," + csv_field(row.keyword) + "," +
           std::to_string(row.start_ms) + "," + std::to_string(row.end_ms) + "\n";
}
