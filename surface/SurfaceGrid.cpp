#include "SurfaceGrid.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace kvs::surface {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Places beyond this many cells from the origin are refused: the index must fit the tile
// key with room to spare.
constexpr double kMaxIndex = 1e11; // tile indices stay within 32 bits

double MedianOfSorted(const float* v, int n)
{
    if (n <= 0) return kNaN;
    return n % 2 ? v[n / 2] : 0.5 * (static_cast<double>(v[n / 2 - 1]) + v[n / 2]);
}

} // namespace

void CellStats::Add(double depth, double sigma)
{
    ++count;
    const double delta = depth - mean;
    mean += delta / count;
    m2 += delta * (depth - mean);
    if (std::isfinite(sigma)) {
        ++errorCount;
        errorSquares += sigma * sigma;
    }
    const float x = static_cast<float>(depth);
    if (count <= 5) {
        // Keep the first five sorted; they become the markers.
        int k = static_cast<int>(count) - 1;
        while (k > 0 && q[k - 1] > x) {
            q[k] = q[k - 1];
            --k;
        }
        q[k] = x;
        if (count == 5)
            for (int i = 0; i < 5; ++i) n[i] = i + 1;
        return;
    }
    int k;
    if (x < q[0]) {
        q[0] = x;
        k = 0;
    } else if (x >= q[4]) {
        q[4] = x;
        k = 3;
    } else {
        k = 0;
        while (k < 3 && x >= q[k + 1]) ++k;
    }
    for (int i = k + 1; i < 5; ++i) ++n[i];
    // Desired marker positions for the median after count soundings.
    const double last = static_cast<double>(count) - 1.0;
    const double desired[5] = {1.0, 1.0 + last * 0.25, 1.0 + last * 0.5, 1.0 + last * 0.75, 1.0 + last};
    for (int i = 1; i <= 3; ++i) {
        const double d = desired[i] - n[i];
        if ((d >= 1.0 && n[i + 1] - n[i] > 1) || (d <= -1.0 && n[i - 1] - n[i] < -1)) {
            const int s = d > 0 ? 1 : -1;
            const double qi = q[i], qp = q[i + 1], qm = q[i - 1];
            const double ni = n[i], np = n[i + 1], nm = n[i - 1];
            const double parabolic =
                qi + s / (np - nm) * ((ni - nm + s) * (qp - qi) / (np - ni) + (np - ni - s) * (qi - qm) / (ni - nm));
            if (qm < parabolic && parabolic < qp) {
                q[i] = static_cast<float>(parabolic);
            } else {
                const double qs = q[i + s];
                q[i] = static_cast<float>(qi + s * (qs - qi) / (n[i + s] - ni));
            }
            n[i] += s;
        }
    }
}

double CellStats::Median() const
{
    if (count == 0) return kNaN;
    if (count <= 5) return MedianOfSorted(q, static_cast<int>(count));
    return q[2];
}

double CellStats::MedianWithout(double depth) const
{
    if (count <= 1) return kNaN;
    if (count > 5) return q[2];
    // Leave out the stored sounding nearest to it (the sounding itself, to float precision).
    float rest[5];
    int best = 0;
    for (int i = 1; i < static_cast<int>(count); ++i)
        if (std::fabs(q[i] - depth) < std::fabs(q[best] - depth)) best = i;
    int m = 0;
    for (int i = 0; i < static_cast<int>(count); ++i)
        if (i != best) rest[m++] = q[i];
    return MedianOfSorted(rest, m);
}

double CellStats::Spread() const
{
    return count >= 2 ? std::sqrt(m2 / (count - 1)) : kNaN;
}

double CellStats::RmsError() const
{
    return errorCount ? std::sqrt(errorSquares / errorCount) : kNaN;
}

SurfaceGrid::SurfaceGrid(double resolution, uint64_t maxBytes) : m_resolution(resolution), m_maxBytes(maxBytes)
{
    if (!(resolution > 0.0) || !std::isfinite(resolution)) throw std::invalid_argument("the resolution must be positive");
}

int64_t SurfaceGrid::Index(double coordinate) const
{
    const double v = std::floor(coordinate / m_resolution + 0.5);
    if (!(std::fabs(v) < kMaxIndex)) throw std::out_of_range("a sounding lies too far from the origin of the grid");
    return static_cast<int64_t>(v);
}

uint64_t SurfaceGrid::Key(int64_t ti, int64_t tj)
{
    return (static_cast<uint64_t>(ti) << 32) ^ (static_cast<uint64_t>(tj) & 0xFFFFFFFFu);
}

std::string SurfaceGrid::DescribeSize(int64_t width, int64_t height, double resolution)
{
    const double mib = static_cast<double>(width) * static_cast<double>(height) * kRasterBytesPerCell / (1024.0 * 1024.0);
    char text[160];
    std::snprintf(text, sizeof text, "%lld x %lld cells at %g m (%.0f MiB)", static_cast<long long>(width),
                  static_cast<long long>(height), resolution, mib);
    return text;
}

SurfaceGrid::Tile* SurfaceGrid::TileFor(int64_t i, int64_t j, bool create)
{
    const int64_t ti = i >= 0 ? i / kTile : -((-i + kTile - 1) / kTile);
    const int64_t tj = j >= 0 ? j / kTile : -((-j + kTile - 1) / kTile);
    const uint64_t key = Key(ti, tj);
    if (key == m_lastKey && m_last) return m_last;
    auto it = m_tiles.find(key);
    if (it == m_tiles.end()) {
        if (!create) return nullptr;
        // The bounding raster after this sounding, and the tiles with one more.
        const int64_t i0 = m_any ? std::min(m_i0, i) : i, i1 = m_any ? std::max(m_i1, i) : i;
        const int64_t j0 = m_any ? std::min(m_j0, j) : j, j1 = m_any ? std::max(m_j1, j) : j;
        const double raster = static_cast<double>(i1 - i0 + 1) * static_cast<double>(j1 - j0 + 1) * kRasterBytesPerCell;
        const double tiles = static_cast<double>(m_tiles.size() + 1) * sizeof(Tile);
        if (raster + tiles > static_cast<double>(m_maxBytes)) {
            char limit[64];
            std::snprintf(limit, sizeof limit, "%.0f MiB", static_cast<double>(m_maxBytes) / (1024.0 * 1024.0));
            throw GridTooLarge("the grid would need " + DescribeSize(i1 - i0 + 1, j1 - j0 + 1, m_resolution) + " plus " +
                               std::to_string(static_cast<long long>(tiles / (1024.0 * 1024.0))) +
                               " MiB of cell summaries, more than the " + limit +
                               " allowed; choose a coarser resolution or allow more memory");
        }
        it = m_tiles.emplace(key, std::make_unique<Tile>()).first;
    }
    m_lastKey = key;
    m_last = it->second.get();
    return m_last;
}

void SurfaceGrid::Add(double east, double north, double depth, double sigma)
{
    const int64_t i = Index(east), j = Index(north);
    Tile* tile = TileFor(i, j, true);
    const int64_t li = ((i % kTile) + kTile) % kTile, lj = ((j % kTile) + kTile) % kTile;
    tile->cells[lj * kTile + li].Add(depth, sigma);
    if (!m_any) {
        m_i0 = m_i1 = i;
        m_j0 = m_j1 = j;
        m_any = true;
    } else {
        m_i0 = std::min(m_i0, i), m_i1 = std::max(m_i1, i);
        m_j0 = std::min(m_j0, j), m_j1 = std::max(m_j1, j);
    }
}

CellStats* SurfaceGrid::Find(int64_t i, int64_t j)
{
    Tile* tile = TileFor(i, j, false);
    if (!tile) return nullptr;
    const int64_t li = ((i % kTile) + kTile) % kTile, lj = ((j % kTile) + kTile) % kTile;
    CellStats* c = &tile->cells[lj * kTile + li];
    return c->count ? c : nullptr;
}

const CellStats* SurfaceGrid::Find(int64_t i, int64_t j) const
{
    return const_cast<SurfaceGrid*>(this)->Find(i, j);
}

bool SurfaceGrid::Bounds(int64_t& i0, int64_t& j0, int64_t& i1, int64_t& j1) const
{
    if (!m_any) return false;
    i0 = m_i0, j0 = m_j0, i1 = m_i1, j1 = m_j1;
    return true;
}

} // namespace kvs::surface
