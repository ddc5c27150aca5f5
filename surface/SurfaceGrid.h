// SurfaceGrid: the cells of a gridded surface, filled one sounding at a time. A cell is
// centred on its node (i * resolution, j * resolution) of the projected system and keeps a
// fixed-size summary of its soundings: the count, a running median (the P-squared
// estimator of Jain and Chlamtac: exact up to five soundings, five markers beyond), the
// mean and spread, and the sum of the squared vertical errors of the soundings that carry
// one. Cells live in tiles of 64 x 64 allocated where soundings fall, so memory grows with
// the area covered, never with the number of soundings; a grid whose tiles or whose
// bounding raster would pass the memory allowed is refused (GridTooLarge names the size).
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>

namespace kvs::surface {

struct CellStats
{
    uint32_t count = 0;
    uint32_t errorCount = 0; // soundings that carried a vertical error
    float q[5] = {};         // marker heights; the sorted soundings while count <= 5
    int32_t n[5] = {};       // marker positions, 1-based
    double mean = 0.0;
    double m2 = 0.0;         // sum of squared deviations from the mean
    double errorSquares = 0.0;

    // sigma: the sounding's vertical error (one sigma, metres), NaN when it has none.
    void Add(double depth, double sigma);
    // The median estimate, NaN for an empty cell.
    double Median() const;
    // The median of the cell's other soundings: exact up to five soundings; beyond, the
    // running median, which one sounding moves by at most one rank. NaN when it is alone.
    double MedianWithout(double depth) const;
    // The standard deviation of the soundings, NaN below two.
    double Spread() const;
    // Root mean square of the soundings' vertical errors, NaN when none carried one.
    double RmsError() const;
};

struct GridTooLarge : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

class SurfaceGrid
{
public:
    static constexpr int kTile = 64;
    // Bytes a cell of the bounding raster takes in the products (three float bands, colour).
    static constexpr uint64_t kRasterBytesPerCell = 16;

    SurfaceGrid(double resolution, uint64_t maxBytes);

    // The node index of a coordinate (round to the nearest node).
    int64_t Index(double coordinate) const;
    // Adds a sounding at a place; throws GridTooLarge when the grid would outgrow the
    // memory allowed, and std::out_of_range for a place too far from the origin.
    void Add(double east, double north, double depth, double sigma);
    CellStats* Find(int64_t i, int64_t j);
    const CellStats* Find(int64_t i, int64_t j) const;

    bool Empty() const { return m_tiles.empty(); }
    // Node index bounds of the cells holding soundings (inclusive); false when empty.
    bool Bounds(int64_t& i0, int64_t& j0, int64_t& i1, int64_t& j1) const;
    double Resolution() const { return m_resolution; }
    uint64_t MaxBytes() const { return m_maxBytes; }
    // Bytes held by the tiles now.
    uint64_t TileBytes() const { return m_tiles.size() * sizeof(Tile); }

    // Calls f(i, j, cell) for every cell holding soundings, tile by tile.
    template <typename F>
    void ForEachCell(F&& f) const
    {
        for (const auto& [key, tile] : m_tiles) {
            const int64_t ti = static_cast<int32_t>(key >> 32), tj = static_cast<int32_t>(key & 0xFFFFFFFFu);
            for (int lj = 0; lj < kTile; ++lj)
                for (int li = 0; li < kTile; ++li) {
                    const CellStats& c = tile->cells[lj * kTile + li];
                    if (c.count) f(ti * kTile + li, tj * kTile + lj, c);
                }
        }
    }

    // "W x H cells at R m (N MiB)" for a raster of that size.
    static std::string DescribeSize(int64_t width, int64_t height, double resolution);

private:
    struct Tile
    {
        CellStats cells[kTile * kTile];
    };
    static uint64_t Key(int64_t ti, int64_t tj);
    Tile* TileFor(int64_t i, int64_t j, bool create);

    double m_resolution;
    uint64_t m_maxBytes;
    std::unordered_map<uint64_t, std::unique_ptr<Tile>> m_tiles;
    uint64_t m_lastKey = ~uint64_t{0};
    Tile* m_last = nullptr;
    bool m_any = false;
    int64_t m_i0 = 0, m_j0 = 0, m_i1 = -1, m_j1 = -1;
};

} // namespace kvs::surface
