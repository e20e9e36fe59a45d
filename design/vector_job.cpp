#include "design/vector_job.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "design/cut_order.h"
#include "design/read/colour.h"

namespace design {

namespace {

// Plot-bed units per inch (the planner's unit, 3 per plotter unit) and per
// millimetre.
constexpr std::int32_t PBD_PER_INCH = 3048;
constexpr double PBD_PER_MM = 120.0;
// The machine's top Y speed at power-on: 40 inches per second in plot-bed
// units per second. Speed codes are per mille of it.
constexpr std::int32_t START_MAX_Y = 40 * PBD_PER_INCH;
// Speed codes 1..10 also set the top Y speed, in inches per second.
constexpr std::int32_t CODE_MAX_Y_IPS[11] = {0, 22, 36, 36, 38, 40, 40, 40, 40, 38, 39};
// The code a pen has when the job sets none: the machine's own.
constexpr int DEFAULT_SPEED_CODE = 500;
// Where the head stands when a job starts, in plotter units on the page:
// the machine's home, 240 plot-bed units left of the table's origin and
// 55920 below it (80 and 18640 plotter units).
constexpr IPoint HEAD_START{-80, 18640};

// The pen-down speed of a code in plot-bed units per second: the top Y
// speed times the code, a 32-bit product divided by 1000 unsigned.
std::uint32_t pen_down_speed(int code, std::int32_t max_y)
{
    return static_cast<std::uint32_t>(max_y) * static_cast<std::uint32_t>(code) / 1000u;
}

std::int32_t max_y_after(int code, std::int32_t max_y)
{
    return code >= 1 && code <= 10 ? CODE_MAX_Y_IPS[code] * PBD_PER_INCH : max_y;
}

double to_mm(double pu)
{
    return pu / PU_PER_MM;
}

// The pen of every source: the one named in the settings, pen n for a plot
// file's "SPn", or else the lowest pen still free.
std::vector<int> assign_pens(const VectorDesign& design, const DesignSettings& settings,
                             std::vector<std::string>* warnings)
{
    std::vector<int> pen(design.sources.size(), 0);
    std::vector<bool> named(settings.pen_of.size(), false);
    bool used[PEN_COUNT + 1] = {};
    for (std::size_t s = 0; s < design.sources.size(); ++s) {
        const std::string key = source_key(design.sources[s]);
        for (std::size_t k = 0; k < settings.pen_of.size(); ++k) {
            if (source_key(settings.pen_of[k].first) == key) {
                pen[s] = settings.pen_of[k].second;
                named[k] = true;
            }
        }
        const std::string& src = design.sources[s];
        if (pen[s] == 0 && src.size() > 2 && src.rfind("SP", 0) == 0) {
            const int n = std::atoi(src.c_str() + 2);
            pen[s] = n >= 1 && n <= PEN_COUNT ? n : 0;
        }
        used[pen[s]] = true;
    }
    for (std::size_t k = 0; k < named.size(); ++k) {
        if (!named[k]) {
            warnings->push_back("no colour, layer or plot pen \"" + settings.pen_of[k].first +
                                "\" in the design: its pen setting is not used");
        }
    }
    for (std::size_t s = 0; s < design.sources.size(); ++s) {
        if (pen[s] != 0) {
            continue;
        }
        int free = 1;
        while (free <= PEN_COUNT && used[free]) {
            ++free;
        }
        if (free > PEN_COUNT) {
            warnings->push_back("more than 16 colours or layers: \"" + design.sources[s] +
                                "\" is cut with pen 16");
            free = PEN_COUNT;
        }
        pen[s] = free;
        used[free] = true;
    }
    return pen;
}

// The subpaths with their points placed and rounded: the design's top-left
// corner at the placement, every point rounded to whole plotter units (and
// repeated points dropped).
std::vector<CutPiece> place_pieces(const VectorDesign& design, const std::vector<int>& pens,
                                   const DesignSettings& settings)
{
    double x0 = std::numeric_limits<double>::infinity(), y0 = x0;
    for (const Subpath& s : design.subpaths) {
        for (const Vec2& p : s.points) {
            x0 = std::min(x0, p.x), y0 = std::min(y0, p.y);
        }
    }
    // Rounded near the origin first, then shifted by whole plotter units so
    // that the rounded design's top-left corner stands exactly at the
    // placement: integral designs (plot files) keep every move exactly.
    const double near_x = std::round(-x0), near_y = std::round(-y0);
    std::vector<CutPiece> pieces;
    pieces.reserve(design.subpaths.size());
    std::int32_t min_x = std::numeric_limits<std::int32_t>::max(), min_y = min_x;
    for (const Subpath& s : design.subpaths) {
        CutPiece piece{{}, s.closed, pens[static_cast<std::size_t>(s.source)]};
        piece.points.reserve(s.points.size());
        for (const Vec2& p : s.points) {
            const IPoint q{static_cast<std::int32_t>(std::lround(p.x + near_x)),
                           static_cast<std::int32_t>(std::lround(p.y + near_y))};
            if (piece.points.empty() || q.x != piece.points.back().x ||
                q.y != piece.points.back().y) {
                piece.points.push_back(q);
                min_x = std::min(min_x, q.x), min_y = std::min(min_y, q.y);
            }
        }
        if (piece.points.size() > 1) {
            pieces.push_back(std::move(piece));
        }
    }
    const auto dx = static_cast<std::int32_t>(std::lround(settings.at_x_mm * PU_PER_MM)) - min_x;
    const auto dy = static_cast<std::int32_t>(std::lround(settings.at_y_mm * PU_PER_MM)) - min_y;
    for (CutPiece& piece : pieces) {
        for (IPoint& q : piece.points) {
            q.x += dx, q.y += dy;
        }
    }
    return pieces;
}

// Fails unless every point lies on the table; fills the summary's extent.
void check_on_table(const std::vector<CutPiece>& pieces, DesignSummary* summary)
{
    std::int64_t x0 = std::numeric_limits<std::int64_t>::max(), y0 = x0;
    std::int64_t x1 = std::numeric_limits<std::int64_t>::min(), y1 = x1;
    for (const CutPiece& p : pieces) {
        for (const IPoint& q : p.points) {
            x0 = std::min<std::int64_t>(x0, q.x), y0 = std::min<std::int64_t>(y0, q.y);
            x1 = std::max<std::int64_t>(x1, q.x), y1 = std::max<std::int64_t>(y1, q.y);
        }
    }
    summary->x_mm = to_mm(double(x0)), summary->y_mm = to_mm(double(y0));
    summary->width_mm = to_mm(double(x1 - x0)), summary->height_mm = to_mm(double(y1 - y0));
    char text[200];
    if (double(x1 - x0) > TABLE_WIDTH_PU || double(y1 - y0) > TABLE_HEIGHT_PU) {
        std::snprintf(text, sizeof text,
                      "the design is %.1f x %.1f mm, larger than the table (640 x 460 mm)",
                      summary->width_mm, summary->height_mm);
        throw ImportFailure(text);
    }
    if (x0 < 0 || y0 < 0 || double(x1) > TABLE_WIDTH_PU || double(y1) > TABLE_HEIGHT_PU) {
        std::snprintf(text, sizeof text,
                      "placed at %.3f,%.3f mm the %.1f x %.1f mm design reaches past the "
                      "table's edge (640 x 460 mm)",
                      summary->x_mm, summary->y_mm, summary->width_mm, summary->height_mm);
        throw ImportFailure(text);
    }
}

// The job text, entry by entry.
class JobText {
public:
    void entry(std::string_view keyword, std::int64_t a)
    {
        Line line(keyword);
        line.number(a);
        append(line);
    }
    void entry(std::string_view keyword, std::int64_t a, std::int64_t b)
    {
        Line line(keyword);
        line.number(a);
        line.number(b);
        append(line);
    }
    // "VectorSpeed": the speed codes of pens 1..16 (codes[1..16]).
    void speeds(const std::vector<int>& codes)
    {
        text_ += "VectorSpeed";
        for (std::size_t p = 1; p < codes.size(); ++p) {
            text_ += ' ';
            text_ += std::to_string(codes[p]);
        }
        text_ += '\n';
    }
    // A pen move from one point on the page to another: plot-bed Y runs up
    // the page, the page's y down.
    void move(std::string_view keyword, IPoint from, IPoint to)
    {
        entry(keyword, std::int64_t{to.x} - from.x, std::int64_t{from.y} - to.y);
    }
    std::string take() { return std::move(text_); }
    void reserve(std::size_t n) { text_.reserve(n); }

private:
    // One entry of at most two numbers, made up on the stack and appended
    // whole: a keyword (the job's are under 30 bytes) and 20 digits each.
    struct Line {
        explicit Line(std::string_view keyword)
            : end(std::copy_n(keyword.data(), std::min<std::size_t>(keyword.size(), 32), buf))
        {
        }
        void number(std::int64_t v)
        {
            *end++ = ' ';
            end = std::to_chars(end, buf + sizeof buf, v).ptr;
        }
        char buf[80];
        char* end;
    };

    void append(Line& line)
    {
        *line.end++ = '\n';
        text_.append(line.buf, line.end);
    }

    std::string text_;
};

double piece_length(const CutPiece& p)
{
    double total = 0;
    for (std::size_t i = 1; i < p.points.size(); ++i) {
        const double dx = double(p.points[i].x) - p.points[i - 1].x;
        const double dy = double(p.points[i].y) - p.points[i - 1].y;
        total += std::sqrt(dx * dx + dy * dy);  // exact: on the table, under 2^15 units
    }
    return total;
}

// The speed codes of pens 1..16, in the order the job selects the pens, and
// the pens' lines of the summary.
std::vector<int> pen_speed_codes(const std::vector<int>& used_pens, const DesignSettings& settings,
                                 std::vector<DesignPen>* pens)
{
    std::vector<int> codes(PEN_COUNT + 1, DEFAULT_SPEED_CODE);
    std::int32_t max_y = START_MAX_Y;
    for (int p : used_pens) {
        DesignPen line;
        line.pen = p;
        const auto code_it = settings.speed_code.find(p);
        const auto mm_it = settings.speed_mm_s.find(p);
        if (code_it != settings.speed_code.end()) {
            codes[static_cast<std::size_t>(p)] = code_it->second;
        } else if (mm_it != settings.speed_mm_s.end()) {
            line.asked_mm_s = mm_it->second;
            std::int32_t probe = max_y;
            codes[static_cast<std::size_t>(p)] = speed_code_for(mm_it->second, &probe);
        }
        line.speed_code = codes[static_cast<std::size_t>(p)];
        line.speed_mm_s = speed_of_code(line.speed_code, &max_y);
        const auto passes_it = settings.passes.find(p);
        line.passes = passes_it != settings.passes.end() ? passes_it->second : 1;
        pens->push_back(line);
    }
    return codes;
}

// The pieces of each pen, by pen number.
using PenPieces = std::vector<std::vector<std::size_t>>;

// The summary's line of every pen that cuts, with its sources, and the
// speed codes of pens 1..16.
std::vector<int> pen_lines(const VectorDesign& design, const std::vector<int>& pen_of_source,
                           const PenPieces& by_pen, const DesignSettings& settings,
                           DesignSummary* summary)
{
    std::vector<int> used_pens;
    for (int p = 1; p <= PEN_COUNT; ++p) {
        if (!by_pen[static_cast<std::size_t>(p)].empty()) {
            used_pens.push_back(p);
        }
    }
    const std::vector<int> codes = pen_speed_codes(used_pens, settings, &summary->pens);
    for (std::size_t s = 0; s < design.sources.size(); ++s) {
        for (DesignPen& line : summary->pens) {
            if (line.pen == pen_of_source[s]) {
                line.sources.push_back(design.sources[s]);
            }
        }
    }
    return codes;
}

// One pen's work: its selection, then each pass over its pieces in the
// chosen order, a pen-up move to each piece and its pen-down moves. *head
// follows the head; *doc_head follows it as document order would.
void write_pen(const std::vector<CutPiece>& pieces, const std::vector<std::size_t>& mine,
               const DesignSettings& settings, DesignPen* line, IPoint* head, IPoint* doc_head,
               JobText* job, DesignSummary* summary)
{
    std::string warning;
    const std::vector<CutStep> steps = order_pieces(pieces, mine, *head, settings.order, &warning);
    if (!warning.empty()) {
        summary->warnings.push_back("pen " + std::to_string(line->pen) + ": " + warning);
    }
    std::vector<CutStep> doc;
    for (std::size_t i : mine) {
        doc.push_back({i, false});
        line->cut_mm_per_pass += to_mm(piece_length(pieces[i]));
    }
    line->subpaths = static_cast<std::int64_t>(mine.size());
    job->entry("execute_penselect", line->pen);
    for (int pass = 0; pass < line->passes; ++pass) {
        const double travel = travel_length(pieces, steps, *head);
        summary->travel_mm += to_mm(travel);
        // In document order the head is where the document's own order
        // leaves it, and the travel the same.
        summary->travel_document_mm +=
            to_mm(settings.order == CutOrder::document ? travel
                                                       : travel_length(pieces, doc, *doc_head));
        for (const CutStep& s : steps) {
            const CutPiece& piece = pieces[s.piece];
            const std::size_t n = piece.points.size();
            auto at = [&](std::size_t k) { return piece.points[s.reversed ? n - 1 - k : k]; };
            job->move("pu_default", *head, at(0));
            for (std::size_t k = 1; k < n; ++k) {
                job->move("pd_default", at(k - 1), at(k));
            }
            *head = at(n - 1);
        }
        *doc_head = pieces[mine.back()].points.back();
    }
    summary->cut_mm += line->cut_mm_per_pass * line->passes;
    summary->subpaths += line->subpaths;
}

// Fails when the design's points and the job's moves together take more
// than the memory allowed (0: no allowance given).
void check_job_memory(const VectorDesign& design, std::int64_t moves, std::size_t memory)
{
    const auto need = static_cast<std::uint64_t>(design.segments) * SEGMENT_BYTES +
                      static_cast<std::uint64_t>(moves) * MOVE_BYTES;
    if (memory != 0 && need > memory) {
        throw ImportFailure("its job of " + std::to_string(moves) + " cutting moves needs " +
                            memory_text(need) + " to write, more than the " + memory_text(memory) +
                            " of memory allowed");
    }
}

}  // namespace

double speed_of_code(int code, std::int32_t* max_y)
{
    *max_y = max_y_after(code, *max_y);
    return static_cast<double>(pen_down_speed(code, *max_y)) / PBD_PER_MM;
}

int speed_code_for(double mm_s, std::int32_t* max_y)
{
    const double want = mm_s * PBD_PER_MM;
    int best = DEFAULT_SPEED_CODE;
    double best_miss = std::numeric_limits<double>::infinity();
    for (int code = 1; code <= 1000; ++code) {
        const double miss =
            std::fabs(static_cast<double>(pen_down_speed(code, max_y_after(code, *max_y))) - want);
        // On a tie the code that leaves the top speed alone wins.
        if (miss < best_miss || (miss == best_miss && code > 10 && best <= 10)) {
            best_miss = miss;
            best = code;
        }
    }
    *max_y = max_y_after(best, *max_y);
    return best;
}

std::string write_vector_job(const VectorDesign& design, const DesignSettings& settings,
                             DesignSummary* summary)
{
    const std::vector<int> pen_of_source = assign_pens(design, settings, &summary->warnings);
    const std::vector<CutPiece> pieces = place_pieces(design, pen_of_source, settings);
    summary->order = settings.order;
    if (pieces.empty()) {
        summary->warnings.push_back("nothing to cut: the design has no visible outline");
        return "VemtracCmdVer 1\n";
    }
    check_on_table(pieces, summary);
    PenPieces by_pen(PEN_COUNT + 1);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        by_pen[static_cast<std::size_t>(pieces[i].pen)].push_back(i);
    }
    const std::vector<int> codes = pen_lines(design, pen_of_source, by_pen, settings, summary);
    std::int64_t moves = 0;
    for (const DesignPen& line : summary->pens) {
        for (std::size_t i : by_pen[static_cast<std::size_t>(line.pen)]) {
            moves += static_cast<std::int64_t>(pieces[i].points.size() - 1) * line.passes;
        }
    }
    if (moves > MAX_WRITTEN_MOVES) {
        throw ImportFailure("the job would hold " + std::to_string(moves) +
                            " cutting moves, more than the limit of " +
                            std::to_string(MAX_WRITTEN_MOVES));
    }
    check_job_memory(design, moves, settings.memory_limit);
    JobText job;
    job.reserve(static_cast<std::size_t>(moves) * 24 + 1024);
    job.entry("VemtracCmdVer", 1);
    job.speeds(codes);
    IPoint head = HEAD_START, doc_head = HEAD_START;
    for (DesignPen& line : summary->pens) {
        write_pen(pieces, by_pen[static_cast<std::size_t>(line.pen)], settings, &line, &head,
                  &doc_head, &job, summary);
    }
    job.entry("pu_default", 0, 0);
    summary->moves = moves;
    return job.take();
}

}  // namespace design
