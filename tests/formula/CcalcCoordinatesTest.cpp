// The coordinate and vector functions of the formula catalogue, run through formulas.
#include <KvsDataBlocks/formula/CForm.h>
#include <KvsDataBlocks/formula/Ccalc.h>

#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsDouble2D.h>
#include <KvsDataBlocks/values/CKvsDouble3D.h>
#include <KvsDataBlocks/values/CKvsName.h>
#include <KvsDataBlocks/config/DataSearch.h>
#include <KvsDataBlocks/geometry/KvsGeoCoordSysBase.h>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace {

// Sets the project's coordinate system for one test and removes it afterwards.
class ProjectSystem
{
public:
    explicit ProjectSystem(std::unique_ptr<KvsGeoCoordSysBase> system)
    {
        DataSearch::GetDataSearch().GetProjectDefinition().SetGeoCoordSys(std::move(system));
    }
    ~ProjectSystem() { DataSearch::GetDataSearch().GetProjectDefinition().SetGeoCoordSys(nullptr); }
    ProjectSystem(const ProjectSystem&) = delete;
    ProjectSystem& operator=(const ProjectSystem&) = delete;
};

// A coordinate system of plain arithmetic that records its calls:
//   GridAdjust(1): +1000 / +2000; GridToGeo: lat = y / 1e5, lon = x / 1e5;
//   DatumTransform(1): +0.5 / +0.25 degrees, +3 m; HeightCorrection: 40 m.
class FakeCoordSys : public KvsGeoCoordSysBase
{
public:
    bool adjust = true, toGeo = true, datum = true, height = true;
    mutable std::string log;

    bool GeoToGrid(double latitude, double longitude, double& x, double& y) const override
    {
        log += "geo2grid ";
        x = longitude * 1e5;
        y = latitude * 1e5;
        return true;
    }
    bool GridToGeo(double x, double y, double& latitude, double& longitude) const override
    {
        log += "grid2geo ";
        if (!toGeo) return false;
        latitude = y / 1e5;
        longitude = x / 1e5;
        return true;
    }
    bool DatumTransform(double& latitude, double& longitude, double& h, double& latOut, double& lonOut,
                        double& hOut, int direction, const CString& name) const override
    {
        log += "datum" + std::to_string(direction) + (name.IsEmpty() ? " " : "+name ");
        if (!datum) return false;
        latOut = latitude + 0.5;
        lonOut = longitude + 0.25;
        hOut = h + 3.0;
        return true;
    }
    bool HeightCorrection(double, double, double, double, double& correction) const override
    {
        log += "height ";
        if (!height) return false;
        correction = 40.0;
        return true;
    }
    bool GridAdjust(double x, double y, double h, double& xOut, double& yOut, double& hOut,
                    int direction) const override
    {
        log += "adjust" + std::to_string(direction) + " ";
        if (!adjust) return false;
        xOut = x + 1000.0;
        yOut = y + 2000.0;
        hOut = h;
        return true;
    }
};

// A form over x, y, height (var0 .. var2) and a kind text (var3).
struct PositionForm
{
    CKvsDouble x{0.0}, y{0.0}, h{0.0};
    CKvsName kind;
    CForm form;

    PositionForm(double xv, double yv, double hv, const char* k) : x(xv), y(yv), h(hv), kind(CString(k))
    {
        form.SetVar(0, &x);
        form.SetVar(1, &y);
        form.SetVar(2, &h);
        form.SetVar(3, &kind);
    }
    bool Set(const char* formula) { return form.SetFormula(formula); }
    double Value()
    {
        CKvsType* result = nullptr;
        double v = std::nan("");
        if (form.Execute() && form.GetResult(result)) result->GetDouble(v);
        return v;
    }
    CString Text()
    {
        CKvsType* result = nullptr;
        CString t("<none>");
        if (form.Execute() && form.GetResult(result)) result->GetValueStr(t);
        return t;
    }
};

FakeCoordSys* InstallFake(std::unique_ptr<ProjectSystem>& guard)
{
    auto fake = std::make_unique<FakeCoordSys>();
    FakeCoordSys* raw = fake.get();
    guard = std::make_unique<ProjectSystem>(std::move(fake));
    return raw;
}

// The result of text as its components (two for a 2-D vector, three otherwise).
std::vector<double> Vec(CForm& form, const char* text)
{
    std::vector<double> v;
    CKvsType* result = nullptr;
    EXPECT_TRUE(form.SetFormula(text)) << text;
    if (!form.Execute() || !form.GetResult(result)) return v;
    double x = NAN, y = NAN, z = NAN;
    if (result->GetDouble2D(x, y)) return {x, y};
    if (result->GetDouble3D(x, y, z)) return {x, y, z};
    return v;
}

// A form that reaches the catalogue rows without keywords under names of its own.
CForm VectorForm()
{
    CForm form;
    form.SetFuncStruct("R2P", "RECT2POL", 1);
    form.SetFuncStruct("P2R", "POL2RECT", 1);
    form.SetFuncStruct("V3R", "KVS_VEC3D_RECT", 3);
    form.SetFuncStruct("V2P", "KVS_VEC2D_POL", 2);
    form.SetFuncStruct("V3P", "KVS_VEC3D_POL", 3);
    form.SetFuncStruct("ATT", "KVS_ATTITUDE", 3);
    return form;
}

constexpr double kTol = 1e-9;

} // namespace

TEST(CcalcCoordinates, VectorBuildersAndConversionsKeepTheVectorsDimension)
{
    CForm form = VectorForm();
    const double r2 = std::sqrt(2.0), r3 = std::sqrt(3.0);
    const std::pair<const char*, std::vector<double>> cases[] = {
        {"C2D(1.5, -2)", {1.5, -2.0}},      {"C3D(1, 2, 3)", {1.0, 2.0, 3.0}}, {"V3R(4, 5, 6)", {4.0, 5.0, 6.0}},
        {"V2P(3, 45)", {3.0, 45.0}},        {"V3P(3, 45, 10)", {3.0, 45.0, 10.0}}, {"ATT(1, 2, 3)", {1.0, 2.0, 3.0}},
        // The polar and attitude builders take the first double of a vector argument.
        {"V2P(C2D(7, 8), C2D(9, 1))", {7.0, 9.0}},
        {"ATT(C3D(1, 0, 0), C3D(2, 0, 0), C3D(3, 0, 0))", {1.0, 2.0, 3.0}},
        {"C2D(\"a\", \"b\")", {0.0, 0.0}}, // texts hold no number: the vector stays zero
        {"R2P(C2D(1, 1))", {r2, 45.0}},     {"R2P(C2D(0, -1))", {1.0, 180.0}}, {"R2P(C2D(-1, 0))", {1.0, -90.0}},
        {"P2R(C3D(2, 90, 30))", {r3, 0.0, 1.0}}, {"R2P(C3D(0, 0, 5))", {5.0, 0.0, 90.0}},
        {"P2R(V2P(2, 90))", {2.0, 0.0}},   {"R2P(C3D(3, 4, 0))", {5.0, std::atan2(3.0, 4.0) * 180 / std::numbers::pi, 0.0}},
    };
    for (const auto& [text, expected] : cases) {
        const std::vector<double> got = Vec(form, text);
        ASSERT_EQ(got.size(), expected.size()) << text;
        for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], expected[i], kTol) << text << " " << i;
    }
    int code = 0, column = 0;
    EXPECT_FALSE(form.SetFormula("R2P(1)")); // a scalar is no vector
    form.GetError(code, column);
    EXPECT_EQ(code, CForm::ErrInvalidArgument);
}

TEST(CcalcCoordinates, WgsFunctionsRunTheSystemsOperationsInOrder)
{
    std::unique_ptr<ProjectSystem> guard;
    FakeCoordSys* fake = InstallFake(guard);
    PositionForm f(100.0, 5200000.0, 7.0, "Lat");
    ASSERT_TRUE(f.Set("XYTLLWGSVAL(var0, var1, var2, var3)"));
    // (100, 5200000) adjusted to (1100, 5202000): 52.02 / 0.011, then +0.5 / +0.25.
    EXPECT_NEAR(f.Value(), 52.52, kTol);
    EXPECT_EQ(fake->log, "adjust1 grid2geo datum1 height ");
    f.kind.SetName("lon");
    EXPECT_NEAR(f.Value(), 0.261, kTol);
    // The height is the input height plus the correction, not the datum's height.
    f.kind.SetName("ALT");
    EXPECT_DOUBLE_EQ(f.Value(), 47.0);
    fake->height = false;
    EXPECT_DOUBLE_EQ(f.Value(), 10.0); // now the datum-transformed height
    fake->datum = false;
    fake->adjust = false;
    EXPECT_DOUBLE_EQ(f.Value(), 7.0);
    f.kind.SetName("Lat");
    EXPECT_NEAR(f.Value(), 52.0, kTol);
}

TEST(CcalcCoordinates, UnplaceablePositionsAndOtherKindsLeaveTheResult)
{
    std::unique_ptr<ProjectSystem> guard;
    FakeCoordSys* fake = InstallFake(guard);
    PositionForm f(100.0, 5200000.0, 7.0, "Lat");
    ASSERT_TRUE(f.Set("XYTLLWGSVAL(var0, var1, var2, var3)"));
    const double lat = f.Value();
    fake->toGeo = false;
    EXPECT_EQ(f.Value(), lat);
    fake->toGeo = true;
    for (const char* kind : {"LatS", "X", "", "Latitude"}) {
        f.kind.SetName(kind);
        EXPECT_EQ(f.Value(), lat) << kind;
    }
    guard.reset(); // no project system: nothing is set
    f.kind.SetName("Alt");
    EXPECT_EQ(f.Value(), lat);
}

TEST(CcalcCoordinates, PositionTextsUseTheNmeaFieldFormat)
{
    std::unique_ptr<ProjectSystem> guard;
    FakeCoordSys* fake = InstallFake(guard);
    PositionForm f(100.0, 5200000.0, 7.0, "lat");
    ASSERT_TRUE(f.Set("XYTLLWGS(var0, var1, var2, var3)"));
    const struct
    {
        const char* kind;
        double value;
        int decimals;
    } cases[] = {{"lat", 52.52, 5}, {"LON", 0.261, 5}, {"Alt", 47.0, 2}, {"LatS", 52.52, 0}, {"lonS", 0.261, 0}};
    for (const auto& c : cases) {
        f.kind.SetName(c.kind);
        EXPECT_EQ(f.Text(), Ccalc::CreateNMEAPosStr(c.value, c.decimals, c.kind)) << c.kind;
    }
    f.kind.SetName("lat");
    EXPECT_STREQ(f.Text().GetString(), "5231.20000"); // 52.52 degrees
    // XYTLL stops at the local geographic position: no datum, no height correction.
    fake->log.clear();
    ASSERT_TRUE(f.Set("XYTLL(var0, var1, var2, var3)"));
    f.kind.SetName("Lat");
    EXPECT_EQ(f.Text(), Ccalc::CreateNMEAPosStr(52.02, 5, "Lat"));
    EXPECT_EQ(fake->log, "adjust1 grid2geo ");
    f.kind.SetName("Alt");
    EXPECT_STREQ(f.Text().GetString(), "7.00");
    // Another kind leaves the text as it was.
    f.kind.SetName("Depth");
    EXPECT_STREQ(f.Text().GetString(), "7.00");
}

TEST(CcalcCoordinates, PositionTextsWithoutAProjectSystemFormatZeros)
{
    PositionForm f(431000.0, 5790000.0, 12.5, "Lat");
    ASSERT_TRUE(f.Set("XYTLLWGS(var0, var1, var2, var3)"));
    EXPECT_STREQ(f.Text().GetString(), "0000.00000");
    f.kind.SetName("Alt");
    EXPECT_STREQ(f.Text().GetString(), "12.50");
    ASSERT_TRUE(f.Set("XYTLL(var0, var1, var2, var3)"));
    f.kind.SetName("LonS");
    EXPECT_STREQ(f.Text().GetString(), "E");
}

TEST(CcalcCoordinates, WgsValuesThroughProjWithAGeoidModel)
{
    // printf "500000 5800000\n" | cs2cs -d 10 EPSG:32631 EPSG:4326 -> 52.3502933489 3.0
    // printf "52.3502933489 3.0 5\n" | cs2cs -d 6 EPSG:4326+5773 EPSG:4979 -> h 48.579979
    auto system = KvsGeoCoordSysBase::Create("EPSG:32631", "EPSG:4326");
    ASSERT_TRUE(system);
    ASSERT_TRUE(system->SetGeoidModel("egm96_15.gtx"));
    ProjectSystem guard(std::move(system));
    PositionForm f(500000.0, 5800000.0, 5.0, "Lat");
    ASSERT_TRUE(f.Set("XYTLLWGSVAL(var0, var1, var2, var3)"));
    EXPECT_NEAR(f.Value(), 52.3502933489, 1e-9);
    f.kind.SetName("Lon");
    EXPECT_NEAR(f.Value(), 3.0, 1e-9);
    f.kind.SetName("Alt");
    EXPECT_NEAR(f.Value(), 48.579979, 1e-6);
    ASSERT_TRUE(f.Set("XYTLLWGS(var0, var1, var2, var3)"));
    const char* const texts[][2] = {{"Lat", "5221.01760"}, {"Alt", "48.58"}, {"LatS", "N"}, {"LonS", "E"}};
    for (const auto& t : texts) {
        f.kind.SetName(t[0]);
        EXPECT_STREQ(f.Text().GetString(), t[1]) << t[0];
    }
    // printf "431000 5790000\n" | cs2cs -d 10 EPSG:32631 EPSG:4326 -> 52.2560608677 1.9891187531
    PositionForm g(431000.0, 5790000.0, 0.0, "Lon");
    ASSERT_TRUE(g.Set("XYTLLWGS(var0, var1, var2, var3)"));
    EXPECT_STREQ(g.Text().GetString(), "00159.34713");
}

TEST(CcalcCoordinates, XytxyvalBetweenTwoUtmZones)
{
    // printf "500000 5800000 12.5\n" | cs2cs -d 6 EPSG:32631 EPSG:32632
    //   -> 91509.669619 5816961.726947 12.500000
    ProjectSystem guard(KvsGeoCoordSysBase::Create("EPSG:32631", "EPSG:4326"));
    PositionForm f(500000.0, 5800000.0, 12.5, "X");
    ASSERT_TRUE(f.Set("XYTXYVAL(var0, var1, var2, var3, \"EPSG:32632;EPSG:4326\")"));
    EXPECT_NEAR(f.Value(), 91509.669619, 1e-6);
    f.kind.SetName("y");
    EXPECT_NEAR(f.Value(), 5816961.726947, 1e-6);
    f.kind.SetName("Z");
    EXPECT_NEAR(f.Value(), 12.5, 1e-6);
    // And back again with blanks around the names.
    PositionForm back(91509.669619, 5816961.726947, 0.0, "X");
    DataSearch::GetDataSearch().GetProjectDefinition().SetGeoCoordSys(KvsGeoCoordSysBase::Create("EPSG:32632", "EPSG:4326"));
    ASSERT_TRUE(back.Set("XYTXYVAL(var0, var1, var2, var3, \" EPSG:32631 ; EPSG:4326 \")"));
    EXPECT_NEAR(back.Value(), 500000.0, 1e-5);
}

TEST(CcalcCoordinates, XytxyvalAcrossDatums)
{
    // printf "500000 5800000 10\n" | cs2cs --3d -d 6 EPSG:23031 EPSG:32631
    //   -> 499908.722071 5799789.824448 52.647706
    ProjectSystem guard(KvsGeoCoordSysBase::Create("EPSG:23031", "EPSG:4230"));
    PositionForm f(500000.0, 5800000.0, 10.0, "X");
    ASSERT_TRUE(f.Set("XYTXYVAL(var0, var1, var2, var3, \"EPSG:32631;EPSG:4326\")"));
    EXPECT_NEAR(f.Value(), 499908.722071, 1e-5);
    f.kind.SetName("Y");
    EXPECT_NEAR(f.Value(), 5799789.824448, 1e-5);
    f.kind.SetName("Z");
    EXPECT_NEAR(f.Value(), 52.647706, 1e-5);
    // A geoid model on the project turns the input height into WGS 84 height first.
    ASSERT_TRUE(DataSearch::GetDataSearch().GetProjectDefinition().GetGeoCoordSys()->SetGeoidModel("egm96_15.gtx"));
    const double z = f.Value();
    EXPECT_GT(z, 10.0 + 40.0);
    EXPECT_LT(z, 10.0 + 47.0);
}

TEST(CcalcCoordinates, XytxyvalNeedsBothSystems)
{
    PositionForm f(500000.0, 5800000.0, 12.5, "X");
    int code = 0, column = 0;
    // Fewer than two names, or names PROJ cannot use: no target system, binding fails.
    for (const char* formula : {"XYTXYVAL(var0, var1, var2, var3, \"EPSG:32632\")",
                                "XYTXYVAL(var0, var1, var2, var3, \"EPSG:32632;nonsense\")",
                                "XYTXYVAL(var0, var1, var2, var3, 5)"}) {
        EXPECT_FALSE(f.Set(formula)) << formula;
        f.form.GetError(code, column);
        EXPECT_EQ(code, CForm::ErrInvalidArgument) << formula;
    }
    // Without a project system the result stays as it was.
    ASSERT_TRUE(f.Set("XYTXYVAL(var0, var1, var2, var3, \"EPSG:32632;EPSG:4326\")"));
    EXPECT_EQ(f.Value(), 0.0);
    {
        ProjectSystem guard(KvsGeoCoordSysBase::Create("EPSG:32631", "EPSG:4326"));
        EXPECT_NEAR(f.Value(), 91509.669619, 1e-6);
        f.kind.SetName("Lat"); // not a grid kind
        EXPECT_NEAR(f.Value(), 91509.669619, 1e-6);
    }
    f.kind.SetName("Y");
    EXPECT_NEAR(f.Value(), 91509.669619, 1e-6);
}

TEST(CcalcCoordinates, CopiedCallsShareTheTargetSystem)
{
    ProjectSystem guard(KvsGeoCoordSysBase::Create("EPSG:32631", "EPSG:4326"));
    auto form = std::make_unique<PositionForm>(500000.0, 5800000.0, 0.0, "X");
    ASSERT_TRUE(form->Set("XYTXYVAL(var0, var1, var2, var3, \"EPSG:32632;EPSG:4326\")"));
    CForm copy(form->form);
    form->form.SetFormula("1"); // the original's calls and their system are released
    CKvsType* result = nullptr;
    ASSERT_TRUE(copy.Execute());
    ASSERT_TRUE(copy.GetResult(result));
    double x = 0.0;
    result->GetDouble(x);
    EXPECT_NEAR(x, 91509.669619, 1e-6);
}
