// The coordinate and vector functions of the formula catalogue, run through formulas.
#include <KvsDataBlocks/formula/Ccalc.h>

#include "FormulaRunner.h"

#include <KvsDataBlocks/config/DataSearch.h>
#include <KvsDataBlocks/geometry/KvsGeoCoordSysBase.h>

#include <numbers>

namespace {

void SetProjectSystem(std::unique_ptr<KvsGeoCoordSysBase> system)
{
    DataSearch::GetDataSearch().GetProjectDefinition().SetGeoCoordSys(std::move(system));
}

// Sets the project's coordinate system for one test and removes it afterwards.
struct ProjectSystem
{
    explicit ProjectSystem(KvsGeoCoordSysBase* system) { SetProjectSystem(std::unique_ptr<KvsGeoCoordSysBase>(system)); }
    ~ProjectSystem() { SetProjectSystem(nullptr); }
};

// A coordinate system of plain arithmetic that records its calls:
//   GridAdjust(1): +1000 / +2000; GridToGeo: lat = y / 1e5, lon = x / 1e5;
//   DatumTransform(1): +0.5 / +0.25 degrees, +3 m; HeightCorrection: 40 m.
struct FakeCoordSys : KvsGeoCoordSysBase
{
    bool adjust = true, toGeo = true, datum = true, height = true;
    mutable std::string log;

    bool GridToGeo(double x, double y, double& lat, double& lon) const override
    {
        return log += "grid2geo ", toGeo && (lat = y / 1e5, lon = x / 1e5, true);
    }
    bool DatumTransform(double& lat, double& lon, double& h, double& latOut, double& lonOut, double& hOut,
                        int direction, const CString& name) const override
    {
        log += "datum" + std::to_string(direction) + (name.IsEmpty() ? " " : "+name ");
        return datum && (latOut = lat + 0.5, lonOut = lon + 0.25, hOut = h + 3.0, true);
    }
    bool HeightCorrection(double, double, double, double, double& correction) const override
    {
        return log += "height ", height && (correction = 40.0, true);
    }
    bool GridAdjust(double x, double y, double h, double& xOut, double& yOut, double& hOut, int direction) const override
    {
        log += "adjust" + std::to_string(direction) + " ";
        return adjust && (xOut = x + 1000.0, yOut = y + 2000.0, hOut = h, true);
    }
};

// A form running function(var0 .. var3) over x, y, height and a kind text.
struct PositionForm
{
    CKvsDouble x, y, h;
    CKvsName kind;
    CForm form;

    PositionForm(const char* function, double xv, double yv, double hv) : x(xv), y(yv), h(hv)
    {
        form.SetVar(0, &x);
        form.SetVar(1, &y);
        form.SetVar(2, &h);
        form.SetVar(3, &kind);
        EXPECT_TRUE(Set(function)) << function;
    }
    // Parses function(var0, var1, var2, var3<more>); C3D takes the first three.
    bool Set(const char* function, const std::string& more = "")
    {
        const char* args = std::string_view(function) == "C3D" ? "(var0, var1, var2" : "(var0, var1, var2, var3";
        return form.SetFormula((std::string(function) + args + more + ")").c_str());
    }
    // Runs the form with the kind k: its result as a number or a text.
    double Value(const char* k) { return kind.SetName(k), ResultOf(form); }
    CString Text(const char* k) { return kind.SetName(k), TextOfForm(form); }
    // The value of each kind, to within tol.
    void ExpectValues(std::initializer_list<std::pair<const char*, double>> kinds, double tol)
    {
        for (const auto& [k, v] : kinds) EXPECT_NEAR(Value(k), v, tol) << k;
    }
};

// The result of text as its components (two for a 2-D vector, three for a 3-D one).
std::vector<double> Vec(CForm& form, const char* text)
{
    CKvsType* result = RunForm(form, text);
    double x = NAN, y = NAN, z = NAN;
    if (result && result->GetDouble2D(x, y)) return {x, y};
    if (result && result->GetDouble3D(x, y, z)) return {x, y, z};
    return {};
}

constexpr double kTol = 1e-9;
const std::string kUtm32 = ", \"EPSG:32632;EPSG:4326\"";

} // namespace

TEST(CcalcCoordinates, VectorsKeepTheirDimensionAndWgsFunctionsRunInOrder)
{
    CForm form; // the catalogue rows without keywords, under names of its own
    for (const auto& [name, row, n] : {std::tuple{"R2P", "RECT2POL", 1}, {"P2R", "POL2RECT", 1},
                                       {"V3R", "KVS_VEC3D_RECT", 3}, {"V2P", "KVS_VEC2D_POL", 2},
                                       {"V3P", "KVS_VEC3D_POL", 3}, {"ATT", "KVS_ATTITUDE", 3}})
        form.SetFuncStruct(name, row, n);
    const double r2 = std::sqrt(2.0), r3 = std::sqrt(3.0);
    const std::pair<const char*, std::vector<double>> cases[] = {
        {"C2D(1.5, -2)", {1.5, -2.0}},      {"C3D(1, 2, 3)", {1.0, 2.0, 3.0}}, {"V3R(4, 5, 6)", {4.0, 5.0, 6.0}},
        {"V2P(3, 45)", {3.0, 45.0}},        {"V3P(3, 45, 10)", {3.0, 45.0, 10.0}}, {"ATT(1, 2, 3)", {1.0, 2.0, 3.0}},
        // The polar and attitude builders take the first double of a vector argument.
        {"V2P(C2D(7, 8), C2D(9, 1))", {7.0, 9.0}}, {"ATT(C3D(1, 0, 0), C3D(2, 0, 0), C3D(3, 0, 0))", {1.0, 2.0, 3.0}},
        {"C2D(\"a\", \"b\")", {0.0, 0.0}}, // texts hold no number: the vector stays zero
        {"R2P(C2D(1, 1))", {r2, 45.0}},     {"R2P(C2D(0, -1))", {1.0, 180.0}}, {"R2P(C2D(-1, 0))", {1.0, -90.0}},
        {"R2P(C2D(-1, -1))", {r2, -135.0}}, {"R2P(C2D(0, 0))", {0.0, 0.0}}, // bearings in (-180, 180]
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
    FakeCoordSys* fake = new FakeCoordSys; // the project's
    ProjectSystem guard(fake);
    PositionForm f("XYTLLWGSVAL", 100.0, 5200000.0, 7.0);
    // (100, 5200000) adjusted to (1100, 5202000): 52.02 / 0.011, then +0.5 / +0.25.
    EXPECT_NEAR(f.Value("Lat"), 52.52, kTol);
    EXPECT_EQ(fake->log, "adjust1 grid2geo datum1 height ");
    EXPECT_NEAR(f.Value("lon"), 0.261, kTol);
    EXPECT_DOUBLE_EQ(f.Value("ALT"), 47.0); // the input height plus the correction, not the datum's height
    // Other kinds, and positions the system cannot place, leave the result.
    for (const char* kind : {"LatS", "X", "", "Latitude"}) EXPECT_EQ(f.Value(kind), 47.0) << kind;
    fake->toGeo = false;
    EXPECT_EQ(f.Value("Lat"), 47.0);
    fake->toGeo = true, fake->height = false;
    EXPECT_DOUBLE_EQ(f.Value("Alt"), 10.0); // now the datum-transformed height
    fake->datum = false, fake->adjust = false;
    f.ExpectValues({{"Alt", 7.0}, {"Lat", 52.0}}, kTol);
    SetProjectSystem(nullptr); // no project system: the call fails, no value is left from before
    EXPECT_TRUE(std::isnan(f.Value("Alt")));
}

TEST(CcalcCoordinates, PositionTextsUseTheNmeaFormatAndXytxyvalNeedsAndUsesBothSystems)
{
    FakeCoordSys* fake = new FakeCoordSys; // the project's
    ProjectSystem guard(fake);
    PositionForm f("XYTLLWGS", 100.0, 5200000.0, 7.0);
    const struct { const char* kind; double value; int decimals; } cases[] = {
        {"lat", 52.52, 5}, {"LON", 0.261, 5}, {"Alt", 47.0, 2}, {"LatS", 52.52, 0}, {"lonS", 0.261, 0}};
    for (const auto& c : cases) EXPECT_EQ(f.Text(c.kind), Ccalc::CreateNMEAPosStr(c.value, c.decimals, c.kind)) << c.kind;
    EXPECT_EQ(f.Text("lat"), "5231.20000"); // 52.52 degrees
    // XYTLL stops at the local geographic position: no datum, no height correction.
    fake->log.clear();
    ASSERT_TRUE(f.Set("XYTLL"));
    EXPECT_EQ(f.Text("Lat"), Ccalc::CreateNMEAPosStr(52.02, 5, "Lat"));
    EXPECT_EQ(fake->log, "adjust1 grid2geo ");
    EXPECT_EQ(f.Text("Alt"), "7.00");
    EXPECT_EQ(f.Text("Depth"), "7.00"); // another kind leaves the text as it was
    // Without a project system there is no position: the calls fail instead of writing zeros.
    SetProjectSystem(nullptr);
    PositionForm g("XYTLLWGS", 431000.0, 5790000.0, 12.5);
    EXPECT_EQ(g.Text("Lat"), "<failed>");
    EXPECT_EQ(g.Text("Alt"), "<failed>");
    ASSERT_TRUE(g.Set("XYTLL"));
    EXPECT_EQ(g.Text("LonS"), "<failed>");
    // printf "500000 5800000 12.5\n" | cs2cs -d 6 EPSG:32631 EPSG:32632
    //   -> 91509.669619 5816961.726947 12.500000
    ProjectSystem utm31(KvsGeoCoordSysBase::Create("EPSG:32631", "EPSG:4326").release());
    PositionForm zone31("C3D", 500000.0, 5800000.0, 12.5);
    ASSERT_TRUE(zone31.Set("XYTXYVAL", kUtm32));
    zone31.ExpectValues({{"X", 91509.669619}, {"y", 5816961.726947}, {"Z", 12.5}, {"Lat", 12.5}}, 1e-6); // Lat: left
    // The call keeps its target system when the form is copied and the original released.
    zone31.kind.SetName("Y");
    CForm copy(zone31.form);
    zone31.form.SetFormula("1");
    EXPECT_NEAR(ResultOf(copy), 5816961.726947, 1e-6);
    // And back again with blanks around the names.
    SetProjectSystem(KvsGeoCoordSysBase::Create("EPSG:32632", "EPSG:4326"));
    PositionForm back("C3D", 91509.669619, 5816961.726947, 0.0);
    ASSERT_TRUE(back.Set("XYTXYVAL", ", \" EPSG:32631 ; EPSG:4326 \""));
    EXPECT_NEAR(back.Value("X"), 500000.0, 1e-5);
    // printf "500000 5800000 10\n" | cs2cs --3d -d 6 EPSG:23031 EPSG:32631
    //   -> 499908.722071 5799789.824448 52.647706
    SetProjectSystem(KvsGeoCoordSysBase::Create("EPSG:23031", "EPSG:4230"));
    PositionForm d("C3D", 500000.0, 5800000.0, 10.0);
    ASSERT_TRUE(d.Set("XYTXYVAL", ", \"EPSG:32631;EPSG:4326\""));
    d.ExpectValues({{"X", 499908.722071}, {"Y", 5799789.824448}, {"Z", 52.647706}}, 1e-5);
    // A geoid model on the project turns the input height into WGS 84 height first.
    ASSERT_TRUE(DataSearch::GetDataSearch().GetProjectDefinition().GetGeoCoordSys()->SetGeoidModel("egm96_15.gtx"));
    EXPECT_NEAR(d.Value("Z"), 10.0 + 43.5, 3.5);
    SetProjectSystem(nullptr);
    PositionForm plain("C3D", 500000.0, 5800000.0, 12.5);
    int code = 0, column = 0;
    // Fewer than two names, or names PROJ cannot use: no target system, binding fails.
    for (const char* more : {", \"EPSG:32632\"", ", \"EPSG:32632;nonsense\"", ", 5"}) {
        EXPECT_FALSE(plain.Set("XYTXYVAL", more)) << more;
        plain.form.GetError(code, column);
        EXPECT_EQ(code, CForm::ErrInvalidArgument) << more;
    }
    // Without a project system the call fails: no value made up or left from before.
    ASSERT_TRUE(plain.Set("XYTXYVAL", kUtm32));
    EXPECT_TRUE(std::isnan(plain.Value("X")));
    SetProjectSystem(KvsGeoCoordSysBase::Create("EPSG:32631", "EPSG:4326"));
    EXPECT_NEAR(plain.Value("X"), 91509.669619, 1e-6);
    SetProjectSystem(nullptr);
    EXPECT_TRUE(std::isnan(plain.Value("Y")));
}
