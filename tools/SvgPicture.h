// Pieces every picture of the tool shares: the SVG opening and plot frames, round tick
// values, axis ranges fitted to the bulk of the data, legends sized to their text, and
// the colours: greys for accepted data, one colour-blind-safe colour a filter.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace kvs::tool {

void BeginSvg(std::ostream& s, int width, int height, int left, const std::string& title);

// A plot frame: the outline of the plotting area.
void FrameSvg(std::ostream& s, double left, double top, double width, double height);

struct AxisRange
{
    double lo = 0.0, hi = 1.0;
    bool Contains(double v) const { return v >= lo && v <= hi; }
};

// The range of the values less the share trim at either end (so a few wild values do not
// squash the rest), widened by pad of its width on each side; [0, 1] for no values, one
// metre wide around a single value. The values are reordered.
AxisRange RobustRange(std::vector<double>& values, double trim = 0.005, double pad = 0.05);

// Round tick values (1, 2 or 5 times a power of ten apart) within [lo, hi], about count
// of them; step receives their spacing.
std::vector<double> NiceTicks(double lo, double hi, int count, double& step);
// A tick value with the decimals its step needs ("28", "28.5", "0.25").
std::string TickText(double value, double step);

// 31915200 as "31 915 200".
std::string Count(uint64_t n);
// part of whole as "0.24 %", "<0.01 %" for a small non-zero share.
std::string Share(uint64_t part, uint64_t whole);
// Greys for accepted data, t from 0 (light) to 1 (dark).
std::string Grey(double t);
// Text safe inside an SVG element.
std::string Escape(const std::string& text);

// A legend: rows of a swatch and a text, and notes, stacked in a panel whose width is
// that of its longest line, so that nothing is cut off.
class Legend
{
public:
    enum class Swatch { Dot, Square, Triangle, Ramp };
    void Row(const std::string& colour, const std::string& text, Swatch swatch = Swatch::Dot);
    // Grey small print, wrapped at about 40 characters.
    void Note(const std::string& text);
    // A vertical grey ramp from light (top) to dark with values at its ends.
    void Bar(const std::string& top, const std::string& bottom, const std::string& caption);
    double Width() const;
    double Height() const;
    void Write(std::ostream& s, double x, double y) const;

private:
    struct Line
    {
        enum class Kind { Row, Note, Bar } kind;
        std::string colour, text, extra, caption;
        Swatch swatch = Swatch::Dot;
    };
    std::vector<Line> m_lines;
};

// Width of text in pixels at the picture's font size (an even estimate for sans-serif).
double TextWidth(const std::string& text, double fontSize = 12.0);

// Ticks with grid lines and labels along the bottom (x) and left (y) of a plot frame; to
// maps a value to its pixel.
template <class ToPixel>
void XTicks(std::ostream& s, const AxisRange& r, double frameTop, double frameBottom, ToPixel to)
{
    double step = 1.0;
    for (const double v : NiceTicks(r.lo, r.hi, 6, step)) {
        const double x = to(v);
        s << "<line x1=\"" << x << "\" x2=\"" << x << "\" y1=\"" << frameTop << "\" y2=\"" << frameBottom
          << "\" stroke=\"#ddd\" stroke-width=\"0.6\"/>\n<text x=\"" << x << "\" y=\"" << frameBottom + 16
          << "\" text-anchor=\"middle\">" << TickText(v, step) << "</text>\n";
    }
}

template <class ToPixel>
void YTicks(std::ostream& s, const AxisRange& r, double frameLeft, double frameRight, ToPixel to)
{
    double step = 1.0;
    for (const double v : NiceTicks(r.lo, r.hi, 6, step)) {
        const double y = to(v);
        s << "<line x1=\"" << frameLeft << "\" x2=\"" << frameRight << "\" y1=\"" << y << "\" y2=\"" << y
          << "\" stroke=\"#ddd\" stroke-width=\"0.6\"/>\n<text x=\"" << frameLeft - 6 << "\" y=\"" << y + 4
          << "\" text-anchor=\"end\">" << TickText(v, step) << "</text>\n";
    }
}

} // namespace kvs::tool
