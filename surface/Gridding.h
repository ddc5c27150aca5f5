// Gridding: the accepted soundings of one or more filtered lines gridded into a surface
// (SurfaceGrid), reduced by the tide where a tide file is given and moved into one
// projected system. SoundingPass reads the lines once, a ping at a time, and hands each
// ping's soundings, tide-reduced and in the surface's system, to a callback; GridLines
// fills the grid from one such pass and MakeSurface lays the grid out as rasters.
#pragma once

#include "LineSoundings.h"
#include "SurfaceGrid.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kvs::surface {

struct GridOptions
{
    std::vector<std::string> lines;
    double resolution = 0.0;        // metres
    std::string crs;                // the surface's system (EPSG:..., any text PROJ reads); empty: the lines' own
    std::string tideFile;           // empty: no tide reduction
    double tideWindow = 0.0;        // largest gap to interpolate across, seconds (0: any)
    double tideExtrapolate = -1.0;  // seconds beyond the tide file's ends; negative: none
    uint64_t maxBytes = 0;          // memory allowed for the grid; 0: half of the machine's
};

struct LineReport
{
    std::string path;
    LineCounts counts;
    int utmZone = 0;
    uint64_t pingsNoTide = 0;     // pings the tide file does not reach, left out
    uint64_t soundingsNoTide = 0; // their accepted soundings
    bool reprojected = false;     // moved from its own UTM zone into the surface's system
};

struct PassReport
{
    std::vector<LineReport> lines;
    std::string crsWkt;  // the surface's system, empty when unknown
    std::string crsName; // e.g. "WGS 84 / UTM zone 20N", or "unknown"
    std::string verticalReference;
    std::string tideStation;
    double firstTime = 0.0, lastTime = 0.0; // first and last ping gridded
};

// One ping of one line, ready to grid: places in the surface's system, depths reduced.
using PingHandler = std::function<void(size_t line, const PingSoundings& ping)>;

class SoundingPass
{
public:
    // Checks the options (InputError-like std::invalid_argument / std::runtime_error with
    // the reason) and opens the tide file.
    explicit SoundingPass(const GridOptions& options);
    ~SoundingPass();
    SoundingPass(const SoundingPass&) = delete;
    SoundingPass& operator=(const SoundingPass&) = delete;

    // Reads every line once; LineReadError for a line that cannot be read.
    void Run(const PingHandler& handler);
    const PassReport& Report() const { return m_report; }

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    GridOptions m_options;
    PassReport m_report;
};

// The surface as north-up rasters: row 0 is the northern row, column 0 the western one;
// the cell (row, column) is centred on its node. NaN where no sounding fell (count 0).
struct Surface
{
    int64_t width = 0, height = 0;
    double resolution = 0.0;
    double west = 0.0, north = 0.0; // outer edges of the first column and row
    std::vector<float> depth;       // robust estimate (median), metres, positive down
    std::vector<float> uncertainty; // one sigma, metres
    std::vector<float> count;       // soundings in the cell
    uint64_t cellsFromErrors = 0;   // cells whose uncertainty comes from the beams' errors
    uint64_t cellsFromSpread = 0;   // cells whose uncertainty is their soundings' spread
    uint64_t soundings = 0;
    std::string UncertaintySource() const;
};

// Half of the machine's physical memory.
uint64_t DefaultMaxBytes();

// One pass over the lines into a grid. GridTooLarge when it outgrows options.maxBytes.
std::unique_ptr<SurfaceGrid> GridLines(const GridOptions& options, PassReport& report);
// The grid as rasters; an empty grid gives an empty surface.
Surface MakeSurface(const SurfaceGrid& grid);

} // namespace kvs::surface
