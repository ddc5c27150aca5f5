#include <KvsDataBlocks/geometry/KvsGeoCoordSysBase.h>

#include <proj.h>
#include <proj_experimental.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

struct ContextDeleter
{
    void operator()(PJ_CONTEXT* context) const { proj_context_destroy(context); }
};

struct PjDeleter
{
    void operator()(PJ* object) const { proj_destroy(object); }
};

using ContextPtr = std::unique_ptr<PJ_CONTEXT, ContextDeleter>;
using PjPtr = std::unique_ptr<PJ, PjDeleter>;

// A context of our own: no network, no log on stderr (the library writes no log).
ContextPtr MakeContext()
{
    ContextPtr context(proj_context_create());
    if (context) {
        proj_context_set_enable_network(context.get(), 0);
        proj_log_level(context.get(), PJ_LOG_NONE);
    }
    return context;
}

CString LastProjError(PJ_CONTEXT* context)
{
    const int code = proj_context_errno(context);
    const char* text = code != 0 ? proj_context_errno_string(context, code) : nullptr;
    return CString(text != nullptr ? text : "not understood");
}

bool IsGeographic(PJ_TYPE type)
{
    return type == PJ_TYPE_GEOGRAPHIC_2D_CRS || type == PJ_TYPE_GEOGRAPHIC_3D_CRS;
}

// An operation between two CRSs with the axes in x-east, y-north (longitude, latitude)
// order, whatever the CRS definitions say.
PjPtr Operation(PJ_CONTEXT* context, const PJ* from, const PJ* to)
{
    PjPtr raw(proj_create_crs_to_crs_from_pj(context, from, to, nullptr, nullptr));
    if (!raw) return nullptr;
    return PjPtr(proj_normalize_for_visualization(context, raw.get()));
}

// Runs one coordinate through an operation; false when PROJ reports an error or a
// non-finite result.
bool Transform(PJ* operation, PJ_DIRECTION direction, double a, double b, double c, PJ_COORD& out)
{
    if (operation == nullptr || !std::isfinite(a) || !std::isfinite(b) || !std::isfinite(c)) return false;
    proj_errno_reset(operation);
    out = proj_trans(operation, direction, proj_coord(a, b, c, HUGE_VAL));
    return proj_errno(operation) == 0 && std::isfinite(out.v[0]) && std::isfinite(out.v[1]) &&
           std::isfinite(out.v[2]);
}

// A geoid file name must be a plain name: no path, nothing that could add options to
// the PROJ string it is put into.
bool IsPlainFileName(const std::string& name)
{
    if (name.empty() || name.size() > 255 || name[0] == '.') return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                        c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}

// A PROJ string names a CRS only with "+type=crs"; surveyors often leave it out
// ("+proj=utm +zone=31 +datum=WGS84"), so it is added to PROJ strings that lack it.
std::string CrsText(const CString& text)
{
    std::string t = text.str();
    const size_t start = t.find_first_not_of(" \t");
    if (start != std::string::npos && t.compare(start, 6, "+proj=") == 0 && t.find("type=crs") == std::string::npos)
        t += " +type=crs";
    return t;
}

} // namespace

struct KvsGeoCoordSysBase::Impl
{
    ContextPtr context;  // declared first: destroyed after the objects made in it
    PjPtr gridToGeo;     // (easting, northing) <-> (longitude, latitude), degrees
    PjPtr datumToWgs84;  // (longitude, latitude, height) of the datum <-> WGS 84, 3-D
    PjPtr geoid;         // vertical grid: (lon, lat, 0) in radians -> z = undulation
};

KvsGeoCoordSysBase::KvsGeoCoordSysBase() = default;
KvsGeoCoordSysBase::~KvsGeoCoordSysBase() = default;

std::unique_ptr<KvsGeoCoordSysBase> KvsGeoCoordSysBase::Create(const CString& gridCrs, const CString& datumCrs,
                                                               CreateError* error)
{
    CreateError local;
    CreateError& e = error != nullptr ? *error : local;
    e = CreateError{};
    auto fail = [&e](CreateError::Part part, const CString& reason) {
        e.part = part;
        e.reason = reason;
        return nullptr;
    };

    try {
        auto impl = std::make_unique<Impl>();
        impl->context = MakeContext();
        PJ_CONTEXT* ctx = impl->context.get();
        if (ctx == nullptr) return fail(CreateError::Grid, "PROJ context cannot be created");

        if (gridCrs.IsEmpty()) return fail(CreateError::Grid, "empty CRS text");
        PjPtr grid(proj_create(ctx, CrsText(gridCrs).c_str()));
        if (!grid) return fail(CreateError::Grid, LastProjError(ctx));
        if (proj_get_type(grid.get()) != PJ_TYPE_PROJECTED_CRS) return fail(CreateError::Grid, "not a projected CRS");

        if (datumCrs.IsEmpty()) return fail(CreateError::Datum, "empty CRS text");
        PjPtr datum(proj_create(ctx, CrsText(datumCrs).c_str()));
        if (!datum) return fail(CreateError::Datum, LastProjError(ctx));
        if (!IsGeographic(proj_get_type(datum.get()))) return fail(CreateError::Datum, "not a geographic CRS");

        impl->gridToGeo = Operation(ctx, grid.get(), datum.get());
        if (!impl->gridToGeo) return fail(CreateError::Grid, "no conversion from the grid to the datum");

        PjPtr datum3d(proj_crs_promote_to_3D(ctx, nullptr, datum.get()));
        PjPtr wgs84(proj_create(ctx, "EPSG:4979"));
        if (!datum3d || !wgs84) return fail(CreateError::Datum, LastProjError(ctx));
        impl->datumToWgs84 = Operation(ctx, datum3d.get(), wgs84.get());
        if (!impl->datumToWgs84) return fail(CreateError::Datum, "no transformation to WGS 84");

        std::unique_ptr<KvsGeoCoordSysBase> system(new KvsGeoCoordSysBase());
        system->m_impl = std::move(impl);
        system->m_gridCrs = gridCrs;
        system->m_datumCrs = datumCrs;
        return system;
    } catch (const std::exception&) {
        return fail(CreateError::Grid, "out of memory");
    }
}

bool KvsGeoCoordSysBase::GeoToGrid(double latitude, double longitude, double& x, double& y) const
{
    if (!m_impl || !(std::fabs(latitude) <= 90.0)) return false;
    PJ_COORD out;
    if (!Transform(m_impl->gridToGeo.get(), PJ_INV, longitude, latitude, 0.0, out)) return false;
    x = out.xy.x;
    y = out.xy.y;
    return true;
}

bool KvsGeoCoordSysBase::GridToGeo(double x, double y, double& latitude, double& longitude) const
{
    if (!m_impl) return false;
    PJ_COORD out;
    if (!Transform(m_impl->gridToGeo.get(), PJ_FWD, x, y, 0.0, out)) return false;
    longitude = out.lp.lam;
    latitude = out.lp.phi;
    return true;
}

bool KvsGeoCoordSysBase::DatumTransform(double& latitude, double& longitude, double& height, double& latitudeOut,
                                        double& longitudeOut, double& heightOut, int direction,
                                        const CString& datumName) const
{
    if (!m_impl || !datumName.IsEmpty() || (direction != 0 && direction != 1)) return false;
    if (!(std::fabs(latitude) <= 90.0)) return false;
    PJ_COORD out;
    if (!Transform(m_impl->datumToWgs84.get(), direction == 1 ? PJ_FWD : PJ_INV, longitude, latitude, height, out))
        return false;
    longitudeOut = out.lpz.lam;
    latitudeOut = out.lpz.phi;
    heightOut = out.lpz.z;
    return true;
}

bool KvsGeoCoordSysBase::HeightCorrection(double latitude, double longitude, double, double, double& correction) const
{
    if (!m_impl || !m_impl->geoid || !(std::fabs(latitude) <= 90.0)) return false;
    PJ_COORD out;
    if (!Transform(m_impl->geoid.get(), PJ_FWD, proj_torad(longitude), proj_torad(latitude), 0.0, out)) return false;
    correction = out.xyz.z;
    return true;
}

bool KvsGeoCoordSysBase::GridAdjust(double x, double y, double height, double& xOut, double& yOut,
                                    double& heightOut, int direction) const
{
    if (!m_adjustment || (direction != 0 && direction != 1)) return false;
    double ax = 0.0;
    double ay = 0.0;
    const bool done = direction == 1 ? m_adjustment->Forward(x, y, ax, ay) : m_adjustment->Inverse(x, y, ax, ay);
    if (!done) return false;
    xOut = ax;
    yOut = ay;
    heightOut = height;
    return true;
}

bool KvsGeoCoordSysBase::SetGeoidModel(const CString& fileName, const CString& searchDirectory, CString* reason)
{
    CString local;
    CString& why = reason != nullptr ? *reason : local;
    ClearGeoidModel();
    if (!m_impl) {
        why = "the system has no PROJ context";
        return false;
    }
    const std::string name = fileName.str();
    if (!IsPlainFileName(name)) {
        why = "not a plain file name (letters, digits, '.', '_', '-')";
        return false;
    }
    try {
        // A file beside the project wins over PROJ's data directories; its path is quoted
        // in the PROJ string, so it must not hold a quote itself.
        std::string grids = name;
        if (!searchDirectory.IsEmpty()) {
            std::error_code ec;
            const std::filesystem::path beside =
                std::filesystem::absolute(std::filesystem::path(searchDirectory.str()) / name, ec);
            if (!ec && std::filesystem::is_regular_file(beside, ec) && beside.string().find('"') == std::string::npos)
                grids = "\"" + beside.string() + "\"";
        }
        const std::string definition = "+proj=vgridshift +grids=" + grids + " +multiplier=1";
        PjPtr geoid(proj_create(m_impl->context.get(), definition.c_str()));
        if (!geoid) {
            why = "PROJ cannot open it: " + LastProjError(m_impl->context.get());
            return false;
        }
        m_impl->geoid = std::move(geoid);
        m_geoidModel = fileName;
        why.Empty();
        return true;
    } catch (const std::exception&) {
        why = "out of memory";
        return false;
    }
}

void KvsGeoCoordSysBase::ClearGeoidModel()
{
    if (m_impl) m_impl->geoid.reset();
    m_geoidModel.Empty();
}

bool KvsGeoCoordSysBase::HasGeoidModel() const
{
    return m_impl && m_impl->geoid;
}
