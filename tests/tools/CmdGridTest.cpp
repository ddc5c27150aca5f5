// kvsblocks grid and qa on simulated lines over a known seabed: depths within the noise of
// the truth at two resolutions, no-data where no beam fell, the GeoTIFF and the BAG read
// back through GDAL, tide reduction with the pings beyond the tide file left out, the
// refusals, and the S-44 check passing a clean line and failing one with its outliers in.
#include "TempFolder.h"
#include "ToolRun.h"

#include "SurveySimulator.h"

#include <LineSoundings.h>

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#ifdef KVS_TOOL_PATH

namespace {

struct Closer
{
    void operator()(GDALDataset* d) const { GDALClose(d); }
};
using Dataset = std::unique_ptr<GDALDataset, Closer>;

Dataset Open(const std::string& path)
{
    GDALAllRegister();
    return Dataset(static_cast<GDALDataset*>(GDALOpen(path.c_str(), GA_ReadOnly)));
}

std::vector<float> Band(GDALDataset& d, int band)
{
    const int w = d.GetRasterXSize(), h = d.GetRasterYSize();
    std::vector<float> v(static_cast<size_t>(w) * h);
    EXPECT_EQ(d.GetRasterBand(band)->RasterIO(GF_Read, 0, 0, w, h, v.data(), w, h, GDT_Float32, 0, 0), CE_None);
    return v;
}

// The simulated line of these tests: 30 m deep, 3 degrees across, 1 % along, a 2 m mound
// of 15 m radius halfway, no ripples, running north from (500000, 5800000).
kvs::SurveyLineOptions Seabed()
{
    kvs::SurveyLineOptions o;
    o.beams = 256;
    o.pings = 300;
    o.pingRate = 5.0;
    o.depth = 30.0;
    o.acrossSlope = 3.0;
    o.alongSlope = 1.0;
    o.rippleHeight = 0.0;
    o.bumpHeight = 2.0;
    o.bumpRadius = 15.0;
    o.spikeRate = 0.0;
    o.flyingRate = 0.0;
    o.seed = 3;
    return o;
}

const char* kSimulate = "simulate --beams 256 --pings 300 --rate 5 --depth 30 --slope 3 --along-slope 1 --ripple 0 "
                        "--bump 2:15 --flying 0 --seed 3 -q ";

} // namespace

TEST(CmdGrid, DepthsFollowTheKnownSeabedAtTwoResolutionsAndTheGeoTiffReadsBack)
{
    TempFolder dir("grid_seabed");
    ASSERT_EQ(RunTool(std::string(kSimulate) + "--spikes 0 -o " + dir / "line.kvs").status, 0);
    const kvs::SurveySimulator truth(Seabed());
    // The outermost soundings.
    double w = 1e300, e = -1e300, so = 1e300, n = -1e300;
    kvs::surface::LineSoundings line(dir / "line.kvs");
    kvs::surface::PingSoundings p;
    while (line.Next(p))
        for (size_t k = 0; k < p.east.size(); ++k)
            w = std::min(w, p.east[k]), e = std::max(e, p.east[k]), so = std::min(so, p.north[k]), n = std::max(n, p.north[k]);
    ASSERT_LT(w, 500000.0 - 50.0);
    for (double res : {1.0, 2.5}) {
        const std::string tif = dir / ("s" + std::to_string(res) + ".tif");
        const RunResult r = RunTool("grid " + dir / "line.kvs" + " -o " + tif + " --resolution " + std::to_string(res) +
                                    " --crs EPSG:32632 --json");
        ASSERT_EQ(r.status, 0) << r.out;
        const nlohmann::json j = nlohmann::json::parse(r.out);
        EXPECT_EQ(j["soundings"], 256 * 300);
        Dataset d = Open(tif);
        ASSERT_TRUE(d);
        ASSERT_EQ(d->GetRasterCount(), 3);
        EXPECT_STREQ(d->GetRasterBand(1)->GetDescription(), "depth");
        EXPECT_STREQ(d->GetRasterBand(2)->GetDescription(), "uncertainty");
        EXPECT_STREQ(d->GetRasterBand(3)->GetDescription(), "count");
        EXPECT_EQ(d->GetRasterBand(1)->GetNoDataValue(), -9999.0);
        ASSERT_NE(d->GetSpatialRef(), nullptr);
        EXPECT_STREQ(d->GetSpatialRef()->GetAuthorityCode(nullptr), "32632");
        double gt[6];
        ASSERT_EQ(d->GetGeoTransform(gt), CE_None);
        // Cells centred on the nodes, the outer ones holding the outermost soundings.
        EXPECT_EQ(gt[1], res);
        EXPECT_EQ(gt[5], -res);
        EXPECT_NEAR(std::remainder(gt[0] / res + 0.5, 1.0), 0.0, 1e-6);
        EXPECT_NEAR(std::remainder(gt[3] / res + 0.5, 1.0), 0.0, 1e-6);
        EXPECT_NEAR(gt[0] + 0.5 * res, w, 0.5 * res + 1e-6);
        EXPECT_NEAR(gt[0] + (d->GetRasterXSize() - 0.5) * res, e, 0.5 * res + 1e-6);
        EXPECT_NEAR(gt[3] - 0.5 * res, n, 0.5 * res + 1e-6);
        EXPECT_NEAR(gt[3] - (d->GetRasterYSize() - 0.5) * res, so, 0.5 * res + 1e-6);
        EXPECT_STRNE(d->GetMetadataItem("UNCERTAINTY_SOURCE"), nullptr);
        EXPECT_NE(std::string(d->GetMetadataItem("UNCERTAINTY_SOURCE")).find("vertical errors"), std::string::npos);
        const std::vector<float> depth = Band(*d, 1), unc = Band(*d, 2), count = Band(*d, 3);
        int judged = 0, close = 0;
        double peak = 0.0;
        for (int row = 0; row < d->GetRasterYSize(); ++row)
            for (int col = 0; col < d->GetRasterXSize(); ++col) {
                const size_t k = static_cast<size_t>(row) * d->GetRasterXSize() + col;
                if (count[k] == -9999.0f) continue;
                const double across = gt[0] + (col + 0.5) * res - 500000.0, along = gt[3] - (row + 0.5) * res - 5800000.0;
                // Cells on the line's ends or the swath's edges are only partly covered.
                if (count[k] < 3 || along < res || along > 149.5 - res || std::fabs(across) > 45.0) continue;
                const double expected = truth.SeabedDepth(across, along);
                ++judged;
                // Within four standard errors of the median, plus the slope across a cell.
                close += std::fabs(depth[k] - expected) <= 4.0 * 1.25 * unc[k] / std::sqrt(count[k]) + 0.03 * res;
                if (std::hypot(across, along - 74.75) < res) peak = std::max(peak, truth.SeabedDepth(across, along) - depth[k]);
            }
        EXPECT_GT(judged, 500);
        EXPECT_GE(close, 0.99 * judged) << res << " m: " << close << " of " << judged;
        EXPECT_LT(std::fabs(peak), 0.3); // the mound's top is where it should be
    }
}

TEST(CmdGrid, CellsWhereNoBeamFellAreNoData)
{
    TempFolder dir("grid_gaps");
    // A ping every 5 m along the line, gridded at 1 m: only every fifth row holds soundings.
    ASSERT_EQ(RunTool("simulate --beams 64 --pings 20 --rate 1 --speed 5 --ripple 0 --spikes 0 --flying 0 -q -o " +
                      dir / "line.kvs").status, 0);
    ASSERT_EQ(RunTool("grid " + dir / "line.kvs" + " -o " + dir / "g.tif --resolution 1").status, 0);
    Dataset d = Open(dir / "g.tif");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->GetSpatialRef(), nullptr); // a simulated line carries no longitude and latitude
    EXPECT_EQ(d->GetRasterYSize(), 96);
    const std::vector<float> depth = Band(*d, 1), count = Band(*d, 3);
    const int w = d->GetRasterXSize();
    for (int row = 0; row < d->GetRasterYSize(); ++row) {
        int filled = 0;
        for (int col = 0; col < w; ++col) filled += count[static_cast<size_t>(row) * w + col] != -9999.0f;
        EXPECT_EQ(filled > 0, row % 5 == 0) << row;
        for (int col = 0; col < w; ++col)
            EXPECT_EQ(depth[static_cast<size_t>(row) * w + col] == -9999.0f, count[static_cast<size_t>(row) * w + col] == -9999.0f);
    }
}

TEST(CmdGrid, BagAndPictureAreWrittenAndTheBagReadsBack)
{
    TempFolder dir("grid_bag");
    ASSERT_EQ(RunTool(std::string(kSimulate) + "--spikes 0 -o " + dir / "line.kvs").status, 0);
    const RunResult r = RunTool("grid " + dir / "line.kvs" + " -o " + dir / "s.tif --resolution 2 --crs EPSG:32632 --bag " +
                                dir / "s.bag --png " + dir / "s.png");
    ASSERT_EQ(r.status, 0) << r.out;
    Dataset bag = Open(dir / "s.bag");
    ASSERT_TRUE(bag);
    EXPECT_STREQ(bag->GetDriver()->GetDescription(), "BAG");
    ASSERT_EQ(bag->GetRasterCount(), 2);
    Dataset tif = Open(dir / "s.tif");
    EXPECT_EQ(bag->GetRasterXSize(), tif->GetRasterXSize());
    EXPECT_EQ(bag->GetRasterYSize(), tif->GetRasterYSize());
    ASSERT_NE(bag->GetSpatialRef(), nullptr);
    // UTM 32N with the vertical datum "unknown" (no tide file gave one).
    OGRSpatialReference utm32, horizontal(*bag->GetSpatialRef());
    utm32.importFromEPSG(32632);
    horizontal.StripVertical();
    EXPECT_TRUE(horizontal.IsSame(&utm32));
    EXPECT_EQ(std::string(bag->GetSpatialRef()->GetName()), "WGS 84 / UTM zone 32N + unknown");
    // BAG holds elevations: the negated depths.
    const std::vector<float> elevation = Band(*bag, 1), depth = Band(*tif, 1);
    const double bagNoData = bag->GetRasterBand(1)->GetNoDataValue();
    int compared = 0;
    for (size_t k = 0; k < depth.size(); ++k) {
        if (depth[k] == -9999.0f) {
            EXPECT_EQ(elevation[k], bagNoData);
            continue;
        }
        EXPECT_FLOAT_EQ(elevation[k], -depth[k]);
        ++compared;
    }
    EXPECT_GT(compared, 1000);
    ASSERT_NE(bag->GetMetadataItem("BAG_DATETIME"), nullptr);
    EXPECT_EQ(std::string(bag->GetMetadataItem("BAG_DATETIME")).substr(0, 10), "2026-01-01"); // the pings' date
    Dataset png = Open(dir / "s.png");
    ASSERT_TRUE(png);
    EXPECT_EQ(png->GetRasterCount(), 3);
    EXPECT_GT(png->GetRasterXSize(), 300);
}

TEST(CmdGrid, TideReducesDepthsAndPingsBeyondItsReachAreLeftOutAndCounted)
{
    TempFolder dir("grid_tide");
    ASSERT_EQ(RunTool(std::string(kSimulate) + "--spikes 0 -o " + dir / "line.kvs").status, 0);
    // The line runs 60 s from 2026-01-01 00:00:00; the tide file reaches its first 30 s.
    std::ofstream(dir / "t.tide") << "KVSTIDE 1\nSTATION Quay\nDATA\n2026-01-01 00:00:00 1.5\n2026-01-01 00:00:30 1.5\n";
    RunResult plain = RunTool("grid " + dir / "line.kvs" + " -o " + dir / "a.tif --resolution 5 --json");
    RunResult tided = RunTool("grid " + dir / "line.kvs" + " -o " + dir / "b.tif --resolution 5 --json --tide " + dir / "t.tide");
    ASSERT_EQ(plain.status, 0) << plain.out;
    ASSERT_EQ(tided.status, 0) << tided.out;
    const nlohmann::json j = nlohmann::json::parse(tided.out);
    EXPECT_EQ(j["lines"][0]["pings_without_tide"], 149); // pings 151 to 299, after 00:00:30
    EXPECT_EQ(j["soundings"], 151 * 256);
    EXPECT_NE(j["vertical_reference"].get<std::string>().find("station 'Quay'"), std::string::npos);
    Dataset a = Open(dir / "a.tif"), b = Open(dir / "b.tif");
    double ga[6], gb[6];
    a->GetGeoTransform(ga);
    b->GetGeoTransform(gb);
    EXPECT_LT(b->GetRasterYSize(), a->GetRasterYSize()); // the northern half is left out
    const std::vector<float> da = Band(*a, 1), db = Band(*b, 1), ca = Band(*a, 3), cb = Band(*b, 3);
    const int rowShift = static_cast<int>(std::lround((ga[3] - gb[3]) / 5.0));
    int compared = 0;
    for (int row = 0; row < b->GetRasterYSize(); ++row)
        for (int col = 0; col < b->GetRasterXSize(); ++col) {
            const size_t kb = static_cast<size_t>(row) * b->GetRasterXSize() + col;
            const size_t ka = static_cast<size_t>(row + rowShift) * a->GetRasterXSize() + col;
            if (ca[ka] != cb[kb] || cb[kb] == -9999.0f) continue; // cells the cut-off does not split
            EXPECT_NEAR(da[ka] - db[kb], 1.5, 1e-3);
            ++compared;
        }
    EXPECT_GT(compared, 100);
    // A tide file that does not read is refused, naming it.
    std::ofstream(dir / "bad.tide") << "KVSTIDE 1\nDATA\nnot a line\n";
    const RunResult bad = RunTool("grid " + dir / "line.kvs" + " -o " + dir / "c.tif --resolution 5 --tide " + dir / "bad.tide");
    EXPECT_EQ(bad.status, 1) << bad.out;
    EXPECT_NE(bad.out.find("bad.tide"), std::string::npos) << bad.out;
}

TEST(CmdGrid, RefusalsNameTheirReason)
{
    TempFolder dir("grid_refuse");
    ASSERT_EQ(RunTool("simulate --pings 20 -q -o " + dir / "line.kvs").status, 0);
    const struct { std::string args; int status; const char* text; } cases[] = {
        {"--resolution 0.01 --max-memory 1", 1, "cells at 0.01 m"},
        {"--resolution 1 --crs EPSG:4326", 2, "not a projected system"},
        {"--resolution 1 --crs nonsense", 2, "not a coordinate system"},
        {"--resolution 1 --bag " + dir / "x.bag", 1, "give --crs"},
        {"--resolution -1", 2, ""},
    };
    for (const auto& c : cases) {
        const RunResult r = RunTool("grid " + dir / "line.kvs" + " -o " + dir / "out.tif " + c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.text), std::string::npos) << c.args << "\n" << r.out;
    }
    // Nothing half-written is left behind.
    EXPECT_EQ(dir.Names(), std::vector<std::string>({"line.kvs"}));
    const RunResult same = RunTool("grid " + dir / "line.kvs" + " -o " + dir / "line.kvs --resolution 1");
    EXPECT_EQ(same.status, 2) << same.out;
}

TEST(CmdQa, ACleanedLineMeetsOrder1aAndTheSameLineWithItsOutliersFails)
{
    TempFolder dir("qa");
    ASSERT_EQ(RunTool(std::string(kSimulate) + "--spikes 0.1 -o " + dir / "raw.kvs").status, 0);
    ASSERT_EQ(RunTool("filter " + dir / "raw.kvs" + " -a " + std::string(KVS_SOURCE_DIR) + "/examples/filters.attr -o " +
                      dir / "clean.kvs").status, 0);
    const RunResult clean = RunTool("qa " + dir / "clean.kvs" + " --order 1a --resolution 2 --json");
    ASSERT_EQ(clean.status, 0) << clean.out;
    const nlohmann::json c = nlohmann::json::parse(clean.out);
    EXPECT_TRUE(c["met"]);
    EXPECT_GE(c["total"]["share"].get<double>(), 0.95);
    EXPECT_EQ(c["cells_failing"].get<int>() * 20 < c["cells_judged"].get<int>(), true);

    const RunResult raw = RunTool("qa " + dir / "raw.kvs" + " --order 1a --resolution 2 --map " + dir / "fails.png");
    EXPECT_EQ(raw.status, 1) << raw.out;
    EXPECT_NE(raw.out.find("order 1a NOT met"), std::string::npos) << raw.out;
    EXPECT_TRUE(Open(dir / "fails.png"));

    // Two lines: the crossline check compares their surfaces where they overlap.
    const RunResult two = RunTool("qa " + dir / "clean.kvs " + dir / "clean.kvs --order 2 --resolution 2 --json");
    ASSERT_EQ(two.status, 0) << two.out;
    const nlohmann::json t = nlohmann::json::parse(two.out);
    ASSERT_EQ(t["crosslines"].size(), 1u);
    EXPECT_GT(t["crosslines"][0]["cells"].get<int>(), 1000);
    EXPECT_NEAR(t["crosslines"][0]["mean"].get<double>(), 0.0, 1e-9); // a line against itself
    EXPECT_EQ(RunTool("qa " + dir / "clean.kvs --order 3 --resolution 2").status, 2);
}

#endif
