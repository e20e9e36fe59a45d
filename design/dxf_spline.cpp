// Splines of DXF files: NURBS evaluated with de Boor's algorithm and
// flattened by subdividing each knot span until its chords stay within the
// tolerance; fit-point splines as chord-length cubic interpolation.
#include <algorithm>
#include <cmath>

#include "design/dxf_parts.h"

namespace design {

namespace {

// Deepest halving of a knot span: 2^20 pieces per span at most.
constexpr int MAX_SUBDIVISION = 20;
// The highest degree evaluated (de Boor's work grows with its square).
constexpr int MAX_DEGREE = 30;

// A point of the curve at parameter t within span k (knots[k] <= t <
// knots[k + 1]), in homogeneous form for the weights.
Vec2 evaluate(const Nurbs& c, std::size_t k, double t)
{
    const int p = c.degree;
    double x[MAX_DEGREE + 1], y[MAX_DEGREE + 1], w[MAX_DEGREE + 1];
    for (int j = 0; j <= p; ++j) {
        const std::size_t i = k - static_cast<std::size_t>(p) + static_cast<std::size_t>(j);
        const double wi = c.weights.empty() ? 1.0 : c.weights[i];
        x[j] = c.control[i].x * wi, y[j] = c.control[i].y * wi, w[j] = wi;
    }
    for (int r = 1; r <= p; ++r) {
        for (int j = p; j >= r; --j) {
            const std::size_t i = k - static_cast<std::size_t>(p) + static_cast<std::size_t>(j);
            const double den = c.knots[i + static_cast<std::size_t>(p - r) + 1] - c.knots[i];
            const double a = den > 0 ? (t - c.knots[i]) / den : 0;
            x[j] = (1 - a) * x[j - 1] + a * x[j];
            y[j] = (1 - a) * y[j - 1] + a * y[j];
            w[j] = (1 - a) * w[j - 1] + a * w[j];
        }
    }
    return w[p] != 0 ? Vec2{x[p] / w[p], y[p] / w[p]} : c.control[k];
}

double chord_deviation(Vec2 a, Vec2 b, Vec2 m)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len = std::hypot(dx, dy);
    if (len == 0) {
        return std::hypot(m.x - a.x, m.y - a.y);
    }
    return std::fabs((m.x - a.x) * dy - (m.y - a.y) * dx) / len;
}

// One knot span, halved until the curve at the quarter points of each piece
// lies within the tolerance of its chord.
void draw_span(const Nurbs& c, std::size_t k, PathBuilder* b)
{
    struct Piece {
        double t0, t1;
        Vec2 p0, p1;
        int depth;
    };
    const double a = c.knots[k], z = c.knots[k + 1];
    std::vector<Piece> stack{{a, z, evaluate(c, k, a), evaluate(c, k, z), 0}};
    while (!stack.empty()) {
        const Piece piece = stack.back();
        stack.pop_back();
        const double tm = (piece.t0 + piece.t1) / 2;
        const Vec2 m = evaluate(c, k, tm);
        const Vec2 q1 = evaluate(c, k, (piece.t0 + tm) / 2);
        const Vec2 q3 = evaluate(c, k, (tm + piece.t1) / 2);
        const double dev = std::max({chord_deviation(piece.p0, piece.p1, m),
                                     chord_deviation(piece.p0, piece.p1, q1),
                                     chord_deviation(piece.p0, piece.p1, q3)});
        if (dev <= b->tolerance() || piece.depth >= MAX_SUBDIVISION) {
            b->line_to(piece.p1);
            continue;
        }
        // The later half waits under the earlier one.
        stack.push_back({tm, piece.t1, m, piece.p1, piece.depth + 1});
        stack.push_back({piece.t0, tm, piece.p0, m, piece.depth + 1});
    }
}

}  // namespace

bool draw_nurbs(const Nurbs& c, PathBuilder* b)
{
    const std::size_t n = c.control.size();
    const auto p = static_cast<std::size_t>(c.degree);
    if (c.degree < 1 || c.degree > MAX_DEGREE || n < p + 1 || c.knots.size() != n + p + 1 ||
        (!c.weights.empty() && c.weights.size() != n)) {
        return false;
    }
    for (std::size_t i = 1; i < c.knots.size(); ++i) {
        if (!(c.knots[i] >= c.knots[i - 1])) {
            return false;
        }
    }
    for (double w : c.weights) {
        if (!(w > 0) || !std::isfinite(w)) {
            return false;
        }
    }
    b->move_to(evaluate(c, p, c.knots[p]));
    for (std::size_t k = p; k < n; ++k) {
        if (c.knots[k + 1] > c.knots[k]) {
            draw_span(c, k, b);
        }
    }
    b->finish();
    return true;
}

void draw_fit_curve(const std::vector<Vec2>& fit, Vec2 t0, Vec2 t1, PathBuilder* b)
{
    const std::size_t n = fit.size();
    if (n < 2) {
        return;
    }
    // Chord lengths, and tangents by finite differences over them.
    std::vector<double> h(n - 1);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        h[i] = std::max(1e-12, std::hypot(fit[i + 1].x - fit[i].x, fit[i + 1].y - fit[i].y));
    }
    std::vector<Vec2> tan(n);
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const double s = h[i - 1] + h[i];
        tan[i] = {(fit[i + 1].x - fit[i - 1].x) / s, (fit[i + 1].y - fit[i - 1].y) / s};
    }
    auto end_tangent = [&](Vec2 given, std::size_t a, std::size_t z, double len) {
        const double g = std::hypot(given.x, given.y);
        if (g > 0) {
            return Vec2{given.x / g, given.y / g};
        }
        return Vec2{(fit[z].x - fit[a].x) / len, (fit[z].y - fit[a].y) / len};
    };
    tan[0] = end_tangent(t0, 0, 1, h[0]);
    tan[n - 1] = end_tangent(t1, n - 2, n - 1, h[n - 2]);
    // Each piece as a cubic Bezier with the Hermite tangents over its chord.
    b->move_to(fit[0]);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const double d = h[i] / 3;
        b->cubic_to({fit[i].x + tan[i].x * d, fit[i].y + tan[i].y * d},
                    {fit[i + 1].x - tan[i + 1].x * d, fit[i + 1].y - tan[i + 1].y * d}, fit[i + 1]);
    }
    b->finish();
}

}  // namespace design
