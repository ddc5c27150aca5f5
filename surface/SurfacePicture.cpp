#include "SurfacePicture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace kvs::surface {

namespace {

// 5 x 7 glyphs, one row a byte (bit 4 the leftmost pixel). Lower case is drawn as upper.
struct Glyph
{
    char c;
    std::array<unsigned char, 7> rows;
};

constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}}, {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}},
    {'/', {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00}}, {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}}, {',', {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}},
    {'=', {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00}}, {'_', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F}},
    {'+', {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00}}, {'>', {0x08, 0x04, 0x02, 0x01, 0x02, 0x04, 0x08}},
};

constexpr int kTextScale = 2;
constexpr int kCharWidth = 6 * kTextScale;
constexpr int kCharHeight = 7 * kTextScale;
constexpr int kTop = 36, kLeft = 20, kRightPanel = 150, kBottom = 56;
constexpr int kMapMax = 1000;
constexpr double kExaggeration = 3.0;

struct Rgb
{
    unsigned char r, g, b;
};

class Canvas
{
public:
    Canvas(int w, int h) : m_w(w), m_h(h), m_rgb(static_cast<size_t>(w) * h * 3, 255) {}
    void Set(int x, int y, Rgb c)
    {
        if (x < 0 || y < 0 || x >= m_w || y >= m_h) return;
        unsigned char* p = &m_rgb[(static_cast<size_t>(y) * m_w + x) * 3];
        p[0] = c.r, p[1] = c.g, p[2] = c.b;
    }
    void Fill(int x0, int y0, int x1, int y1, Rgb c)
    {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) Set(x, y, c);
    }
    void Text(int x, int y, const std::string& text, Rgb c = {0, 0, 0})
    {
        for (char ch : text) {
            const char up = ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
            for (const Glyph& g : kFont) {
                if (g.c != up) continue;
                for (int row = 0; row < 7; ++row)
                    for (int col = 0; col < 5; ++col)
                        if (g.rows[row] & (0x10 >> col)) Fill(x + col * kTextScale, y + row * kTextScale,
                                                              x + (col + 1) * kTextScale, y + (row + 1) * kTextScale, c);
            }
            x += kCharWidth;
        }
    }
    Picture Take() { return Picture{m_w, m_h, std::move(m_rgb)}; }

private:
    int m_w, m_h;
    std::vector<unsigned char> m_rgb;
};

// Shallow red through yellow to deep blue.
Rgb Ramp(double t)
{
    static constexpr Rgb stops[] = {{215, 48, 39}, {252, 141, 89}, {254, 224, 144}, {171, 217, 233}, {69, 117, 180}, {49, 54, 149}};
    t = std::clamp(t, 0.0, 1.0) * 5.0;
    const int i = std::min(static_cast<int>(t), 4);
    const double f = t - i;
    auto mix = [f](unsigned char a, unsigned char b) { return static_cast<unsigned char>(std::lround(a + (b - a) * f)); };
    return {mix(stops[i].r, stops[i + 1].r), mix(stops[i].g, stops[i + 1].g), mix(stops[i].b, stops[i + 1].b)};
}

std::string Number(double v, double step)
{
    char text[32];
    const int decimals = step >= 1.0 ? 0 : step >= 0.1 ? 1 : 2;
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

double NiceStep(double span)
{
    if (!(span > 0.0)) return 1.0;
    const double p = std::pow(10.0, std::floor(std::log10(span)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * p >= span) return m * p;
    return 10.0 * p;
}

} // namespace

Picture DrawSurface(const Surface& s, const std::string& title, const std::vector<unsigned char>& marks)
{
    const int64_t w = std::max<int64_t>(s.width, 1), h = std::max<int64_t>(s.height, 1);
    const double scale = std::min(8.0, static_cast<double>(kMapMax) / static_cast<double>(std::max(w, h)));
    const int mw = std::max(1, static_cast<int>(std::ceil(w * scale))), mh = std::max(1, static_cast<int>(std::ceil(h * scale)));
    const int width = kLeft + std::max(mw, 300) + kRightPanel, height = kTop + std::max(mh, 260) + kBottom;
    Canvas canvas(width, height);
    canvas.Text(kLeft, 10, title);
    const bool have = s.width > 0 && s.height > 0 && s.depth.size() == static_cast<size_t>(s.width * s.height);

    // Depth range of the colours: the 1st to 99th percentile, so a few outliers do not wash it out.
    std::vector<float> depths;
    if (have)
        for (float d : s.depth)
            if (std::isfinite(d)) depths.push_back(d);
    double lo = 0.0, hi = 1.0;
    if (!depths.empty()) {
        std::sort(depths.begin(), depths.end());
        lo = depths[static_cast<size_t>(0.01 * (depths.size() - 1))];
        hi = depths[static_cast<size_t>(0.99 * (depths.size() - 1))];
        if (hi - lo < 1e-3) lo -= 0.5, hi += 0.5;
    }

    // Shaded relief per cell: the normal of the elevation surface (-depth) lit from the
    // north-west, 45 degrees up.
    const double az = 315.0 * M_PI / 180.0, alt = 45.0 * M_PI / 180.0;
    const double lx = std::sin(az) * std::cos(alt), ly = std::cos(az) * std::cos(alt), lz = std::sin(alt);
    auto depthAt = [&](int64_t r, int64_t c, double fallback) {
        if (r < 0 || c < 0 || r >= s.height || c >= s.width) return fallback;
        const float d = s.depth[static_cast<size_t>(r * s.width + c)];
        return std::isfinite(d) ? static_cast<double>(d) : fallback;
    };
    for (int py = 0; py < mh && have; ++py) {
        const int64_t r = std::min<int64_t>(static_cast<int64_t>(py / scale), s.height - 1);
        for (int px = 0; px < mw; ++px) {
            const int64_t c = std::min<int64_t>(static_cast<int64_t>(px / scale), s.width - 1);
            const size_t k = static_cast<size_t>(r * s.width + c);
            const float d = s.depth[k];
            if (!std::isfinite(d)) continue;
            const double east = -(depthAt(r, c + 1, d) - depthAt(r, c - 1, d)) / (2.0 * s.resolution);
            const double north = -(depthAt(r - 1, c, d) - depthAt(r + 1, c, d)) / (2.0 * s.resolution);
            const double nx = -east * kExaggeration, ny = -north * kExaggeration, nz = 1.0;
            const double shade = std::max(0.0, (nx * lx + ny * ly + nz * lz) / std::sqrt(nx * nx + ny * ny + nz * nz));
            const double light = 0.35 + 0.65 * shade;
            Rgb colour;
            if (!marks.empty()) {
                const unsigned char g = static_cast<unsigned char>(std::lround(90 + 150 * shade));
                colour = k < marks.size() && marks[k] ? Rgb{static_cast<unsigned char>(std::lround(150 + 100 * shade)), 20, 20}
                                                      : Rgb{g, g, g};
            } else {
                const Rgb base = Ramp((d - lo) / (hi - lo));
                colour = {static_cast<unsigned char>(std::min(255.0, base.r * light)),
                          static_cast<unsigned char>(std::min(255.0, base.g * light)),
                          static_cast<unsigned char>(std::min(255.0, base.b * light))};
            }
            canvas.Set(kLeft + px, kTop + py, colour);
        }
    }
    // Frame.
    const Rgb black{0, 0, 0};
    canvas.Fill(kLeft - 1, kTop - 1, kLeft + mw + 1, kTop, black);
    canvas.Fill(kLeft - 1, kTop + mh, kLeft + mw + 1, kTop + mh + 1, black);
    canvas.Fill(kLeft - 1, kTop, kLeft, kTop + mh, black);
    canvas.Fill(kLeft + mw, kTop, kLeft + mw + 1, kTop + mh, black);

    // North arrow (grid north is up), in the top right corner of the map.
    const int ax = kLeft + mw - 24, ay = kTop + 8;
    for (int y = 0; y < 28; ++y) {
        const int half = y / 3;
        canvas.Fill(ax - half, ay + kCharHeight + 4 + y, ax + half + 1, ay + kCharHeight + 5 + y, black);
    }
    canvas.Fill(ax - 6, ay - 2, ax + 7, ay + kCharHeight + 2, {255, 255, 255});
    canvas.Text(ax - 5, ay, "N");

    // Scale bar under the map: a round length near a quarter of the map's width.
    const double mapMetres = static_cast<double>(mw) / scale * s.resolution;
    double length = NiceStep(mapMetres / 4.0);
    if (length > mapMetres / 2.0) length /= 2.0;
    const int barPx = std::max(1, static_cast<int>(std::lround(length / s.resolution * scale)));
    const int by = kTop + mh + 14;
    for (int i = 0; i < 4; ++i) {
        const int x0 = kLeft + barPx * i / 4, x1 = kLeft + barPx * (i + 1) / 4;
        canvas.Fill(x0, by, x1, by + 8, i % 2 ? Rgb{255, 255, 255} : black);
    }
    canvas.Fill(kLeft, by, kLeft + barPx, by + 1, black);
    canvas.Fill(kLeft, by + 7, kLeft + barPx, by + 8, black);
    canvas.Fill(kLeft + barPx - 1, by, kLeft + barPx, by + 8, black);
    canvas.Text(kLeft, by + 14, "0");
    const std::string label = length >= 1000.0 ? Number(length / 1000.0, length / 1000.0) + " KM" : Number(length, length) + " M";
    canvas.Text(kLeft + barPx - static_cast<int>(label.size()) * kCharWidth / 2, by + 14, label);

    // Colour bar (or the legend of the marks) at the right.
    const int cx = kLeft + mw + 24;
    if (!marks.empty()) {
        canvas.Fill(cx, kTop + 20, cx + 20, kTop + 40, {220, 20, 20});
        canvas.Text(cx + 26, kTop + 24, "FAILS");
        canvas.Fill(cx, kTop + 50, cx + 20, kTop + 70, {180, 180, 180});
        canvas.Text(cx + 26, kTop + 54, "MEETS");
    } else if (!depths.empty()) {
        const int barTop = kTop + 26, barHeight = std::max(mh, 260) - 40;
        canvas.Text(cx, kTop, "DEPTH (M)");
        for (int y = 0; y < barHeight; ++y) canvas.Fill(cx, barTop + y, cx + 20, barTop + y + 1, Ramp(static_cast<double>(y) / (barHeight - 1)));
        const double step = NiceStep((hi - lo) / 5.0);
        for (double v = std::ceil(lo / step) * step; v <= hi + 1e-9; v += step) {
            const int y = barTop + static_cast<int>(std::lround((v - lo) / (hi - lo) * (barHeight - 1)));
            canvas.Fill(cx + 20, y, cx + 25, y + 1, black);
            canvas.Text(cx + 34, y - kCharHeight / 2, Number(v, step));
        }
    }
    return canvas.Take();
}

} // namespace kvs::surface
