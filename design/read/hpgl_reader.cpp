// HPGL plot files: IN, SP, PU, PD, PA and PR with their coordinates, in
// plotter units (1016 per inch), the job's own unit, so every move is kept
// exactly. Other instructions are skipped with a warning.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "design/read/design_readers.h"

namespace design {

namespace {

// The end-of-text character that ends a label (LB) by default.
constexpr char LABEL_END = '\x03';

class HpglReader {
public:
    HpglReader(std::string_view text, const ImportLimits& limits)
        : text_(text), design_(limits.design()), builder_(&design_, 1.0)
    {
        select_pen(1);
    }

    VectorDesign read()
    {
        while (skip_separators()) {
            if (text_[pos_] == '\x1b') {
                skip_escape();
                continue;
            }
            if (!std::isalpha(static_cast<unsigned char>(text_[pos_])) ||
                pos_ + 1 >= text_.size() ||
                !std::isalpha(static_cast<unsigned char>(text_[pos_ + 1]))) {
                ++garbage_;
                ++pos_;
                continue;
            }
            const std::string mnemonic{static_cast<char>(std::toupper(text_[pos_])),
                                       static_cast<char>(std::toupper(text_[pos_ + 1]))};
            pos_ += 2;
            instruction(mnemonic);
        }
        builder_.finish();
        warn_skipped();
        return std::move(design_);
    }

private:
    // Skips blanks and terminators; false at the end.
    bool skip_separators()
    {
        while (pos_ < text_.size() && (std::isspace(static_cast<unsigned char>(text_[pos_])) ||
                                       text_[pos_] == ';' || text_[pos_] == ',')) {
            ++pos_;
        }
        return pos_ < text_.size();
    }

    // A printer escape sequence around the plot (ESC E, ESC %-1B, ...).
    void skip_escape()
    {
        ++pos_;
        if (pos_ < text_.size() && std::isalpha(static_cast<unsigned char>(text_[pos_]))) {
            ++pos_;
            return;
        }
        while (pos_ < text_.size() && !(text_[pos_] >= '@' && text_[pos_] <= 'Z')) {
            ++pos_;
        }
        pos_ += pos_ < text_.size() ? 1 : 0;
    }

    // The numbers of an instruction, up to the next instruction.
    std::vector<double> parameters()
    {
        std::vector<double> values;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == ';' || std::isalpha(static_cast<unsigned char>(c)) || c == '\x1b') {
                break;
            }
            if (c == '-' || c == '+' || c == '.' || std::isdigit(static_cast<unsigned char>(c))) {
                values.push_back(number());
            } else {
                ++pos_;
            }
        }
        return values;
    }

    // A decimal number: sign, digits, a fraction.
    double number()
    {
        double sign = 1;
        if (text_[pos_] == '-' || text_[pos_] == '+') {
            sign = text_[pos_] == '-' ? -1 : 1;
            ++pos_;
        }
        double value = 0;
        while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) {
            value = value * 10 + (text_[pos_++] - '0');
        }
        if (pos_ < text_.size() && text_[pos_] == '.') {
            double scale = 0.1;
            for (++pos_;
                 pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]));
                 ++pos_) {
                value += (text_[pos_] - '0') * scale;
                scale /= 10;
            }
        }
        return sign * value;
    }

    void instruction(const std::string& m)
    {
        count_element(&design_);
        if (m == "LB") {
            // A label's text runs to its end character, and is not cut.
            while (pos_ < text_.size() && text_[pos_] != LABEL_END) {
                ++pos_;
            }
            ++skipped_[m];
            return;
        }
        std::vector<double> v = parameters();
        if (m == "IN") {
            pen_up();
            absolute_ = true;
        } else if (m == "SP") {
            pen_up();
            // Pen numbers past the machine's are kept as their own pens.
            select_pen(v.empty() ? 0 : static_cast<int>(std::clamp(v[0], 0.0, 1e6)));
        } else if (m == "PU" || m == "PD") {
            if (m == "PU") {
                pen_up();
            } else {
                down_ = true;
            }
            moves(v, absolute_);
        } else if (m == "PA" || m == "PR") {
            absolute_ = m == "PA";
            moves(v, absolute_);
        } else {
            ++skipped_[m];
        }
    }

    void select_pen(int pen)
    {
        pen_ = pen;
        if (pen > 0) {
            builder_.set_source(design_.source_index("SP" + std::to_string(pen)));
        }
    }

    void pen_up()
    {
        builder_.finish();
        down_ = false;
    }

    // Moves to each coordinate pair, cutting while the pen is down.
    void moves(const std::vector<double>& v, bool absolute)
    {
        if (v.size() % 2 != 0) {
            ++odd_lists_;
        }
        for (std::size_t i = 0; i + 1 < v.size(); i += 2) {
            const double x = absolute ? v[i] : x_ + v[i];
            const double y = absolute ? v[i + 1] : y_ + v[i + 1];
            if (down_ && pen_ > 0) {
                if (!builder_.has_current()) {
                    builder_.move_to({x_, -y_});
                }
                builder_.line_to({x, -y});
            }
            x_ = x, y_ = y;
        }
    }

    void warn_skipped()
    {
        for (const auto& [m, n] : skipped_) {
            add_warning(&design_, std::to_string(n) + " " + m + " instruction" +
                                      (n == 1 ? "" : "s") + " skipped (not read)");
        }
        if (odd_lists_ > 0) {
            add_warning(&design_, std::to_string(odd_lists_) +
                                      " coordinate lists with an odd count: the last number "
                                      "of each is ignored");
        }
        if (garbage_ > 0) {
            add_warning(&design_,
                        std::to_string(garbage_) + " bytes that are no instruction skipped");
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    VectorDesign design_;
    PathBuilder builder_;
    bool down_ = false;
    bool absolute_ = true;
    int pen_ = 1;
    double x_ = 0, y_ = 0;  // the pen's position in plotter units, y up
    std::map<std::string, std::int64_t> skipped_;
    std::int64_t odd_lists_ = 0;
    std::int64_t garbage_ = 0;
};

}  // namespace

VectorDesign read_hpgl(std::string_view bytes, const ImportLimits& limits)
{
    return HpglReader(bytes, limits).read();
}

}  // namespace design
