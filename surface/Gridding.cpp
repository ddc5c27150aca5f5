#include "Gridding.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/tide/TideStationDataSource.h>

#include <ogr_spatialref.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <unistd.h>

namespace kvs::surface {

namespace {

std::unique_ptr<OGRSpatialReference> MakeCrs(const std::string& text)
{
    auto srs = std::make_unique<OGRSpatialReference>();
    srs->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    if (srs->SetFromUserInput(text.c_str()) != OGRERR_NONE) return nullptr;
    return srs;
}

std::string UtmCode(int zone)
{
    return "EPSG:" + std::to_string(zone > 0 ? 32600 + zone : 32700 - zone);
}

std::string Wkt(const OGRSpatialReference& srs)
{
    char* text = nullptr;
    const char* options[] = {"FORMAT=WKT2_2019", nullptr};
    std::string wkt;
    if (srs.exportToWkt(&text, options) == OGRERR_NONE && text) wkt = text;
    CPLFree(text);
    return wkt;
}

} // namespace

struct SoundingPass::Impl
{
    std::unique_ptr<OGRSpatialReference> target;
    std::unique_ptr<TideStationDataSource> tide;
    std::unique_ptr<OGRCoordinateTransformation> transform; // the line in hand's, when it needs one
    std::vector<double> zs;

    ~Impl()
    {
        if (tide) tide->FileClose(false);
    }
};

uint64_t DefaultMaxBytes()
{
    const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || size <= 0) return uint64_t{4} << 30;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(size) / 2;
}

SoundingPass::SoundingPass(const GridOptions& options) : m_impl(std::make_unique<Impl>()), m_options(options)
{
    if (m_options.lines.empty()) throw std::invalid_argument("no line to grid");
    if (!(m_options.resolution > 0.0) || !std::isfinite(m_options.resolution))
        throw std::invalid_argument("the resolution must be a positive number of metres");
    if (!m_options.crs.empty()) {
        m_impl->target = MakeCrs(m_options.crs);
        if (!m_impl->target) throw std::invalid_argument("'" + m_options.crs + "' is not a coordinate system PROJ knows");
        if (!m_impl->target->IsProjected())
            throw std::invalid_argument("'" + m_options.crs + "' is not a projected system (the grid is in metres)");
    }
    m_report.verticalReference = "as recorded in the lines (no tide reduction): GSF depths carry the correctors "
                                 "the file applied, raw sonar depths lie below the water line";
    if (!m_options.tideFile.empty()) {
        auto tide = std::make_unique<TideStationDataSource>();
        if (!tide->FileOpen(CString(m_options.tideFile.c_str())))
            throw std::runtime_error(std::string(tide->GetTideStation().GetLastError()));
        tide->SetInterpolAttribs(true, std::max(m_options.tideWindow, 0.0));
        tide->SetExtrapolationAttribs(m_options.tideExtrapolate >= 0.0, std::max(m_options.tideExtrapolate, 0.0));
        m_report.tideStation = std::string(tide->GetStationName());
        m_report.verticalReference = "reduced by the tide of " + m_options.tideFile + " (station '" +
                                     m_report.tideStation + "'): depths below that station's datum";
        m_impl->tide = std::move(tide);
    }
    for (const std::string& line : m_options.lines) m_report.lines.push_back(LineReport{line, {}, 0, 0, 0, false});
    m_report.crsName = "unknown";
    if (m_impl->target) {
        m_report.crsWkt = Wkt(*m_impl->target);
        m_report.crsName = m_impl->target->GetName() ? m_impl->target->GetName() : m_options.crs;
    }
}

SoundingPass::~SoundingPass() = default;

void SoundingPass::Run(const PingHandler& handler)
{
    Impl& impl = *m_impl;
    bool anyPing = false;
    for (size_t l = 0; l < m_options.lines.size(); ++l) {
        LineReport& report = m_report.lines[l];
        report.counts = {};
        report.pingsNoTide = report.soundingsNoTide = 0;
        LineSoundings line(m_options.lines[l]);
        PingSoundings ping;
        bool first = true;
        impl.transform.reset();
        while (line.Next(ping)) {
            if (first) {
                first = false;
                report.utmZone = line.UtmZone();
                if (!impl.target && report.utmZone != 0) {
                    // The first located line's zone becomes the surface's system.
                    impl.target = MakeCrs(UtmCode(report.utmZone));
                    if (impl.target) {
                        m_report.crsWkt = Wkt(*impl.target);
                        m_report.crsName = impl.target->GetName() ? impl.target->GetName() : UtmCode(report.utmZone);
                    }
                }
                if (impl.target && report.utmZone != 0) {
                    auto source = MakeCrs(UtmCode(report.utmZone));
                    if (source && !source->IsSame(impl.target.get())) {
                        impl.transform.reset(OGRCreateCoordinateTransformation(source.get(), impl.target.get()));
                        if (!impl.transform)
                            throw LineReadError(m_options.lines[l] + ": cannot move its positions from " +
                                                UtmCode(report.utmZone) + " into " + m_report.crsName);
                        report.reprojected = true;
                    }
                }
            }
            if (impl.tide) {
                CDataBlock block;
                block.SetTime(ping.time);
                double tide = 0.0;
                unsigned short status = 0;
                if (!impl.tide->Interpolate(block) || !block.GetDataValue(0, tide, status, CDataBlock::kByPosition) ||
                    !std::isfinite(tide)) {
                    ++report.pingsNoTide;
                    report.soundingsNoTide += ping.depth.size();
                    continue;
                }
                for (double& d : ping.depth) d -= tide;
            }
            if (impl.transform && !ping.east.empty()) {
                impl.zs.assign(ping.east.size(), 0.0);
                std::vector<int> ok(ping.east.size(), 0);
                impl.transform->Transform(ping.east.size(), ping.east.data(), ping.north.data(), impl.zs.data(), ok.data());
                // Soundings that could not be moved are dropped, never gridded in the wrong place.
                size_t k = 0;
                for (size_t i = 0; i < ok.size(); ++i) {
                    if (!ok[i]) continue;
                    ping.east[k] = ping.east[i], ping.north[k] = ping.north[i];
                    ping.depth[k] = ping.depth[i], ping.sigma[k] = ping.sigma[i];
                    ++k;
                }
                ping.east.resize(k), ping.north.resize(k), ping.depth.resize(k), ping.sigma.resize(k);
            }
            if (!ping.depth.empty()) {
                if (!anyPing || ping.time < m_report.firstTime) m_report.firstTime = ping.time;
                if (!anyPing || ping.time > m_report.lastTime) m_report.lastTime = ping.time;
                anyPing = true;
            }
            try {
                handler(l, ping);
            } catch (const std::out_of_range& e) {
                throw LineReadError(m_options.lines[l] + ": ping " + std::to_string(ping.pingNumber) + ": " + e.what());
            }
        }
        report.counts = line.Counts();
        report.counts.soundings -= report.soundingsNoTide;
    }
}

std::unique_ptr<SurfaceGrid> GridLines(const GridOptions& options, PassReport& report)
{
    SoundingPass pass(options);
    auto grid = std::make_unique<SurfaceGrid>(options.resolution, options.maxBytes ? options.maxBytes : DefaultMaxBytes());
    pass.Run([&](size_t, const PingSoundings& ping) {
        for (size_t i = 0; i < ping.depth.size(); ++i) grid->Add(ping.east[i], ping.north[i], ping.depth[i], ping.sigma[i]);
    });
    report = pass.Report();
    return grid;
}

std::string Surface::UncertaintySource() const
{
    if (cellsFromErrors && !cellsFromSpread) return "the beams' vertical errors (root mean square of the cell's soundings)";
    if (cellsFromSpread && !cellsFromErrors) return "the spread of the cell's soundings (standard deviation)";
    if (!cellsFromErrors && !cellsFromSpread) return "none";
    return "the beams' vertical errors (root mean square) in " + std::to_string(cellsFromErrors) +
           " cells whose soundings all carry one, the spread of the soundings (standard deviation) in " +
           std::to_string(cellsFromSpread);
}

Surface MakeSurface(const SurfaceGrid& grid)
{
    Surface s;
    s.resolution = grid.Resolution();
    int64_t i0 = 0, j0 = 0, i1 = 0, j1 = 0;
    if (!grid.Bounds(i0, j0, i1, j1)) return s;
    s.width = i1 - i0 + 1;
    s.height = j1 - j0 + 1;
    s.west = (static_cast<double>(i0) - 0.5) * s.resolution;
    s.north = (static_cast<double>(j1) + 0.5) * s.resolution;
    const size_t cells = static_cast<size_t>(s.width) * static_cast<size_t>(s.height);
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    s.depth.assign(cells, nan);
    s.uncertainty.assign(cells, nan);
    s.count.assign(cells, 0.0f);
    for (int64_t row = 0; row < s.height; ++row) {
        const int64_t j = j1 - row;
        for (int64_t col = 0; col < s.width; ++col) {
            const CellStats* c = grid.Find(i0 + col, j);
            if (!c) continue;
            const size_t k = static_cast<size_t>(row * s.width + col);
            s.depth[k] = static_cast<float>(c->Median());
            s.count[k] = static_cast<float>(c->count);
            s.soundings += c->count;
            if (c->errorCount == c->count) {
                s.uncertainty[k] = static_cast<float>(c->RmsError());
                ++s.cellsFromErrors;
            } else if (c->count >= 2) {
                s.uncertainty[k] = static_cast<float>(c->Spread());
                ++s.cellsFromSpread;
            }
        }
    }
    return s;
}

} // namespace kvs::surface
