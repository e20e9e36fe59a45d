// Splines of DXF files: NURBS evaluated with de Boor's algorithm and
// flattened by subdividing each knot span until its chords stay within the
// tolerance; fit-point splines as chord-length cubic interpolation.
#include <algorithm>
#include <cmath>

#include "design/read/dxf_parts.h"

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

// The derivative at an end of a fit-point curve over [0, 1]: the given
// tangent's direction, or else one estimated from the five points nearest
// the end (Akima's weighting of the chords), with the total chord length as
// its magnitude.
Vec2 end_derivative(const std::vector<Vec2>& p, Vec2 given, double total, bool start)
{
    const std::size_t n = p.size();
    Vec2 dir = given;
    if (std::hypot(given.x, given.y) == 0) {
        if (n < 3) {
            dir = {p[n - 1].x - p[0].x, p[n - 1].y - p[0].y};
        } else {
            // The chords at the end, continued linearly past it: q1, q2, q3
            // are the three chords nearest the end, q0 and q_1 beyond it.
            auto chord = [&](std::size_t k) {
                return start
                           ? Vec2{p[k + 1].x - p[k].x, p[k + 1].y - p[k].y}
                           : Vec2{p[n - 1 - k].x - p[n - 2 - k].x, p[n - 1 - k].y - p[n - 2 - k].y};
            };
            const Vec2 q1 = chord(0), q2 = chord(1);
            const Vec2 q0{2 * q1.x - q2.x, 2 * q1.y - q2.y};
            const Vec2 qm{2 * q0.x - q1.x, 2 * q0.y - q1.y};
            // For the end, the chords run the other way: mirror the roles.
            const Vec2 before = start ? qm : q2, a = start ? q0 : q1, c = start ? q1 : q0;
            const Vec2 after = start ? q2 : qm;
            const double v1 = std::fabs(before.x * a.y - before.y * a.x);
            const double v2 = std::fabs(c.x * after.y - c.y * after.x);
            const double alpha = v1 + v2 > 0 ? v1 / (v1 + v2) : 0.5;
            dir = {(1 - alpha) * a.x + alpha * c.x, (1 - alpha) * a.y + alpha * c.y};
        }
    }
    const double len = std::hypot(dir.x, dir.y);
    return len > 0 ? Vec2{dir.x / len * total, dir.y / len * total} : Vec2{};
}

// The derivatives at the points of the C2 cubic spline through them at the
// parameters t with the given end derivatives (a tridiagonal system).
std::vector<Vec2> clamped_spline_derivatives(const std::vector<Vec2>& p,
                                             const std::vector<double>& t, Vec2 d0, Vec2 d1)
{
    const std::size_t n = p.size();
    std::vector<Vec2> m(n);
    m[0] = d0, m[n - 1] = d1;
    if (n < 3) {
        return m;
    }
    // Unknowns m[1..n-2]: h_k m_{k-1} + 2 (h_{k-1} + h_k) m_k + h_{k-1} m_{k+1} = r_k.
    std::vector<double> diag(n), upper(n), lower(n);
    std::vector<Vec2> rhs(n);
    for (std::size_t k = 1; k + 1 < n; ++k) {
        const double h0 = std::max(t[k] - t[k - 1], 1e-15), h1 = std::max(t[k + 1] - t[k], 1e-15);
        lower[k] = h1, diag[k] = 2 * (h0 + h1), upper[k] = h0;
        rhs[k] = {3 * (h1 * (p[k].x - p[k - 1].x) / h0 + h0 * (p[k + 1].x - p[k].x) / h1),
                  3 * (h1 * (p[k].y - p[k - 1].y) / h0 + h0 * (p[k + 1].y - p[k].y) / h1)};
    }
    rhs[1] = {rhs[1].x - lower[1] * d0.x, rhs[1].y - lower[1] * d0.y};
    rhs[n - 2] = {rhs[n - 2].x - upper[n - 2] * d1.x, rhs[n - 2].y - upper[n - 2] * d1.y};
    for (std::size_t k = 2; k + 1 < n; ++k) {
        const double w = lower[k] / diag[k - 1];
        diag[k] -= w * upper[k - 1];
        rhs[k] = {rhs[k].x - w * rhs[k - 1].x, rhs[k].y - w * rhs[k - 1].y};
    }
    for (std::size_t k = n - 2; k >= 1; --k) {
        const Vec2 next = k + 2 < n ? m[k + 1] : Vec2{};
        const double up = k + 2 < n ? upper[k] : 0;
        m[k] = {(rhs[k].x - up * next.x) / diag[k], (rhs[k].y - up * next.y) / diag[k]};
    }
    return m;
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

void draw_fit_curve(const std::vector<Vec2>& fit, Vec2 t0, Vec2 t1, const Affine& map,
                    PathBuilder* b)
{
    const std::size_t n = fit.size();
    if (n < 2) {
        return;
    }
    // Parameters by chord length over [0, 1].
    std::vector<double> t(n, 0);
    for (std::size_t i = 1; i < n; ++i) {
        t[i] = t[i - 1] + std::hypot(fit[i].x - fit[i - 1].x, fit[i].y - fit[i - 1].y);
    }
    const double total = t[n - 1];
    if (!(total > 0)) {
        return;
    }
    for (double& v : t) {
        v /= total;
    }
    const Vec2 d0 = end_derivative(fit, t0, total, true);
    const Vec2 d1 = end_derivative(fit, t1, total, false);
    const std::vector<Vec2> m = clamped_spline_derivatives(fit, t, d0, d1);
    // Each piece as a cubic Bezier, through the map (which keeps Beziers).
    b->move_to(map.apply(fit[0]));
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const double h = (t[i + 1] - t[i]) / 3;
        b->cubic_to(map.apply({fit[i].x + m[i].x * h, fit[i].y + m[i].y * h}),
                    map.apply({fit[i + 1].x - m[i + 1].x * h, fit[i + 1].y - m[i + 1].y * h}),
                    map.apply(fit[i + 1]));
    }
    b->finish();
}

}  // namespace design
