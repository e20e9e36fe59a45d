// SVG path data, transform lists, lengths and number lists.
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>

#include "design/read/svg_parts.h"

namespace design {

namespace {

// A cursor over SVG's number syntax: numbers may run together ("1.5.5",
// "-1-2") and are separated by blanks and at most one comma.
class NumberText {
public:
    explicit NumberText(std::string_view text) : t_(text) {}

    void skip_separators()
    {
        while (pos_ < t_.size() &&
               (std::isspace(static_cast<unsigned char>(t_[pos_])) || t_[pos_] == ',')) {
            ++pos_;
        }
    }

    bool at_end()
    {
        skip_separators();
        return pos_ >= t_.size();
    }

    char peek() const { return pos_ < t_.size() ? t_[pos_] : '\0'; }
    char take() { return t_[pos_++]; }
    std::size_t position() const { return pos_; }

    // True when a number starts here (after separators).
    bool number_next()
    {
        skip_separators();
        const char c = peek();
        return c == '-' || c == '+' || c == '.' || std::isdigit(static_cast<unsigned char>(c));
    }

    bool number(double* out)
    {
        skip_separators();
        const std::size_t start = pos_;
        if (peek() == '-' || peek() == '+') {
            ++pos_;
        }
        bool digits = false;
        while (std::isdigit(static_cast<unsigned char>(peek()))) {
            ++pos_, digits = true;
        }
        if (peek() == '.') {
            ++pos_;
            while (std::isdigit(static_cast<unsigned char>(peek()))) {
                ++pos_, digits = true;
            }
        }
        if (!digits) {
            pos_ = start;
            return false;
        }
        if ((peek() == 'e' || peek() == 'E') && exponent_follows()) {
            pos_ += 2;
            while (std::isdigit(static_cast<unsigned char>(peek()))) {
                ++pos_;
            }
        }
        *out = read_double(t_.substr(start, pos_ - start));
        return std::isfinite(*out);
    }

    // An arc flag: a single 0 or 1, which may run into the next number.
    bool flag(bool* out)
    {
        skip_separators();
        if (peek() != '0' && peek() != '1') {
            return false;
        }
        *out = take() == '1';
        return true;
    }

private:
    // The value of a number's text as strtod gives it (correctly rounded,
    // whatever the locale); out of range, strtod's own answer (inf or 0).
    static double read_double(std::string_view text)
    {
        const std::string_view digits = text.front() == '+' ? text.substr(1) : text;
        double v = 0;
        const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v);
        if (r.ec == std::errc() && r.ptr == digits.data() + digits.size()) {
            return v;
        }
        return std::strtod(std::string(text).c_str(), nullptr);
    }

    bool exponent_follows() const
    {
        std::size_t k = pos_ + 1;
        if (k < t_.size() && (t_[k] == '-' || t_[k] == '+')) {
            ++k;
        }
        return k < t_.size() && std::isdigit(static_cast<unsigned char>(t_[k]));
    }

    std::string_view t_;
    std::size_t pos_ = 0;
};

// How many numbers each command takes.
int argument_count(char command)
{
    switch (std::toupper(static_cast<unsigned char>(command))) {
    case 'M':
    case 'L':
    case 'T':
        return 2;
    case 'H':
    case 'V':
        return 1;
    case 'C':
        return 6;
    case 'S':
    case 'Q':
        return 4;
    case 'A':
        return 7;
    default:
        return 0;
    }
}

double angle_between(double ux, double uy, double vx, double vy)
{
    return std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
}

// The drawing state of a path: current point, subpath start and the last
// control point (for the smooth curves), in user space.
struct PathState {
    const Affine& map;
    PathBuilder* b;
    Vec2 cur{}, start{}, control{};
    char last = 0;
    bool begun = false;
};

// Reads the numbers a command takes (an arc's flags as single digits);
// false on malformed data.
bool read_arguments(char cmd, NumberText& text, double* v)
{
    const int n = argument_count(cmd);
    for (int i = 0; i < n; ++i) {
        const bool flag_arg = (cmd == 'A' || cmd == 'a') && (i == 3 || i == 4);
        bool f = false;
        if (flag_arg ? !text.flag(&f) : !text.number(&v[i])) {
            return false;
        }
        if (flag_arg) {
            v[i] = f ? 1 : 0;
        }
    }
    return true;
}

// Reads one command's arguments and draws it; false on malformed data.
bool draw_command(char cmd, NumberText& text, PathState& s)
{
    double v[7];
    if (!read_arguments(cmd, text, v)) {
        return false;
    }
    const bool rel = std::islower(static_cast<unsigned char>(cmd));
    const double ox = rel ? s.cur.x : 0, oy = rel ? s.cur.y : 0;
    const char up = static_cast<char>(std::toupper(static_cast<unsigned char>(cmd)));
    const bool smooth_cubic = s.last == 'C' || s.last == 'S';
    const bool smooth_quad = s.last == 'Q' || s.last == 'T';
    const Vec2 reflected{2 * s.cur.x - s.control.x, 2 * s.cur.y - s.control.y};
    Vec2 p = s.cur;
    switch (up) {
    case 'M':
        p = {ox + v[0], oy + v[1]};
        s.b->move_to(s.map.apply(p));
        s.start = p;
        break;
    case 'L':
    case 'H':
    case 'V':
        p = up == 'L'   ? Vec2{ox + v[0], oy + v[1]}
            : up == 'H' ? Vec2{ox + v[0], s.cur.y}
                        : Vec2{s.cur.x, oy + v[0]};
        s.b->line_to(s.map.apply(p));
        break;
    case 'C':
    case 'S': {
        const Vec2 c1 = up == 'C' ? Vec2{ox + v[0], oy + v[1]} : smooth_cubic ? reflected : s.cur;
        const int k = up == 'C' ? 2 : 0;
        const Vec2 c2{ox + v[k], oy + v[k + 1]};
        p = {ox + v[k + 2], oy + v[k + 3]};
        s.b->cubic_to(s.map.apply(c1), s.map.apply(c2), s.map.apply(p));
        s.control = c2;
        break;
    }
    case 'Q':
    case 'T': {
        const Vec2 c = up == 'Q' ? Vec2{ox + v[0], oy + v[1]} : smooth_quad ? reflected : s.cur;
        const int k = up == 'Q' ? 2 : 0;
        p = {ox + v[k], oy + v[k + 1]};
        s.b->quad_to(s.map.apply(c), s.map.apply(p));
        s.control = c;
        break;
    }
    case 'A':
        p = {ox + v[5], oy + v[6]};
        svg_arc(s.cur, v[0], v[1], v[2], v[3] != 0, v[4] != 0, p, s.map, s.b);
        break;
    }
    s.cur = p;
    s.last = up;
    return true;
}

}  // namespace

void svg_arc(Vec2 p0, double rx, double ry, double rotation_deg, bool large, bool sweep, Vec2 p1,
             const Affine& map, PathBuilder* b)
{
    if (p0.x == p1.x && p0.y == p1.y) {
        return;
    }
    rx = std::fabs(rx), ry = std::fabs(ry);
    if (rx == 0 || ry == 0) {
        b->line_to(map.apply(p1));
        return;
    }
    // The centre form of the arc (SVG's implementation notes).
    const double phi = rotation_deg * std::numbers::pi / 180.0;
    const double cp = std::cos(phi), sp = std::sin(phi);
    const double hx = (p0.x - p1.x) / 2, hy = (p0.y - p1.y) / 2;
    const double x1 = cp * hx + sp * hy, y1 = -sp * hx + cp * hy;
    const double lambda = x1 * x1 / (rx * rx) + y1 * y1 / (ry * ry);
    if (lambda > 1) {
        rx *= std::sqrt(lambda), ry *= std::sqrt(lambda);
    }
    const double num = rx * rx * ry * ry - rx * rx * y1 * y1 - ry * ry * x1 * x1;
    const double den = rx * rx * y1 * y1 + ry * ry * x1 * x1;
    double co = den > 0 ? std::sqrt(std::max(0.0, num / den)) : 0;
    if (large == sweep) {
        co = -co;
    }
    const double cx1 = co * rx * y1 / ry, cy1 = -co * ry * x1 / rx;
    const Vec2 centre{cp * cx1 - sp * cy1 + (p0.x + p1.x) / 2,
                      sp * cx1 + cp * cy1 + (p0.y + p1.y) / 2};
    const double ux = (x1 - cx1) / rx, uy = (y1 - cy1) / ry;
    const double vx = (-x1 - cx1) / rx, vy = (-y1 - cy1) / ry;
    const double t0 = angle_between(1, 0, ux, uy);
    double dt = angle_between(ux, uy, vx, vy);
    if (!sweep && dt > 0) {
        dt -= 2 * std::numbers::pi;
    } else if (sweep && dt < 0) {
        dt += 2 * std::numbers::pi;
    }
    b->ellipse_arc(map, centre, rx, ry, phi, t0, t0 + dt);
}

void svg_path_data(std::string_view d, const Affine& map, PathBuilder* builder, std::string* error)
{
    NumberText text(d);
    PathState s{map, builder};
    char cmd = 0;
    while (!text.at_end()) {
        const char c = text.peek();
        if (std::isalpha(static_cast<unsigned char>(c)) && c != 'e' && c != 'E') {
            cmd = text.take();
            if (std::strchr("MmLlHhVvCcSsQqTtAaZz", cmd) == nullptr) {
                *error = std::string("unknown path command '") + cmd + "'";
                break;
            }
            if (!s.begun && cmd != 'M' && cmd != 'm') {
                *error = "path data does not begin with a move";
                break;
            }
            s.begun = true;
            if (cmd == 'Z' || cmd == 'z') {
                builder->close();
                s.cur = s.start;
                s.last = 'Z';
                continue;
            }
        } else if (cmd == 0 || cmd == 'Z' || cmd == 'z' || !text.number_next()) {
            *error = "a number where a command was expected";
            break;
        }
        if (!draw_command(cmd, text, s)) {
            *error = "malformed numbers after '" + std::string(1, cmd) + "'";
            break;
        }
        // Numbers after a move continue as lines.
        cmd = cmd == 'M' ? 'L' : cmd == 'm' ? 'l' : cmd;
    }
    if (!error->empty()) {
        *error += " at character " + std::to_string(text.position() + 1);
    }
    builder->finish();
}

std::vector<double> svg_numbers(std::string_view text)
{
    NumberText t(text);
    std::vector<double> out;
    double v = 0;
    while (t.number(&v)) {
        out.push_back(v);
    }
    return out;
}

// One transform function's map, from its name and numbers.
static bool transform_function(const std::string& name, const std::vector<double>& v, Affine* m)
{
    const std::size_t n = v.size();
    if (name == "matrix" && n == 6) {
        *m = {v[0], v[1], v[2], v[3], v[4], v[5]};
    } else if (name == "translate" && (n == 1 || n == 2)) {
        *m = affine_translate(v[0], n == 2 ? v[1] : 0);
    } else if (name == "scale" && (n == 1 || n == 2)) {
        *m = affine_scale(v[0], n == 2 ? v[1] : v[0]);
    } else if (name == "rotate" && (n == 1 || n == 3)) {
        const double cx = n == 3 ? v[1] : 0, cy = n == 3 ? v[2] : 0;
        *m = affine_translate(cx, cy).after(affine_rotate(v[0])).after(affine_translate(-cx, -cy));
    } else if ((name == "skewX" || name == "skewY") && n == 1) {
        const double t = std::tan(v[0] * std::numbers::pi / 180.0);
        *m = name == "skewX" ? Affine{1, 0, t, 1, 0, 0} : Affine{1, t, 0, 1, 0, 0};
    } else {
        return false;
    }
    return true;
}

bool svg_transform(std::string_view text, Affine* out)
{
    Affine total;
    std::size_t pos = 0;
    for (;;) {
        while (pos < text.size() &&
               (std::isspace(static_cast<unsigned char>(text[pos])) || text[pos] == ',')) {
            ++pos;
        }
        if (pos >= text.size()) {
            break;
        }
        const std::size_t open = text.find('(', pos);
        const std::size_t close = text.find(')', pos);
        if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
            return false;
        }
        std::string name(text.substr(pos, open - pos));
        while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) {
            name.pop_back();
        }
        Affine m;
        if (!transform_function(name, svg_numbers(text.substr(open + 1, close - open - 1)), &m)) {
            return false;
        }
        total = total.after(m);
        pos = close + 1;
    }
    *out = total;
    return true;
}

bool svg_length(std::string_view text, double reference, double* out)
{
    NumberText t(text);
    double v = 0;
    if (!t.number(&v)) {
        return false;
    }
    std::string unit(text.substr(t.position()));
    while (!unit.empty() && std::isspace(static_cast<unsigned char>(unit.back()))) {
        unit.pop_back();
    }
    // User units per unit: 96 px per inch.
    static const struct {
        const char* name;
        double px;
    } units[] = {{"", 1},           {"px", 1},  {"in", 96}, {"mm", 96 / 25.4}, {"cm", 96 / 2.54},
                 {"pt", 96.0 / 72}, {"pc", 16}, {"em", 16}, {"ex", 8}};
    for (const auto& u : units) {
        if (unit == u.name) {
            *out = v * u.px;
            return true;
        }
    }
    if (unit == "%") {
        *out = v * reference / 100.0;
        return true;
    }
    return false;
}

}  // namespace design
