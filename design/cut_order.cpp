#include "design/cut_order.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

namespace design {

namespace {

// Pieces beyond which one pen's subpaths keep their document order: the
// nearest-neighbour search and the containment test stay well under a
// second below it.
constexpr std::size_t MAX_ORDERED_PIECES = 200'000;
// Work (edges crossed, candidates weighed) the containment test may do
// before it falls back to cutting the smallest contours first.
constexpr std::int64_t CONTAINMENT_BUDGET = 60'000'000;

double distance(IPoint a, IPoint b)
{
    const double dx = static_cast<double>(a.x) - b.x;
    const double dy = static_cast<double>(a.y) - b.y;
    return std::sqrt(dx * dx + dy * dy);  // exact: on the table, under 2^15 units
}

IPoint entry_point(const CutPiece& p, bool reversed)
{
    return reversed ? p.points.back() : p.points.front();
}

IPoint exit_point(const CutPiece& p, bool reversed)
{
    return reversed ? p.points.front() : p.points.back();
}

// A grid of the pieces' entry points (both ends of an open piece, which
// may be cut either way) for the nearest one to the head.
class EntryGrid {
public:
    EntryGrid(const std::vector<CutPiece>& pieces, const std::vector<std::size_t>& indices)
        : pieces_(pieces), done_(pieces.size(), false)
    {
        std::int64_t x0 = std::numeric_limits<std::int32_t>::max(), y0 = x0;
        std::int64_t x1 = std::numeric_limits<std::int32_t>::min(), y1 = x1;
        for (std::size_t i : indices) {
            for (const IPoint& p : {pieces[i].points.front(), pieces[i].points.back()}) {
                x0 = std::min<std::int64_t>(x0, p.x), y0 = std::min<std::int64_t>(y0, p.y);
                x1 = std::max<std::int64_t>(x1, p.x), y1 = std::max<std::int64_t>(y1, p.y);
            }
        }
        const auto side = static_cast<std::int64_t>(
            std::ceil(std::sqrt(static_cast<double>(indices.size()) / 2.0)) + 1);
        x0_ = x0, y0_ = y0;
        cell_ = std::max<std::int64_t>(1, std::max(x1 - x0, y1 - y0) / side + 1);
        nx_ = (x1 - x0) / cell_ + 1;
        ny_ = (y1 - y0) / cell_ + 1;
        cells_.resize(static_cast<std::size_t>(nx_ * ny_));
    }

    void insert(std::size_t piece)
    {
        add(piece, false);
        if (!pieces_[piece].closed) {
            add(piece, true);
        }
    }

    void remove(std::size_t piece) { done_[piece] = true; }

    // The nearest entry to the head; false when none is left.
    bool nearest(IPoint head, CutStep* step)
    {
        const std::int64_t cx = std::clamp<std::int64_t>((head.x - x0_) / cell_, 0, nx_ - 1);
        const std::int64_t cy = std::clamp<std::int64_t>((head.y - y0_) / cell_, 0, ny_ - 1);
        double best = std::numeric_limits<double>::infinity();
        const std::int64_t rings = std::max(nx_, ny_);
        for (std::int64_t r = 0; r <= rings; ++r) {
            // Every point of ring r + 1 lies at least r cells from the head.
            if (best <= static_cast<double>((r - 1) * cell_)) {
                break;
            }
            for (std::int64_t y = cy - r; y <= cy + r; ++y) {
                for (std::int64_t x = cx - r; x <= cx + r; ++x) {
                    const bool edge = y == cy - r || y == cy + r || x == cx - r || x == cx + r;
                    if (edge && x >= 0 && y >= 0 && x < nx_ && y < ny_) {
                        scan(cells_[static_cast<std::size_t>(y * nx_ + x)], head, &best, step);
                    }
                }
            }
            if (best == 0) {
                break;
            }
        }
        return std::isfinite(best);
    }

private:
    struct Entry {
        std::size_t piece;
        bool reversed;
    };

    void add(std::size_t piece, bool reversed)
    {
        const IPoint p = entry_point(pieces_[piece], reversed);
        const std::int64_t x = (p.x - x0_) / cell_, y = (p.y - y0_) / cell_;
        cells_[static_cast<std::size_t>(y * nx_ + x)].push_back({piece, reversed});
    }

    void scan(std::vector<Entry>& cell, IPoint head, double* best, CutStep* step)
    {
        for (std::size_t k = 0; k < cell.size();) {
            if (done_[cell[k].piece]) {
                cell[k] = cell.back();
                cell.pop_back();
                continue;
            }
            const double d = distance(head, entry_point(pieces_[cell[k].piece], cell[k].reversed));
            if (d < *best || (d == *best && cell[k].piece < step->piece)) {
                *best = d;
                *step = {cell[k].piece, cell[k].reversed};
            }
            ++k;
        }
    }

    const std::vector<CutPiece>& pieces_;
    std::vector<bool> done_;
    std::vector<std::vector<Entry>> cells_;
    std::int64_t x0_ = 0, y0_ = 0, cell_ = 1, nx_ = 1, ny_ = 1;
};

struct Box {
    std::int32_t x0, y0, x1, y1;
    double area() const { return (double(x1) - x0) * (double(y1) - y0); }
    bool holds(const Box& o) const { return x0 <= o.x0 && y0 <= o.y0 && x1 >= o.x1 && y1 >= o.y1; }
};

Box box_of(const CutPiece& p)
{
    Box b{p.points[0].x, p.points[0].y, p.points[0].x, p.points[0].y};
    for (const IPoint& q : p.points) {
        b = {std::min(b.x0, q.x), std::min(b.y0, q.y), std::max(b.x1, q.x), std::max(b.y1, q.y)};
    }
    return b;
}

// The area a closed piece encloses (shoelace), unsigned.
double enclosed_area(const CutPiece& p)
{
    double twice = 0;
    for (std::size_t i = 0; i + 1 < p.points.size(); ++i) {
        twice +=
            double(p.points[i].x) * p.points[i + 1].y - double(p.points[i + 1].x) * p.points[i].y;
    }
    return std::fabs(twice) / 2.0;
}

// Whether the point lies inside the closed piece (even-odd rule); *work
// counts the edges crossed.
bool inside(const CutPiece& poly, IPoint p, std::int64_t* work)
{
    bool in = false;
    const std::size_t n = poly.points.size();
    *work += static_cast<std::int64_t>(n);
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
        const IPoint a = poly.points[i], b = poly.points[j];
        if ((a.y > p.y) != (b.y > p.y)) {
            const double x = a.x + (double(p.y) - a.y) * (double(b.x) - a.x) / (double(b.y) - a.y);
            if (p.x < x) {
                in = !in;
            }
        }
    }
    return in;
}

// For each piece, the smallest closed piece that contains it (or -1); false
// when the work ran over the budget.
bool containing_pieces(const std::vector<CutPiece>& pieces, const std::vector<std::size_t>& idx,
                       std::vector<std::ptrdiff_t>* parent)
{
    std::vector<Box> box(pieces.size());
    std::vector<double> area(pieces.size(), 0);
    std::vector<std::size_t> closed;
    for (std::size_t i : idx) {
        box[i] = box_of(pieces[i]);
        if (pieces[i].closed) {
            area[i] = enclosed_area(pieces[i]);
            closed.push_back(i);
        }
    }
    std::sort(closed.begin(), closed.end(), [&](std::size_t a, std::size_t b) {
        return area[a] != area[b] ? area[a] < area[b] : a < b;
    });
    std::int64_t work = 0;
    parent->assign(pieces.size(), -1);
    for (std::size_t a : idx) {
        for (std::size_t b : closed) {
            if (++work > CONTAINMENT_BUDGET) {
                return false;
            }
            if (b == a || area[b] < area[a] || !box[b].holds(box[a]) ||
                (pieces[a].closed && area[b] == area[a] && b < a)) {
                continue;
            }
            if (inside(pieces[b], pieces[a].points.front(), &work)) {
                (*parent)[a] = static_cast<std::ptrdiff_t>(b);
                break;
            }
        }
    }
    return true;
}

// Greedy nearest-entry order. With parents, a closed piece becomes
// available once every piece it contains has been cut.
std::vector<CutStep> greedy_order(const std::vector<CutPiece>& pieces,
                                  const std::vector<std::size_t>& idx, IPoint start,
                                  const std::vector<std::ptrdiff_t>* parent)
{
    std::vector<std::int64_t> pending(pieces.size(), 0);
    if (parent != nullptr) {
        for (std::size_t i : idx) {
            if ((*parent)[i] >= 0) {
                ++pending[static_cast<std::size_t>((*parent)[i])];
            }
        }
    }
    EntryGrid grid(pieces, idx);
    for (std::size_t i : idx) {
        if (pending[i] == 0) {
            grid.insert(i);
        }
    }
    std::vector<CutStep> steps;
    IPoint head = start;
    CutStep step;
    while (grid.nearest(head, &step)) {
        grid.remove(step.piece);
        steps.push_back(step);
        head = exit_point(pieces[step.piece], step.reversed);
        if (parent != nullptr && (*parent)[step.piece] >= 0) {
            const auto up = static_cast<std::size_t>((*parent)[step.piece]);
            if (--pending[up] == 0) {
                grid.insert(up);
            }
        }
    }
    return steps;
}

std::vector<CutStep> document_order(const std::vector<std::size_t>& idx)
{
    std::vector<CutStep> steps;
    for (std::size_t i : idx) {
        steps.push_back({i, false});
    }
    return steps;
}

// Smallest enclosed area first: whatever a contour contains is smaller.
std::vector<CutStep> smallest_first(const std::vector<CutPiece>& pieces,
                                    std::vector<std::size_t> idx)
{
    std::vector<double> key(pieces.size(), 0);
    for (std::size_t i : idx) {
        key[i] = pieces[i].closed ? enclosed_area(pieces[i]) : 0;
    }
    std::stable_sort(idx.begin(), idx.end(),
                     [&](std::size_t a, std::size_t b) { return key[a] < key[b]; });
    return document_order(idx);
}

// True when every piece of steps comes before the closed piece that
// contains it.
bool holes_first(const std::vector<CutStep>& steps, const std::vector<std::ptrdiff_t>& parent)
{
    std::vector<std::size_t> at(parent.size(), 0);
    for (std::size_t k = 0; k < steps.size(); ++k) {
        at[steps[k].piece] = k;
    }
    for (const CutStep& step : steps) {
        const std::ptrdiff_t up = parent[step.piece];
        if (up >= 0 && at[static_cast<std::size_t>(up)] < at[step.piece]) {
            return false;
        }
    }
    return true;
}

// Of two orders, the one with the shorter pen-up travel; the first on a tie.
std::vector<CutStep> shorter_of(std::vector<CutStep> a, std::vector<CutStep> b,
                                const std::vector<CutPiece>& pieces, IPoint start)
{
    return travel_length(pieces, b, start) < travel_length(pieces, a, start) ? b : a;
}

}  // namespace

double travel_length(const std::vector<CutPiece>& pieces, const std::vector<CutStep>& steps,
                     IPoint start)
{
    double total = 0;
    IPoint head = start;
    for (const CutStep& s : steps) {
        total += distance(head, entry_point(pieces[s.piece], s.reversed));
        head = exit_point(pieces[s.piece], s.reversed);
    }
    return total;
}

std::vector<CutStep> order_pieces(const std::vector<CutPiece>& pieces,
                                  const std::vector<std::size_t>& indices, IPoint start,
                                  CutOrder order, std::string* warning)
{
    if (order == CutOrder::document || indices.size() < 2) {
        return document_order(indices);
    }
    if (indices.size() > MAX_ORDERED_PIECES) {
        *warning = "more than " + std::to_string(MAX_ORDERED_PIECES) +
                   " subpaths in one pen: they are cut in document order";
        return order == CutOrder::inside ? smallest_first(pieces, indices)
                                         : document_order(indices);
    }
    if (order == CutOrder::travel) {
        return shorter_of(greedy_order(pieces, indices, start, nullptr),
                          document_order(indices), pieces, start);
    }
    std::vector<std::ptrdiff_t> parent;
    if (!containing_pieces(pieces, indices, &parent)) {
        *warning = "too many nested contours to weigh travel: the smallest contours are cut "
                   "first";
        return smallest_first(pieces, indices);
    }
    std::vector<CutStep> steps = greedy_order(pieces, indices, start, &parent);
    // A document that already cuts its holes first keeps its order unless
    // the travel order found is shorter.
    std::vector<CutStep> doc = document_order(indices);
    if (!holes_first(doc, parent)) {
        return steps;
    }
    return shorter_of(std::move(doc), std::move(steps), pieces, start);
}

}  // namespace design
