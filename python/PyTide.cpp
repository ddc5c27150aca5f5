// kvsdatablocks.open_tide: a tide file as a TideFile (a context manager): its station,
// its stored observations, and the tide at times or over a span, found the way the tool's
// tide subcommand finds them (the data source's interpolation and extrapolation rules).
#include "PyBindings.h"
#include "PyCommon.h"

#include <KvsDataBlocks/geometry/Point.h>
#include <KvsDataBlocks/tide/TideStation.h>
#include <KvsDataBlocks/tide/TideStationDataSource.h>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>

namespace kvs::python {

namespace {

constexpr double kMaxSpanSteps = 1e6;

class PyTideFile
{
public:
    PyTideFile(py::handle path, double window, std::optional<double> extrapolation) : m_name(PathBytes(path))
    {
        auto source = std::make_unique<TideStationDataSource>();
        if (!source->FileOpen(CString(m_name))) Raise("TideError", std::string(source->GetTideStation().GetLastError()));
        // As the tool's tide subcommand: a file without observations is not a tide file.
        if (source->GetNumElements() == 0)
            Raise("TideError", m_name + ": no tide observations (expected lines \"YYYY-MM-DD HH:MM:SS value\" after "
                                        "\"KVSTIDE 1\" and DATA, or \"YYYY/MM/DD HH:MM:SS value\")");
        m_source = std::move(source);
        SetWindow(window);
        SetExtrapolation(extrapolation);
    }
    ~PyTideFile() { Close(); }
    PyTideFile(const PyTideFile&) = delete;
    PyTideFile& operator=(const PyTideFile&) = delete;

    void Close()
    {
        if (m_source) m_source->FileClose(false);
        m_source.reset();
    }
    bool Closed() const { return !m_source; }

    TideStationDataSource& Source() const
    {
        if (!m_source) throw py::value_error("the tide file is closed");
        return *m_source;
    }

    // The tide at a time (seconds since 1970), or NaN when the file gives none there.
    double At(double time) const
    {
        CDataBlock block;
        block.SetTime(time);
        double value = 0.0;
        unsigned short status = 0;
        if (!std::isfinite(time) || !Source().Interpolate(block) || !block.GetDataValue(0, value, status, CDataBlock::kByPosition))
            return std::numeric_limits<double>::quiet_NaN();
        return value;
    }

    double Window() const
    {
        double window = 0.0;
        Source().GetInterpolAttribs(window);
        return window;
    }
    void SetWindow(double window)
    {
        if (!(window >= 0.0) || !std::isfinite(window)) throw py::value_error("window: seconds, 0 or more (0: any gap)");
        Source().SetInterpolAttribs(true, window);
    }
    std::optional<double> Extrapolation() const
    {
        double window = 0.0;
        if (!Source().GetExtrapolationAttribs(window)) return std::nullopt;
        return window;
    }
    void SetExtrapolation(std::optional<double> window)
    {
        if (window && (!(*window >= 0.0) || !std::isfinite(*window)))
            throw py::value_error("extrapolate: seconds beyond the ends, 0 or more, or None for none");
        Source().SetExtrapolationAttribs(window.has_value(), window.value_or(0.0));
    }

    const std::string& Name() const { return m_name; }

private:
    std::string m_name;
    std::unique_ptr<TideStationDataSource> m_source;
};

// Times as seconds since 1970 in a float64 array: numbers, or numpy datetime64 items
// (NaT becomes NaN).
py::array_t<double> TimesArray(py::handle times)
{
    const py::module_ np = py::module_::import("numpy");
    py::array given = np.attr("asarray")(times);
    if (given.dtype().kind() == 'M') {
        const py::object nat = np.attr("isnat")(given);
        py::array seconds = given.attr("astype")("datetime64[us]").attr("astype")("f8");
        seconds = seconds.attr("__truediv__")(1e6);
        return np.attr("where")(nat, std::numeric_limits<double>::quiet_NaN(), seconds).cast<py::array_t<double>>();
    }
    if (!std::strchr("biuf", given.dtype().kind()))
        throw py::type_error("times are seconds since 1970 (numbers) or numpy datetime64 values");
    return np.attr("ascontiguousarray")(given, py::arg("dtype") = "f8").cast<py::array_t<double>>();
}

py::array_t<double> ValuesAt(const PyTideFile& tide, const py::array_t<double>& times)
{
    py::array_t<double> out(times.request().shape);
    const double* t = times.data();
    double* v = out.mutable_data();
    for (py::ssize_t i = 0; i < times.size(); ++i) v[i] = tide.At(t[i]);
    return out;
}

py::tuple Observations(const PyTideFile& tide)
{
    const TideStation& station = tide.Source().GetTideStation();
    const auto n = static_cast<py::ssize_t>(station.GetNumValues());
    py::array_t<double> times(n), values(n);
    for (py::ssize_t i = 0; i < n; ++i)
        station.GetTideValue(static_cast<int>(i), times.mutable_data()[i], values.mutable_data()[i]);
    return py::make_tuple(times, values);
}

py::tuple Span(const PyTideFile& tide, py::object start, py::object end, double step)
{
    double first = 0.0, last = 0.0;
    const bool any = tide.Source().GetTimeSpan(first, last);
    if ((start.is_none() || end.is_none()) && !any) throw py::value_error("the tide file holds no values");
    const double from = start.is_none() ? first : SecondsArg(start);
    const double to = end.is_none() ? last : SecondsArg(end);
    if (!(step > 0.0) || !std::isfinite(step)) throw py::value_error("step must be positive");
    if (!std::isfinite(from) || !std::isfinite(to)) throw py::value_error("start and end must be finite");
    if ((to - from) / step > kMaxSpanSteps) throw py::value_error("the span has more than a million steps");
    const auto n = to < from ? py::ssize_t{0} : static_cast<py::ssize_t>(std::floor((to - from) / step + 1e-9)) + 1;
    py::array_t<double> times(n);
    for (py::ssize_t i = 0; i < n; ++i) times.mutable_data()[i] = from + static_cast<double>(i) * step;
    return py::make_tuple(times, ValuesAt(tide, times));
}

} // namespace

void BindTide(py::module_& m)
{
    py::class_<PyTideFile>(m, "TideFile",
                           "An open tide file: station description, observations, and the tide at any time by the "
                           "interpolation window and extrapolation limit. Times are seconds since 1970 UTC (or "
                           "datetime / numpy datetime64), values metres.")
        .def("__enter__", [](PyTideFile& t) -> PyTideFile& { return t; })
        .def("__exit__", [](PyTideFile& t, py::args) { t.Close(); })
        .def("close", &PyTideFile::Close)
        .def_property_readonly("closed", &PyTideFile::Closed)
        .def_property_readonly("name", [](const PyTideFile& t) { return MessageText(t.Name()); })
        .def_property_readonly("station_name", [](const PyTideFile& t) { return Latin1Text(t.Source().GetStationName()); })
        .def_property_readonly("station_id", [](const PyTideFile& t) { return Latin1Text(t.Source().GetStationID()); })
        .def_property_readonly("station_position",
                               [](const PyTideFile& t) {
                                   Point p;
                                   t.Source().GetStationPos(p);
                                   return py::make_tuple(p.x, p.y);
                               })
        .def_property_readonly("kp", [](const PyTideFile& t) { return t.Source().GetStationKP(); })
        .def_property_readonly("offset", [](const PyTideFile& t) { return t.Source().GetStationOffset(); })
        .def("__len__", [](const PyTideFile& t) { return t.Source().GetNumElements(); })
        .def_property_readonly(
            "time_span",
            [](const PyTideFile& t) -> py::object {
                double first = 0.0, last = 0.0;
                if (!t.Source().GetTimeSpan(first, last)) return py::none();
                return py::make_tuple(first, last);
            },
            "(first, last) time of the observations, or None without any.")
        .def_property("window", &PyTideFile::Window, &PyTideFile::SetWindow,
                      "Largest gap between observations to interpolate across, seconds (0: any).")
        .def_property("extrapolate", &PyTideFile::Extrapolation, &PyTideFile::SetExtrapolation,
                      "How far beyond the first and last observation to extrapolate, seconds; None for not at all.")
        .def(
            "value_at",
            [](const PyTideFile& t, py::object time) -> py::object {
                const double v = t.At(SecondsArg(time));
                return std::isnan(v) ? py::object(py::none()) : py::object(py::float_(v));
            },
            py::arg("time"), "The tide at the time, or None when the file gives none there.")
        .def(
            "values_at", [](const PyTideFile& t, py::object times) { return ValuesAt(t, TimesArray(times)); },
            py::arg("times"), "The tide at each time (an array of the times' shape), NaN where there is none.")
        .def("span", &Span, py::arg("start") = py::none(), py::arg("end") = py::none(), py::arg("step") = 600.0,
             "(times, values) from start to end (default: the first and last observation) every step seconds.")
        .def("observations", &Observations, "(times, values) of the stored observations, in time order.");

    m.def(
        "open_tide",
        [](py::object path, double window, std::optional<double> extrapolate) {
            return std::make_unique<PyTideFile>(path, window, extrapolate);
        },
        py::arg("path"), py::kw_only(), py::arg("window") = 0.0, py::arg("extrapolate") = py::none(),
        "Opens a tide file (native KVSTIDE layout or lines 'YYYY/MM/DD HH:MM:SS value'); TideError names the file "
        "and line of a malformed one.");
}

} // namespace kvs::python
