#include "SurfaceFiles.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <stdlib.h>
#include <mutex>
#include <unistd.h>

namespace kvs::surface {

namespace {

struct DatasetCloser
{
    void operator()(GDALDataset* d) const { GDALClose(d); }
};
using Dataset = std::unique_ptr<GDALDataset, DatasetCloser>;

void RegisterDrivers()
{
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

// GDAL's last error, or a plain reason.
std::string GdalError(const char* fallback)
{
    const char* m = CPLGetLastErrorMsg();
    return m && *m ? m : fallback;
}

// A new name beside the target; the file is written there and renamed over the target.
class TemporaryPath
{
public:
    explicit TemporaryPath(const std::string& target) : m_target(target)
    {
        // The target's extension is kept at the end: some drivers (BAG) go by it.
        const size_t slash = target.rfind('/'), dot = target.rfind('.');
        const std::string ext = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1) ? target.substr(dot) : "";
        const std::string pattern = target.substr(0, target.size() - ext.size()) + ".tmp.XXXXXX" + ext;
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        const int fd = mkstemps(name.data(), static_cast<int>(ext.size()));
        if (fd < 0) {
            m_error = target + ": cannot create a file beside it: " + std::strerror(errno);
            return;
        }
        close(fd);
        m_path = name.data();
        // GDAL creates the file itself.
        std::remove(m_path.c_str());
    }
    ~TemporaryPath()
    {
        if (!m_path.empty() && !m_done) {
            std::remove(m_path.c_str());
            std::remove((m_path + ".aux.xml").c_str());
        }
    }
    const std::string& Path() const { return m_path; }
    const std::string& Error() const { return m_error; }
    std::string Commit()
    {
        std::remove((m_path + ".aux.xml").c_str());
        if (std::rename(m_path.c_str(), m_target.c_str()) != 0)
            return m_target + ": cannot put the new file in place: " + std::strerror(errno);
        m_done = true;
        return {};
    }

private:
    std::string m_target, m_path, m_error;
    bool m_done = false;
};

std::string UtcText(double seconds, const char* format)
{
    const std::time_t t = static_cast<std::time_t>(std::floor(seconds));
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[64];
    std::strftime(text, sizeof text, format, &tm);
    return text;
}

void SetGeoreference(GDALDataset& d, const Surface& s, const SurfaceDescription& about)
{
    double transform[6] = {s.west, s.resolution, 0.0, s.north, 0.0, -s.resolution};
    d.SetGeoTransform(transform);
    if (!about.crsWkt.empty()) {
        OGRSpatialReference srs;
        srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        if (srs.importFromWkt(about.crsWkt.c_str()) == OGRERR_NONE) d.SetSpatialRef(&srs);
    }
}

std::string Lines(const SurfaceDescription& about)
{
    std::string text;
    for (const std::string& l : about.lines) text += (text.empty() ? "" : ", ") + l;
    return text;
}

std::vector<float> WithNoData(const std::vector<float>& v, float noData)
{
    std::vector<float> out(v);
    for (float& x : out)
        if (!std::isfinite(x)) x = noData;
    return out;
}

} // namespace

std::string WriteGeoTiff(const Surface& s, const SurfaceDescription& about, const std::string& path)
{
    RegisterDrivers();
    if (s.width <= 0 || s.height <= 0) return path + ": the surface is empty: no accepted sounding to grid";
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    if (!driver) return "GDAL has no GeoTIFF driver";
    TemporaryPath temp(path);
    if (!temp.Error().empty()) return temp.Error();
    const char* options[] = {"COMPRESS=DEFLATE", "TILED=YES", "PREDICTOR=3", "BIGTIFF=IF_SAFER", nullptr};
    CPLErrorReset();
    Dataset d(driver->Create(temp.Path().c_str(), static_cast<int>(s.width), static_cast<int>(s.height), 3, GDT_Float32,
                             const_cast<char**>(options)));
    if (!d) return path + ": " + GdalError("cannot create the GeoTIFF");
    SetGeoreference(*d, s, about);
    d->SetMetadataItem("AREA_OR_POINT", "Area");
    d->SetMetadataItem("DEPTH_ESTIMATE", "median of the cell's accepted soundings (running P-squared estimate beyond five), metres, positive down");
    d->SetMetadataItem("UNCERTAINTY_SOURCE", s.UncertaintySource().c_str());
    d->SetMetadataItem("UNCERTAINTY_CONFIDENCE", "one standard deviation");
    d->SetMetadataItem("VERTICAL_REFERENCE", about.verticalReference.c_str());
    d->SetMetadataItem("CELL", "each cell is centred on a grid node; its value stands for the node");
    d->SetMetadataItem("LINES", Lines(about).c_str());
    if (about.lastTime > 0.0) {
        d->SetMetadataItem("FIRST_PING", UtcText(about.firstTime, "%Y-%m-%dT%H:%M:%SZ").c_str());
        d->SetMetadataItem("LAST_PING", UtcText(about.lastTime, "%Y-%m-%dT%H:%M:%SZ").c_str());
    }
    const char* names[] = {"depth", "uncertainty", "count"};
    const std::vector<float>* bands[] = {&s.depth, &s.uncertainty, &s.count};
    for (int b = 0; b < 3; ++b) {
        GDALRasterBand* band = d->GetRasterBand(b + 1);
        band->SetDescription(names[b]);
        band->SetNoDataValue(kNoData);
        if (b < 2) band->SetUnitType("m");
        std::vector<float> values = WithNoData(*bands[b], kNoData);
        if (b == 2)
            for (float& v : values)
                if (v == 0.0f) v = kNoData;
        if (band->RasterIO(GF_Write, 0, 0, static_cast<int>(s.width), static_cast<int>(s.height), values.data(),
                           static_cast<int>(s.width), static_cast<int>(s.height), GDT_Float32, 0, 0) != CE_None)
            return path + ": " + GdalError("cannot write a band");
    }
    CPLErrorReset();
    GDALDataset* raw = d.release();
    GDALClose(raw);
    if (CPLGetLastErrorType() >= CE_Failure)
        return path + ": " + GdalError("cannot finish the GeoTIFF");
    return temp.Commit();
}

std::string WriteBag(const Surface& s, const SurfaceDescription& about, const std::string& path)
{
    RegisterDrivers();
    if (s.width <= 0 || s.height <= 0) return path + ": the surface is empty: no accepted sounding to grid";
    if (about.crsWkt.empty())
        return path + ": a BAG needs the surface's coordinate system, and the lines carry none: give --crs";
    GDALDriver* mem = GetGDALDriverManager()->GetDriverByName("MEM");
    GDALDriver* bag = GetGDALDriverManager()->GetDriverByName("BAG");
    if (!mem || !bag) return "GDAL has no BAG driver";
    Dataset src(mem->Create("", static_cast<int>(s.width), static_cast<int>(s.height), 2, GDT_Float32, nullptr));
    if (!src) return path + ": " + GdalError("cannot lay out the BAG");
    SetGeoreference(*src, s, about);
    constexpr float kBagNoData = 1000000.0f;
    std::vector<float> elevation(s.depth.size());
    for (size_t i = 0; i < elevation.size(); ++i) elevation[i] = std::isfinite(s.depth[i]) ? -s.depth[i] : kBagNoData;
    const std::vector<float> uncertainty = WithNoData(s.uncertainty, kBagNoData);
    const std::vector<float>* bands[] = {&elevation, &uncertainty};
    for (int b = 0; b < 2; ++b) {
        GDALRasterBand* band = src->GetRasterBand(b + 1);
        band->SetNoDataValue(kBagNoData);
        if (band->RasterIO(GF_Write, 0, 0, static_cast<int>(s.width), static_cast<int>(s.height),
                           const_cast<float*>(bands[b]->data()), static_cast<int>(s.width), static_cast<int>(s.height),
                           GDT_Float32, 0, 0) != CE_None)
            return path + ": " + GdalError("cannot lay out the BAG");
    }
    TemporaryPath temp(path);
    if (!temp.Error().empty()) return temp.Error();
    const double when = about.lastTime > 0.0 ? about.lastTime : static_cast<double>(std::time(nullptr));
    const std::string date = "VAR_DATE=" + UtcText(when, "%Y-%m-%d");
    const std::string datetime = "VAR_DATETIME=" + UtcText(when, "%Y-%m-%dT%H:%M:%S");
    const std::string abstract = "VAR_ABSTRACT=Gridded surface of the accepted soundings of " + Lines(about) +
                                 ": the median of each cell. Depths " + about.verticalReference + ".";
    const std::string step = "VAR_PROCESS_STEP_DESCRIPTION=Soundings not rejected by the multibeam filters gridded by "
                             "kvsblocks grid at " + std::to_string(s.resolution) + " m; uncertainty from " +
                             s.UncertaintySource() + ", one standard deviation.";
    const std::string uncertaintyCode =
        std::string("VAR_VERTICAL_UNCERT_CODE=") + (s.cellsFromSpread == 0 && s.cellsFromErrors ? "productUncert" : "rawStdDev");
    const std::string vert = "VAR_VERT_WKT=VERT_CS[\"" + (about.verticalDatum.empty() ? std::string("unknown") : about.verticalDatum) +
                             "\", VERT_DATUM[\"" + (about.verticalDatum.empty() ? std::string("unknown") : about.verticalDatum) +
                             "\", 2000]]";
    const char* options[] = {date.c_str(), datetime.c_str(), abstract.c_str(), step.c_str(), uncertaintyCode.c_str(),
                             vert.c_str(), "VAR_INDIVIDUAL_NAME=unknown", "VAR_ORGANISATION_NAME=unknown", nullptr};
    CPLErrorReset();
    Dataset d(bag->CreateCopy(temp.Path().c_str(), src.get(), FALSE, const_cast<char**>(options), nullptr, nullptr));
    if (!d) return path + ": " + GdalError("cannot write the BAG");
    GDALDataset* raw = d.release();
    GDALClose(raw);
    if (CPLGetLastErrorType() >= CE_Failure)
        return path + ": " + GdalError("cannot finish the BAG");
    return temp.Commit();
}

std::string WritePng(const std::vector<unsigned char>& rgb, int width, int height, const std::string& path)
{
    RegisterDrivers();
    GDALDriver* mem = GetGDALDriverManager()->GetDriverByName("MEM");
    GDALDriver* png = GetGDALDriverManager()->GetDriverByName("PNG");
    if (!mem || !png) return "GDAL has no PNG driver";
    Dataset src(mem->Create("", width, height, 3, GDT_Byte, nullptr));
    if (!src) return path + ": " + GdalError("cannot lay out the picture");
    for (int b = 0; b < 3; ++b)
        if (src->GetRasterBand(b + 1)->RasterIO(GF_Write, 0, 0, width, height, const_cast<unsigned char*>(rgb.data() + b),
                                                width, height, GDT_Byte, 3, static_cast<GSpacing>(width) * 3) != CE_None)
            return path + ": " + GdalError("cannot lay out the picture");
    TemporaryPath temp(path);
    if (!temp.Error().empty()) return temp.Error();
    CPLErrorReset();
    Dataset d(png->CreateCopy(temp.Path().c_str(), src.get(), FALSE, nullptr, nullptr, nullptr));
    if (!d) return path + ": " + GdalError("cannot write the PNG");
    d.reset();
    if (CPLGetLastErrorType() >= CE_Failure) return path + ": " + GdalError("cannot finish the PNG");
    return temp.Commit();
}

} // namespace kvs::surface
