// kvsdatablocks.geodesy: the inverse and the direct problem on a named or given ellipsoid,
// as the tool's geodesy subcommand solves them (GeodesicSolver: the exact geodesic, or the
// closed forms on request where they hold to 1 cm), for single values or numpy arrays
// (broadcast against each other).
#include "PyBindings.h"
#include "PyCommon.h"

#include "GeodesicSolver.h"

#include <KvsDataBlocks/geometry/Ellipsoid.h>

#include <pybind11/numpy.h>

#include <cmath>
#include <string>
#include <vector>

namespace kvs::python {

namespace {

struct Shape
{
    double a;
    double e2;
};

Shape ChosenEllipsoid(py::handle ellipsoid)
{
    if (PyUnicode_Check(ellipsoid.ptr())) {
        const std::string name = py::str(ellipsoid);
        if (const Ellipsoid* e = FindEllipsoid(name)) return {e->a, e->E2()};
        std::string known;
        for (const Ellipsoid& e : kEllipsoids) known += (known.empty() ? "" : ", ") + std::string(e.name);
        throw py::value_error("unknown ellipsoid '" + name + "' (known: " + known + ")");
    }
    if (!PySequence_Check(ellipsoid.ptr()) || py::len(ellipsoid) != 2)
        throw py::type_error("ellipsoid: a name or (a, inverse flattening)");
    const py::sequence given = py::reinterpret_borrow<py::sequence>(ellipsoid);
    const double a = CastArgument<double>(given[0], "ellipsoid: a", "a number");
    const double rf = CastArgument<double>(given[1], "ellipsoid: the inverse flattening", "a number");
    if (!(a > 0.0) || !(rf > 1.0) || !std::isfinite(a) || !std::isfinite(rf))
        throw py::value_error("ellipsoid: a must be positive and the inverse flattening greater than 1");
    const double f = 1.0 / rf;
    return {a, f * (2.0 - f)};
}

// The arguments as float64 arrays of one broadcast shape; scalar when all were scalars.
struct Arguments
{
    std::vector<py::array_t<double>> values;
    py::object shape;
    bool scalar;
    size_t size;
};

Arguments Broadcast(std::initializer_list<py::handle> given)
{
    const py::module_ np = py::module_::import("numpy");
    Arguments out{{}, py::none(), true, 1};
    py::list arrays;
    for (py::handle g : given) {
        if (np.attr("ndim")(g).cast<int>() != 0) out.scalar = false;
        arrays.append(np.attr("asarray")(g, py::arg("dtype") = "f8"));
    }
    const py::list broadcast = np.attr("broadcast_arrays")(*arrays);
    for (py::handle b : broadcast)
        out.values.push_back(np.attr("ascontiguousarray")(b).cast<py::array_t<double>>());
    out.shape = broadcast[0].attr("shape");
    out.size = static_cast<size_t>(out.values[0].size());
    return out;
}

tool::GeodesicSolver Solver(py::handle ellipsoid, const std::string& method)
{
    const Shape e = ChosenEllipsoid(ellipsoid);
    if (method != "exact" && method != "closed-form")
        throw py::value_error("method: 'exact' or 'closed-form', not '" + method + "'");
    return tool::GeodesicSolver(e.a, e.e2, method == "exact" ? tool::GeodesicMethod::Exact
                                                             : tool::GeodesicMethod::ClosedForm);
}

// Missing values (NaN among the arguments) give NaN results; other faults raise
// ValueError naming the item of the arrays.
void Refuse(const Arguments& args, size_t i, const std::string& error)
{
    throw py::value_error(args.scalar ? error : "item " + std::to_string(i) + ": " + error);
}

// Three results, as floats for scalar arguments or arrays of the arguments' shape.
py::object Result(const char* type, const Arguments& args, std::vector<double> (&out)[3])
{
    const py::object make = py::module_::import(kModuleName).attr("geodesy").attr(type);
    if (args.scalar) return make(out[0][0], out[1][0], out[2][0]);
    py::list arrays;
    for (std::vector<double>& v : out) {
        py::array_t<double> a(static_cast<py::ssize_t>(v.size()));
        std::copy(v.begin(), v.end(), a.mutable_data());
        arrays.append(a.attr("reshape")(args.shape));
    }
    return make(arrays[0], arrays[1], arrays[2]);
}

py::object Inverse(py::object lat1, py::object lon1, py::object lat2, py::object lon2, py::object ellipsoid,
                   const std::string& method)
{
    const tool::GeodesicSolver solver = Solver(ellipsoid, method);
    const Arguments args = Broadcast({lat1, lon1, lat2, lon2});
    std::vector<double> out[3];
    for (std::vector<double>& v : out) v.resize(args.size);
    std::string error;
    for (size_t i = 0; i < args.size; ++i) {
        const double p1 = args.values[0].data()[i], l1 = args.values[1].data()[i];
        const double p2 = args.values[2].data()[i], l2 = args.values[3].data()[i];
        tool::GeodesicInverse r{NAN, NAN, NAN};
        const bool missing = std::isnan(p1) || std::isnan(l1) || std::isnan(p2) || std::isnan(l2);
        if (!missing && !solver.Inverse(p1, l1, p2, l2, r, error)) Refuse(args, i, error);
        out[0][i] = r.distance;
        out[1][i] = r.azimuth12;
        out[2][i] = r.azimuth21;
    }
    return Result("Inverse", args, out);
}

py::object Direct(py::object lat, py::object lon, py::object azimuth, py::object distance, py::object ellipsoid,
                  const std::string& method)
{
    const tool::GeodesicSolver solver = Solver(ellipsoid, method);
    const Arguments args = Broadcast({lat, lon, azimuth, distance});
    std::vector<double> out[3];
    for (std::vector<double>& v : out) v.resize(args.size);
    std::string error;
    for (size_t i = 0; i < args.size; ++i) {
        const double p = args.values[0].data()[i], l = args.values[1].data()[i];
        const double az = args.values[2].data()[i], d = args.values[3].data()[i];
        tool::GeodesicDirect r{NAN, NAN, NAN};
        const bool missing = std::isnan(p) || std::isnan(l) || std::isnan(az) || std::isnan(d);
        if (!missing && !solver.Direct(p, l, az, d, r, error)) Refuse(args, i, error);
        out[0][i] = r.lat2;
        out[1][i] = r.lon2;
        out[2][i] = r.backAzimuth;
    }
    return Result("Direct", args, out);
}

} // namespace

void BindGeodesy(py::module_& m)
{
    py::module_ g = m.def_submodule("geodesy",
                                    "Geodesic lines on the ellipsoid (GeographicLib's exact solution, or with "
                                    "method='closed-form' the closed forms for survey lines where they hold to 1 cm): "
                                    "degrees, metres, azimuths clockwise from north; WGS84 unless another ellipsoid is "
                                    "named or given as (a, 1/f).");
    const py::object namedtuple = py::module_::import("collections").attr("namedtuple");
    g.attr("Inverse") = namedtuple("Inverse", "distance azimuth12 azimuth21", py::arg("module") = "kvsdatablocks.geodesy");
    g.attr("Direct") = namedtuple("Direct", "lat lon back_azimuth", py::arg("module") = "kvsdatablocks.geodesy");
    py::dict ellipsoids;
    for (const Ellipsoid& e : kEllipsoids) ellipsoids[py::str(std::string(e.name))] = py::make_tuple(e.a, e.inverseFlattening);
    g.attr("ELLIPSOIDS") = ellipsoids;
    g.def("inverse", &Inverse, py::arg("lat1"), py::arg("lon1"), py::arg("lat2"), py::arg("lon2"), py::kw_only(),
          py::arg("ellipsoid") = "WGS84", py::arg("method") = "exact",
          "Distance and azimuths from point 1 to point 2: Inverse(distance, azimuth12, azimuth21); azimuth21 is the "
          "azimuth at point 2 back towards point 1. method='closed-form' takes Robbins' formula and raises ValueError "
          "where it would be more than 1 cm off.");
    g.def("direct", &Direct, py::arg("lat"), py::arg("lon"), py::arg("azimuth"), py::arg("distance"), py::kw_only(),
          py::arg("ellipsoid") = "WGS84", py::arg("method") = "exact",
          "End point and back azimuth of a line from a start point: Direct(lat, lon, back_azimuth), the longitude in "
          "(-180, 180]. method='closed-form' takes Clarke's best formula and raises ValueError where it would be more "
          "than 1 cm off.");
    py::module_::import("sys").attr("modules")["kvsdatablocks.geodesy"] = g;
}

} // namespace kvs::python
