#include <KvsDataBlocks/geometry/KvsGeoCoordSysBase.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

// Expected values come from PROJ 9.1.1's command-line tools with network access off
// (PROJ_NETWORK=OFF); each block names its command.

namespace {

constexpr double kDegTol = 1e-9;  // about 0.1 mm on the ground
constexpr double kMetreTol = 1e-4;

std::unique_ptr<KvsGeoCoordSysBase> Make(const char* grid, const char* datum)
{
    auto system = KvsGeoCoordSysBase::Create(grid, datum);
    EXPECT_TRUE(system) << grid << " / " << datum;
    return system;
}

struct Geo { double x, y, lat, lon; };

// lat, lon, h after DatumTransform in direction (1: to WGS 84, 0: from it).
std::array<double, 3> Datum(const KvsGeoCoordSysBase& system, double lat, double lon, double h, long direction)
{
    std::array<double, 3> out{-1, -1, -1};
    EXPECT_TRUE(system.DatumTransform(lat, lon, h, out[0], out[1], out[2], direction, CString()));
    return out;
}

// Degrees (or metres, with tol) and a height in metres.
void ExpectNear(const std::array<double, 3>& got, const std::array<double, 3>& expected, double tol = kDegTol)
{
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], expected[i], i < 2 ? tol : kMetreTol) << i;
}

} // namespace

TEST(KvsGeoCoordSysBase, ConversionsMatchCs2csRefuseWhatProjCannotUseAndNeedTheirModels)
{
    // printf "500000 5800000\n431000 5790000\n690000 6500000\n" | cs2cs -d 10 EPSG:32631 EPSG:4326
    // printf "350000 6100000\n690000 5340000\n" | cs2cs -d 10 EPSG:25832 EPSG:4258
    auto utm31 = Make("EPSG:32631", "EPSG:4326");
    auto epsg = Make("EPSG:25832", "EPSG:4258");
    auto bare = Make(" +proj=utm +zone=32 +ellps=GRS80", "+proj=longlat +ellps=GRS80"); // no +type=crs
    ASSERT_TRUE(utm31 && epsg && bare);
    EXPECT_EQ(epsg->GetGridCrs(), "EPSG:25832");
    EXPECT_EQ(epsg->GetDatumCrs(), "EPSG:4258");
    const struct { const KvsGeoCoordSysBase* system; Geo p; } cases[] = {
        {utm31.get(), {500000.0, 5800000.0, 52.3502933489, 3.0000000000}},
        {utm31.get(), {431000.0, 5790000.0, 52.2560608677, 1.9891187531}},
        {utm31.get(), {690000.0, 6500000.0, 58.5987173060, 6.2699460574}},
        {epsg.get(), {350000.0, 6100000.0, 55.0241836096, 6.6534610272}},
        {bare.get(), {690000.0, 5340000.0, 48.1847976067, 11.5563060652}},
    };
    for (const auto& [system, p] : cases) {
        double lat = 0.0, lon = 0.0, x = 0.0, y = 0.0;
        ASSERT_TRUE(system->GridToGeo(p.x, p.y, lat, lon) && system->GeoToGrid(lat, lon, x, y)) << p.x;
        ExpectNear({lat, lon, 0.0}, {p.lat, p.lon, 0.0});
        ExpectNear({x, y, 0.0}, {p.x, p.y, 0.0}, kMetreTol);
    }
    // printf "500000 5800000\n" | cs2cs -d 10 EPSG:23031 EPSG:4230  -> 52.3492035038 3.0000000000
    // printf "52.3492035038 3.0 10\n" | cs2cs --3d -d 10 EPSG:4230 EPSG:4979
    //   -> 52.3484037741 2.9986599697 52.6477055866
    auto ed50 = Make("EPSG:23031", "EPSG:4230");
    auto wgs = Make("EPSG:32631", "EPSG:4326");
    ASSERT_TRUE(ed50 && wgs);
    ExpectNear(Datum(*ed50, 52.3492035038, 3.0, 10.0, 1), {52.3484037741, 2.9986599697, 52.6477055866});
    ExpectNear(Datum(*ed50, 52.3484037741, 2.9986599697, 52.6477055866, 0), {52.3492035038, 3.0, 10.0});
    ExpectNear(Datum(*wgs, 52.5, 3.25, -7.0, 1), {52.5, 3.25, -7.0}); // WGS 84 itself is the identity
    using E = KvsGeoCoordSysBase::CreateError;
    const struct { const char *grid, *datum; E::Part part; } refusals[] = {
        {"EPSG:99999", "EPSG:4326", E::Grid}, {"EPSG:32631", "no such thing", E::Datum}, {"", "EPSG:4326", E::Grid},
        // The roles must fit: a geographic CRS is no grid, a projected or vertical one no datum.
        {"EPSG:4326", "EPSG:4326", E::Grid},  {"EPSG:32631", "EPSG:32632", E::Datum},
        {"EPSG:32631", "EPSG:5773", E::Datum},
    };
    for (const auto& c : refusals) {
        E error;
        EXPECT_FALSE(KvsGeoCoordSysBase::Create(c.grid, c.datum, &error)) << c.grid << " " << c.datum;
        EXPECT_EQ(std::tuple(error.part, error.reason.IsEmpty()), std::tuple(c.part, false)) << c.grid << " " << c.datum;
    }
    E error;
    EXPECT_TRUE(KvsGeoCoordSysBase::Create("EPSG:32631", "EPSG:4326", &error) && error.part == E::None);
    double lat = 52.0, lon = 3.0, h = 0.0, badLat = 95.0, a = 1.0, b = 2.0, c = 3.0;
    const bool refused[] = {
        ed50->DatumTransform(lat, lon, h, a, b, c, 1, "ETRS89"), ed50->DatumTransform(lat, lon, h, a, b, c, 2, CString()),
        ed50->DatumTransform(badLat, lon, h, a, b, c, 1, CString()), ed50->GridToGeo(std::nan(""), 5800000.0, a, b),
        ed50->GridToGeo(500000.0, HUGE_VAL, a, b), ed50->GeoToGrid(91.0, 3.0, a, b), ed50->GeoToGrid(NAN, 3.0, a, b)};
    for (size_t i = 0; i < std::size(refused); ++i) EXPECT_FALSE(refused[i]) << i;
    EXPECT_EQ(std::tuple(a, b, c), std::tuple(1.0, 2.0, 3.0));
    // echo "3.0 52.3502933489 0" | cct -d 6 +proj=pipeline +step +proj=unitconvert
    //   +xy_in=deg +xy_out=rad +step +proj=vgridshift +grids=egm96_15.gtx +multiplier=1
    //   +step +proj=unitconvert +xy_in=rad +xy_out=deg          -> z 43.579979
    // printf "52.3502933489 3.0 5\n" | cs2cs -d 6 EPSG:4326+5773 EPSG:4979 -> z 48.579979
    double n = -1.0;
    CString why;
    EXPECT_FALSE(utm31->HeightCorrection(52.35, 3.0, 500000.0, 5800000.0, n));
    for (const char* bad :
         {"no_such_geoid.gtx", "../egm96_15.gtx", "/usr/share/proj/egm96_15.gtx", "egm96_15.gtx +proj=noop", ""}) {
        why = "";
        EXPECT_TRUE(!utm31->SetGeoidModel(bad, CString(), &why) && !why.IsEmpty()) << bad;
    }
    EXPECT_FALSE(utm31->HasGeoidModel() || utm31->HeightCorrection(52.35, 3.0, 500000.0, 5800000.0, n));
    EXPECT_EQ(n, -1.0);
    ASSERT_TRUE(utm31->SetGeoidModel("egm96_15.gtx", CString(), &why)) << why.GetString();
    EXPECT_EQ(std::tuple(utm31->HasGeoidModel(), utm31->GetGeoidModel()), std::tuple(true, CString("egm96_15.gtx")));
    ASSERT_TRUE(utm31->HeightCorrection(52.3502933489, 3.0, 0.0, 0.0, n));
    EXPECT_NEAR(n, 43.579979, 1e-6);
    EXPECT_FALSE(utm31->HeightCorrection(std::nan(""), 3.0, 0.0, 0.0, n));
    utm31->ClearGeoidModel();
    EXPECT_FALSE(utm31->HeightCorrection(52.3502933489, 3.0, 0.0, 0.0, n));
    // A model beside the project file: ProjectDefinition.ReadsFilesAndFindsTheGeoidBesideThem.
    // A grid adjustment only with an adjustment set.
    double x = 1.0, y = 2.0, z = 3.0;
    EXPECT_FALSE(utm31->GridAdjust(10.0, 20.0, 5.0, x, y, z, 1));
    EXPECT_EQ(std::tuple(x, y, z), std::tuple(1.0, 2.0, 3.0));
    utm31->SetGridAdjustment(*GridAdjustment::Similarity(500000.0, 5800000.0, 1.0, 0.0));
    ASSERT_TRUE(utm31->GridAdjust(10.0, 20.0, 5.0, x, y, z, 1));
    EXPECT_EQ((std::array<double, 3>{x, y, z}), (std::array<double, 3>{500010.0, 5800020.0, 5.0}));
    ASSERT_TRUE(utm31->GridAdjust(500010.0, 5800020.0, 5.0, x, y, z, 0));
    EXPECT_EQ((std::array<double, 3>{x, y, z}), (std::array<double, 3>{10.0, 20.0, 5.0}));
    EXPECT_FALSE(utm31->GridAdjust(10.0, 20.0, 5.0, x, y, z, 7));
    utm31->ClearGridAdjustment();
    EXPECT_FALSE(utm31->GridAdjust(10.0, 20.0, 5.0, x, y, z, 1));
}

TEST(KvsGeoCoordSysBase, KeepsProjNetworkAccessOffWhateverTheEnvironmentSays)
{
    // NAD27's best transformation to WGS 84 needs a grid that is not installed; with
    // network access on PROJ would try to fetch it and fail (cs2cs then gives "inf").
    // printf "40 -100 0\n" | PROJ_NETWORK=OFF cs2cs --3d -d 10 EPSG:4267 EPSG:4979
    //   -> 39.9999968824 -100.0004155886 -35.1041686665
    const char* before = std::getenv("PROJ_NETWORK");
    const std::string saved = before != nullptr ? before : "";
    setenv("PROJ_NETWORK", "ON", 1);
    auto system = KvsGeoCoordSysBase::Create("EPSG:26714", "EPSG:4267");
    double lat = 40.0, lon = -100.0, h = 0.0, a = 0.0, b = 0.0, c = 0.0;
    const bool done = system && system->DatumTransform(lat, lon, h, a, b, c, 1, CString());
    if (before != nullptr)
        setenv("PROJ_NETWORK", saved.c_str(), 1);
    else
        unsetenv("PROJ_NETWORK");
    ASSERT_TRUE(done);
    ExpectNear({a, b, c}, {39.9999968824, -100.0004155886, -35.1041686665});
}
