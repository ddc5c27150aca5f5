#include "SvgPicture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ios>

namespace kvs::tool {

namespace {

constexpr double kRowHeight = 18.0, kNoteHeight = 14.0, kBarHeight = 120.0;
constexpr size_t kNoteWidth = 40; // characters a note line holds

std::vector<std::string> Wrap(const std::string& text, size_t width)
{
    std::vector<std::string> lines;
    std::string line, word;
    auto flush = [&] {
        if (!line.empty()) lines.push_back(line);
        line.clear();
    };
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != ' ') {
            word += text[i];
            continue;
        }
        if (!line.empty() && line.size() + 1 + word.size() > width) flush();
        line += (line.empty() ? "" : " ") + word;
        word.clear();
    }
    flush();
    return lines;
}

} // namespace

void BeginSvg(std::ostream& s, int width, int height, int left, const std::string& title)
{
    s.setf(std::ios::fixed);
    s.precision(1);
    s << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << height
      << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
      << "<text x=\"" << left << "\" y=\"24\" font-size=\"15\">" << Escape(title) << "</text>\n";
}

void FrameSvg(std::ostream& s, double left, double top, double width, double height)
{
    s << "<rect x=\"" << left << "\" y=\"" << top << "\" width=\"" << width << "\" height=\"" << height
      << "\" fill=\"none\" stroke=\"#444\"/>\n";
}

AxisRange RobustRange(std::vector<double>& values, double trim, double pad)
{
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return !std::isfinite(v); }),
                 values.end());
    if (values.empty()) return {};
    const size_t cut = static_cast<size_t>(static_cast<double>(values.size()) * trim);
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(cut), values.end());
    const double lo = values[cut];
    std::nth_element(values.begin(), values.end() - 1 - static_cast<std::ptrdiff_t>(cut), values.end());
    const double hi = values[values.size() - 1 - cut];
    const double width = hi - lo;
    if (width < 1e-6) return {lo - 0.5, hi + 0.5};
    return {lo - pad * width, hi + pad * width};
}

std::vector<double> NiceTicks(double lo, double hi, int count, double& step)
{
    std::vector<double> ticks;
    step = 1.0;
    if (!(hi > lo) || !std::isfinite(lo) || !std::isfinite(hi) || count < 2) return ticks;
    const double rough = (hi - lo) / (count - 1);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    const double fraction = rough / power;
    step = (fraction < 1.5 ? 1.0 : fraction < 3.0 ? 2.0 : fraction < 7.0 ? 5.0 : 10.0) * power;
    for (double k = std::ceil(lo / step - 1e-9); k * step <= hi + 1e-9 * step; ++k)
        ticks.push_back(std::fabs(k * step) < 1e-12 * step ? 0.0 : k * step);
    return ticks;
}

std::string TickText(double value, double step)
{
    const int decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 6);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value == 0.0 ? 0.0 : value);
    return buf;
}

std::string Count(uint64_t n)
{
    std::string digits = std::to_string(n), text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) text += ' ';
        text += digits[i];
    }
    return text;
}

std::string Share(uint64_t part, uint64_t whole)
{
    if (!whole) return "0 %";
    const double p = 100.0 * static_cast<double>(part) / static_cast<double>(whole);
    char buf[32];
    // A share never rounds to 0 or 100 % unless it is.
    if (part && p < 0.01) return "<0.01 %";
    if (part < whole && p >= 99.95) return ">99.9 %";
    std::snprintf(buf, sizeof buf, part == whole || p == 0 ? "%.0f %%" : p >= 10 ? "%.1f %%" : "%.2f %%", p);
    return buf;
}

std::string Grey(double t)
{
    t = std::clamp(std::isfinite(t) ? t : 0.0, 0.0, 1.0);
    const int v = static_cast<int>(std::lround(235 - t * (235 - 25))); // #ebebeb .. #191919
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", v, v, v);
    return buf;
}

std::string Escape(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

double TextWidth(const std::string& text, double fontSize)
{
    return 0.58 * fontSize * static_cast<double>(text.size());
}

void Legend::Row(const std::string& colour, const std::string& text, Swatch swatch)
{
    m_lines.push_back({Line::Kind::Row, colour, text, {}, {}, swatch});
}

void Legend::Note(const std::string& text)
{
    for (const std::string& line : Wrap(text, kNoteWidth)) m_lines.push_back({Line::Kind::Note, {}, line, {}, {}});
}

void Legend::Bar(const std::string& top, const std::string& bottom, const std::string& caption)
{
    m_lines.push_back({Line::Kind::Bar, {}, top, bottom, caption});
}

double Legend::Width() const
{
    double w = 0.0;
    for (const Line& l : m_lines) {
        if (l.kind == Line::Kind::Row) w = std::max(w, 16 + TextWidth(l.text));
        if (l.kind == Line::Kind::Note) w = std::max(w, TextWidth(l.text, 10.5));
        if (l.kind == Line::Kind::Bar)
            w = std::max({w, 22 + TextWidth(l.text), 22 + TextWidth(l.extra), TextWidth(l.caption)});
    }
    return w;
}

double Legend::Height() const
{
    double h = 0.0;
    for (const Line& l : m_lines)
        h += l.kind == Line::Kind::Row ? kRowHeight : l.kind == Line::Kind::Note ? kNoteHeight : kBarHeight + 30;
    return h;
}

void Legend::Write(std::ostream& s, double x, double y) const
{
    for (const Line& l : m_lines) {
        switch (l.kind) {
        case Line::Kind::Row: {
            const double cy = y + 8;
            if (l.swatch == Swatch::Square)
                s << "<rect x=\"" << x + 1 << "\" y=\"" << cy - 5 << "\" width=\"10\" height=\"10\" fill=\""
                  << l.colour << "\"/>\n";
            else if (l.swatch == Swatch::Triangle)
                s << "<path d=\"M" << x + 6 << "," << cy - 5 << " l5,9 h-10 z\" fill=\"" << l.colour << "\"/>\n";
            else
                s << "<circle cx=\"" << x + 6 << "\" cy=\"" << cy << "\" r=\"4.5\" fill=\"" << l.colour
                  << "\" stroke=\"black\" stroke-width=\"0.4\"/>\n";
            s << "<text x=\"" << x + 16 << "\" y=\"" << cy + 4 << "\">" << Escape(l.text) << "</text>\n";
            y += kRowHeight;
            break;
        }
        case Line::Kind::Note:
            s << "<text x=\"" << x << "\" y=\"" << y + 10 << "\" font-size=\"10.5\" fill=\"#555\">" << Escape(l.text)
              << "</text>\n";
            y += kNoteHeight;
            break;
        case Line::Kind::Bar: {
            s << "<text x=\"" << x << "\" y=\"" << y + 10 << "\">" << Escape(l.caption) << "</text>\n";
            const double top = y + 18;
            for (int i = 0; i < 40; ++i)
                s << "<rect x=\"" << x << "\" y=\"" << top + kBarHeight * i / 40 << "\" width=\"14\" height=\""
                  << kBarHeight / 40 + 0.3 << "\" fill=\"" << Grey((i + 0.5) / 40) << "\"/>\n";
            s << "<text x=\"" << x + 20 << "\" y=\"" << top + 8 << "\">" << Escape(l.text) << "</text>\n"
              << "<text x=\"" << x + 20 << "\" y=\"" << top + kBarHeight << "\">" << Escape(l.extra) << "</text>\n";
            y += kBarHeight + 30;
            break;
        }
        }
    }
}

} // namespace kvs::tool
