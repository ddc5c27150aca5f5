// grid: the accepted soundings of filtered lines as a gridded surface, the numpy arrays of
// its bands and, on request, the same GeoTIFF, BAG and PNG files `kvsblocks grid` writes.
#include "PyBindings.h"
#include "PyCommon.h"

#include <Gridding.h>
#include <SurfaceFiles.h>
#include <SurfacePicture.h>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace kvs::python {

namespace {

py::array_t<float> Raster(const std::vector<float>& values, int64_t height, int64_t width)
{
    py::array_t<float> a({static_cast<py::ssize_t>(height), static_cast<py::ssize_t>(width)});
    if (!values.empty()) std::copy(values.begin(), values.end(), a.mutable_data());
    return a;
}

py::dict Grid(py::object linesArg, double resolution, std::optional<std::string> crs, py::object tide, double tideWindow,
              std::optional<double> tideExtrapolate, std::optional<double> maxMemory, py::object output, py::object bag,
              py::object png)
{
    surface::GridOptions o;
    if (py::isinstance<py::str>(linesArg) || py::isinstance<py::bytes>(linesArg) || py::hasattr(linesArg, "__fspath__"))
        o.lines.push_back(PathBytes(linesArg));
    else
        for (py::handle l : linesArg) o.lines.push_back(PathBytes(l));
    o.resolution = resolution;
    o.crs = crs.value_or("");
    if (!tide.is_none()) o.tideFile = PathBytes(tide);
    o.tideWindow = tideWindow;
    o.tideExtrapolate = tideExtrapolate.value_or(-1.0);
    if (tideExtrapolate && !(*tideExtrapolate >= 0.0)) throw py::value_error("tide_extrapolate: seconds, 0 or more, or None");
    if (maxMemory) {
        if (!(*maxMemory > 0.0) || !std::isfinite(*maxMemory)) throw py::value_error("max_memory: MiB, more than 0");
        o.maxBytes = static_cast<uint64_t>(*maxMemory * 1024.0 * 1024.0);
    }
    const std::string tif = output.is_none() ? "" : PathBytes(output);
    const std::string bagPath = bag.is_none() ? "" : PathBytes(bag);
    const std::string pngPath = png.is_none() ? "" : PathBytes(png);

    surface::PassReport report;
    surface::Surface s;
    std::string failure, kind;
    {
        py::gil_scoped_release release;
        try {
            const std::unique_ptr<surface::SurfaceGrid> grid = surface::GridLines(o, report);
            s = surface::MakeSurface(*grid);
        } catch (const surface::GridTooLarge& e) {
            failure = e.what(), kind = "memory";
        } catch (const std::out_of_range& e) {
            failure = e.what(), kind = "stream";
        } catch (const std::invalid_argument& e) {
            failure = e.what(), kind = "value";
        } catch (const surface::LineReadError& e) {
            failure = e.what(), kind = "stream";
        } catch (const std::runtime_error& e) {
            failure = e.what(), kind = "tide";
        }
        if (failure.empty()) {
            const surface::SurfaceDescription about{report.crsWkt, report.verticalReference,
                                                    report.tideStation.empty() ? "" : "datum of tide station " + report.tideStation,
                                                    o.lines, report.firstTime, report.lastTime};
            if (s.width == 0 && (!tif.empty() || !bagPath.empty() || !pngPath.empty()))
                failure = "no accepted sounding to grid", kind = "value";
            if (failure.empty() && !tif.empty()) failure = surface::WriteGeoTiff(s, about, tif);
            if (failure.empty() && !bagPath.empty()) failure = surface::WriteBag(s, about, bagPath);
            if (failure.empty() && !pngPath.empty()) {
                const surface::Picture p = surface::DrawSurface(s, "DEPTH, " + report.crsName);
                failure = surface::WritePng(p.rgb, p.width, p.height, pngPath);
            }
            if (!failure.empty() && kind.empty()) kind = "os";
        }
    }
    if (kind == "memory") {
        PyErr_SetString(PyExc_MemoryError, failure.c_str());
        throw py::error_already_set();
    }
    if (kind == "value") throw py::value_error(failure);
    if (kind == "stream") Raise("StreamError", failure);
    if (kind == "tide") Raise("TideError", failure);
    if (kind == "os") {
        PyErr_SetString(PyExc_OSError, failure.c_str());
        throw py::error_already_set();
    }

    py::dict r;
    r["depth"] = Raster(s.depth, s.height, s.width);
    r["uncertainty"] = Raster(s.uncertainty, s.height, s.width);
    r["count"] = Raster(s.count, s.height, s.width);
    py::array_t<double> x(static_cast<py::ssize_t>(s.width)), y(static_cast<py::ssize_t>(s.height));
    for (int64_t c = 0; c < s.width; ++c) x.mutable_at(c) = s.west + (c + 0.5) * s.resolution;
    for (int64_t row = 0; row < s.height; ++row) y.mutable_at(row) = s.north - (row + 0.5) * s.resolution;
    r["x"] = x;
    r["y"] = y;
    r["resolution"] = s.resolution;
    r["extent"] = py::make_tuple(s.west, s.north - s.height * s.resolution, s.west + s.width * s.resolution, s.north);
    r["crs"] = report.crsWkt.empty() ? py::object(py::none()) : py::object(py::str(report.crsWkt));
    r["crs_name"] = report.crsName;
    r["uncertainty_source"] = s.UncertaintySource();
    r["vertical_reference"] = MessageText(report.verticalReference);
    py::list lines;
    for (const surface::LineReport& l : report.lines) {
        py::dict d;
        d["file"] = MessageText(l.path);
        d["pings"] = l.counts.pings;
        d["soundings"] = l.counts.soundings;
        d["rejected_beams"] = l.counts.rejected;
        d["invalid_pings"] = l.counts.pingsInvalid;
        d["pings_without_position"] = l.counts.pingsNoPosition;
        d["pings_without_tide"] = l.pingsNoTide;
        d["utm_zone"] = l.utmZone;
        lines.append(d);
    }
    r["lines"] = lines;
    return r;
}

} // namespace

void BindSurface(py::module_& m)
{
    m.def("grid", &Grid, py::arg("lines"), py::arg("resolution"), py::kw_only(), py::arg("crs") = py::none(),
          py::arg("tide") = py::none(), py::arg("tide_window") = 0.0, py::arg("tide_extrapolate") = py::none(),
          py::arg("max_memory") = py::none(), py::arg("output") = py::none(), py::arg("bag") = py::none(),
          py::arg("png") = py::none(),
          "Grid the accepted soundings of filtered lines (a path or a list of paths) as `kvsblocks grid` does: a dict "
          "of north-up float32 arrays 'depth' (median, metres, positive down), 'uncertainty' (one sigma) and 'count' "
          "(NaN / 0 where no sounding fell), the cell centres 'x' and 'y', 'extent' (west, south, east, north), 'crs' "
          "(WKT or None), 'uncertainty_source', 'vertical_reference' and per-line counts 'lines'. output, bag and png "
          "write the GeoTIFF, BAG and picture. tide reduces the soundings by a tide file (pings beyond its reach are "
          "left out and counted); max_memory (MiB) bounds the grid (MemoryError beyond).");
}

} // namespace kvs::python
