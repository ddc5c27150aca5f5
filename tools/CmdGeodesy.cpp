// kvsblocks geodesy: the inverse problem (distance and azimuths between two points) and the
// direct problem (end point and back azimuth from a start point, azimuth and distance) on a
// named or given ellipsoid, by the exact geodesic (GeographicLib) or, with --closed-form,
// by Robbins' and Clarke's closed forms where they hold to 1 cm (GeodesicSolver).
#include "Commands.h"
#include "GeodesicSolver.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/geometry/Ellipsoid.h>
#include <KvsDataBlocks/platform/TextUtils.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kvs::tool {

namespace {

struct GeodesyOptions
{
    std::string ellipsoid = "WGS84";
    double a = 0.0;                 // with inverseFlattening: an ellipsoid of one's own
    double inverseFlattening = 0.0;
    bool json = false;
    bool closedForm = false;
    std::array<std::string, 4> values; // inverse: lat1 lon1 lat2 lon2; direct: lat lon azimuth distance
};

double ParseNumber(const std::string& text, const char* what)
{
    double v = 0.0;
    if (!ParseFiniteDouble(text, v)) throw InputError(std::string(what) + " '" + text + "' is not a number");
    return v;
}

double ParseLatitude(const std::string& text, const char* what)
{
    const double v = ParseNumber(text, what);
    if (std::fabs(v) > 90.0) throw InputError(std::string(what) + " '" + text + "' lies outside -90..90 degrees");
    return v;
}

struct Shape
{
    std::string name;
    double a;
    double e2;
};

Shape ChosenEllipsoid(const GeodesyOptions& o)
{
    if (o.a != 0.0 || o.inverseFlattening != 0.0) {
        if (!(o.a > 0.0) || !(o.inverseFlattening > 1.0) || !std::isfinite(o.a) || !std::isfinite(o.inverseFlattening))
            throw InputError("--a must be positive and --rf (the inverse flattening) greater than 1");
        const double f = 1.0 / o.inverseFlattening;
        return {"custom", o.a, f * (2.0 - f)};
    }
    if (const Ellipsoid* e = FindEllipsoid(o.ellipsoid)) return {std::string(e->name), e->a, e->E2()};
    throw InputError("unknown ellipsoid '" + o.ellipsoid + "'");
}

nlohmann::json EllipsoidJson(const Shape& s)
{
    return {{"name", s.name}, {"a", s.a}, {"e2", s.e2}};
}

GeodesicSolver Solver(const GeodesyOptions& o, Shape& e)
{
    e = ChosenEllipsoid(o);
    return GeodesicSolver(e.a, e.e2, o.closedForm ? GeodesicMethod::ClosedForm : GeodesicMethod::Exact);
}

int RunInverse(const GeodesyOptions& o)
{
    const double lat1 = ParseLatitude(o.values[0], "LAT1"), lon1 = ParseNumber(o.values[1], "LON1");
    const double lat2 = ParseLatitude(o.values[2], "LAT2"), lon2 = ParseNumber(o.values[3], "LON2");
    Shape e;
    const GeodesicSolver solver = Solver(o, e);
    GeodesicInverse r;
    std::string error;
    if (!solver.Inverse(lat1, lon1, lat2, lon2, r, error)) throw InputError(error);
    if (o.json) {
        const nlohmann::json j = {{"problem", "inverse"}, {"ellipsoid", EllipsoidJson(e)},
                                  {"method", o.closedForm ? "closed-form" : "exact"},
                                  {"lat1", lat1}, {"lon1", lon1}, {"lat2", lat2}, {"lon2", lon2},
                                  {"distance", r.distance}, {"azimuth12", r.azimuth12}, {"azimuth21", r.azimuth21}};
        std::printf("%s\n", j.dump(2).c_str());
    } else {
        std::printf("distance     %.6f m\n", r.distance);
        std::printf("azimuth 1-2  %.9f deg\n", r.azimuth12);
        std::printf("azimuth 2-1  %.9f deg\n", r.azimuth21);
    }
    return kExitOk;
}

int RunDirect(const GeodesyOptions& o)
{
    const double lat1 = ParseLatitude(o.values[0], "LAT"), lon1 = ParseNumber(o.values[1], "LON");
    const double azimuth = ParseNumber(o.values[2], "AZIMUTH"), distance = ParseNumber(o.values[3], "DISTANCE");
    if (distance < 0.0) throw InputError("DISTANCE '" + o.values[3] + "' is negative");
    Shape e;
    const GeodesicSolver solver = Solver(o, e);
    GeodesicDirect r;
    std::string error;
    if (!solver.Direct(lat1, lon1, azimuth, distance, r, error)) throw InputError("DISTANCE " + o.values[3] + ": " + error);
    if (o.json) {
        const nlohmann::json j = {{"problem", "direct"}, {"ellipsoid", EllipsoidJson(e)},
                                  {"method", o.closedForm ? "closed-form" : "exact"},
                                  {"lat1", lat1}, {"lon1", lon1}, {"azimuth", azimuth}, {"distance", distance},
                                  {"lat2", r.lat2}, {"lon2", r.lon2}, {"backAzimuth", r.backAzimuth}};
        std::printf("%s\n", j.dump(2).c_str());
    } else {
        std::printf("latitude      %.10f deg\n", r.lat2);
        std::printf("longitude     %.10f deg\n", r.lon2);
        std::printf("back azimuth  %.9f deg\n", r.backAzimuth);
    }
    return kExitOk;
}

void AddCommonOptions(CLI::App* cmd, GeodesyOptions& o)
{
    std::vector<std::string> names;
    for (const Ellipsoid& e : kEllipsoids) names.emplace_back(e.name);
    cmd->add_option("--ellipsoid", o.ellipsoid, "Named ellipsoid")->check(CLI::IsMember(names))->capture_default_str();
    cmd->add_option("--a", o.a, "Semi-major axis in metres of an ellipsoid of your own (with --rf)");
    cmd->add_option("--rf", o.inverseFlattening, "Inverse flattening of an ellipsoid of your own (with --a)");
    cmd->add_flag("--json", o.json, "Write JSON");
    cmd->add_flag("--closed-form", o.closedForm,
                  "Robbins' and Clarke's closed forms instead of the exact geodesic; refused where they would be more "
                  "than 1 cm off");
}

} // namespace

void AddGeodesyCommand(CLI::App& app, Runner& run)
{
    auto o = std::make_shared<GeodesyOptions>();
    CLI::App* cmd = app.add_subcommand(
        "geodesy", "Distance and azimuths between two points, or the end of a line, on the ellipsoid (degrees, metres)");
    cmd->require_subcommand(1);

    CLI::App* inverse = cmd->add_subcommand("inverse", "Distance and azimuths from point 1 to point 2");
    inverse->add_option("LAT1", o->values[0], "Latitude of point 1, degrees (north positive)")->required();
    inverse->add_option("LON1", o->values[1], "Longitude of point 1, degrees (east positive)")->required();
    inverse->add_option("LAT2", o->values[2], "Latitude of point 2, degrees")->required();
    inverse->add_option("LON2", o->values[3], "Longitude of point 2, degrees")->required();
    AddCommonOptions(inverse, *o);
    inverse->callback([o, &run] { run = [o] { return RunInverse(*o); }; });

    CLI::App* direct = cmd->add_subcommand("direct", "End point and back azimuth of a line from a start point");
    direct->add_option("LAT", o->values[0], "Latitude of the start, degrees (north positive)")->required();
    direct->add_option("LON", o->values[1], "Longitude of the start, degrees (east positive)")->required();
    direct->add_option("AZIMUTH", o->values[2], "Azimuth at the start, degrees clockwise from north")->required();
    direct->add_option("DISTANCE", o->values[3], "Length of the line, metres")->required();
    AddCommonOptions(direct, *o);
    direct->callback([o, &run] { run = [o] { return RunDirect(*o); }; });
}

} // namespace kvs::tool
