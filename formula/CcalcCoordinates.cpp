// Coordinate and vector functions of the formula catalogue: grid and geographic positions
// through the project's coordinate system, and 2-D/3-D vectors in rectangular and polar
// form with attitude correction. A CKvsDouble2D value stands for a 2-field vector record,
// a CKvsDouble3D for a 3-field one (attitude: roll, pitch, heading); a value of another
// kind leaves the result unchanged.
#include <KvsDataBlocks/formula/Ccalc.h>

#include <KvsDataBlocks/formula/VectorMath.h>
#include <KvsDataBlocks/values/CKvsName.h>
#include <KvsDataBlocks/values/CKvsType.h>
#include <KvsDataBlocks/config/DataSearch.h>
#include <KvsDataBlocks/geometry/KvsGeoCoordSysBase.h>

namespace {

// The position kinds of the coordinate functions (compared without regard to case).
enum class Field { Latitude, Longitude, Height, X, Y };

struct Kind
{
    const char* name;
    Field field;
    int decimals; // text forms only
};

constexpr Kind kTextKinds[] = {
    {"Lat", Field::Latitude, 5}, {"Lon", Field::Longitude, 5}, {"Alt", Field::Height, 2},
    {"LatS", Field::Latitude, 0}, {"LonS", Field::Longitude, 0},
};
constexpr Kind kGeographicKinds[] = {
    {"Lat", Field::Latitude, 0}, {"Lon", Field::Longitude, 0}, {"Alt", Field::Height, 0},
};
constexpr Kind kGridKinds[] = {
    {"X", Field::X, 0}, {"Y", Field::Y, 0}, {"Z", Field::Height, 0},
};

template <size_t N>
const Kind* FindKind(const Kind (&kinds)[N], const CString& text)
{
    for (const Kind& k : kinds)
        if (text.CompareNoCase(k.name) == 0) return &k;
    return nullptr;
}

// One survey position on its way from the grid: grid x, y, height, and once converted,
// latitude and longitude (degrees).
struct Position
{
    double x = 0.0;
    double y = 0.0;
    double height = 0.0;
    double latitude = 0.0;
    double longitude = 0.0;

    double Get(Field field) const
    {
        switch (field) {
        case Field::Latitude: return latitude;
        case Field::Longitude: return longitude;
        case Field::Height: return height;
        case Field::X: return x;
        case Field::Y: return y;
        }
        return 0.0;
    }
};

Position ReadPosition(CKvsType& x, CKvsType& y, CKvsType& height)
{
    Position p;
    x.GetDouble(p.x);
    y.GetDouble(p.y);
    height.GetDouble(p.height);
    return p;
}

KvsGeoCoordSysBase* ProjectCoordSys()
{
    return DataSearch::GetDataSearch().GetProjectDefinition().GetGeoCoordSys();
}

// Grid position to geographic in the system's datum (the local grid adjusted first),
// and with toWgs84 on to WGS 84 with the geoid height correction. A grid position the
// system cannot convert gives false; a failing datum transformation or height
// correction leaves the values as they were.
bool GridToGeographic(const KvsGeoCoordSysBase& system, Position& p, bool toWgs84)
{
    const double inputHeight = p.height;
    double x = 0.0, y = 0.0, h = 0.0;
    if (system.GridAdjust(p.x, p.y, p.height, x, y, h, 1)) {
        p.x = x;
        p.y = y;
        p.height = h;
    }
    if (!system.GridToGeo(p.x, p.y, p.latitude, p.longitude)) return false;
    if (!toWgs84) return true;
    double lat = 0.0, lon = 0.0;
    if (system.DatumTransform(p.latitude, p.longitude, p.height, lat, lon, h, 1, CString())) {
        p.latitude = lat;
        p.longitude = lon;
        p.height = h;
    }
    double correction = 0.0;
    if (system.HeightCorrection(p.latitude, p.longitude, p.x, p.y, correction)) p.height = inputHeight + correction;
    return true;
}

// WGS 84 position (its grid x, y unused) to the target system's grid: datum, grid, geoid
// height, then the target's local grid. A failing datum transformation goes on from the
// WGS 84 values (its outputs start as those); false when the target cannot place the
// position on its grid.
bool Wgs84ToGrid(const KvsGeoCoordSysBase& target, const Position& wgs84, Position& out)
{
    double lat = wgs84.latitude, lon = wgs84.longitude, h = wgs84.height;
    double wLat = wgs84.latitude, wLon = wgs84.longitude, wH = wgs84.height;
    target.DatumTransform(wLat, wLon, wH, lat, lon, h, 0, CString());
    double x = 0.0, y = 0.0;
    if (!target.GeoToGrid(lat, lon, x, y)) return false;
    double correction = 0.0;
    if (target.HeightCorrection(wgs84.latitude, wgs84.longitude, x, y, correction)) h = wgs84.height - correction;
    double ax = 0.0, ay = 0.0, ah = 0.0;
    if (target.GridAdjust(x, y, h, ax, ay, ah, 0)) {
        x = ax;
        y = ay;
        h = ah;
    }
    out = Position{x, y, h, lat, lon};
    return true;
}

// The first double a value holds: its scalar, or its first vector component.
bool FirstDouble(const CKvsType* value, double& out)
{
    if (value == nullptr) return false;
    double a = 0.0, b = 0.0, c = 0.0;
    if (value->GetDouble(a) || value->GetDouble2D(a, b) || value->GetDouble3D(a, b, c)) {
        out = a;
        return true;
    }
    return false;
}

bool Read(const CKvsType* value, vec2d_rect& v) { return value != nullptr && value->GetDouble2D(v.x, v.y); }
bool Read(const CKvsType* value, vec2d_pol& v) { return value != nullptr && value->GetDouble2D(v.distance, v.bearing); }
bool Read(const CKvsType* value, vec3d_rect& v) { return value != nullptr && value->GetDouble3D(v.x, v.y, v.z); }
bool Read(const CKvsType* value, vec3d_pol& v)
{
    return value != nullptr && value->GetDouble3D(v.distance, v.bearing, v.elevation);
}
bool Read(const CKvsType* value, attitude& v)
{
    return value != nullptr && value->GetDouble3D(v.roll, v.pitch, v.heading);
}

void Write(CKvsType* value, const vec2d_rect& v) { if (value) value->SetDouble2D(v.x, v.y); }
void Write(CKvsType* value, const vec2d_pol& v) { if (value) value->SetDouble2D(v.distance, v.bearing); }
void Write(CKvsType* value, const vec3d_rect& v) { if (value) value->SetDouble3D(v.x, v.y, v.z); }
void Write(CKvsType* value, const vec3d_pol& v) { if (value) value->SetDouble3D(v.distance, v.bearing, v.elevation); }

} // namespace

// Vector conversions of one argument: a1's record into the result's.

void Ccalc::RectToPol2d()
{
    vec2d_rect in{};
    vec2d_pol out{};
    if (!Read(m_a1, in)) return;
    RectToPol2d(&in, &out);
    Write(m_result, out);
}

void Ccalc::RectToPol3d()
{
    vec3d_rect in{};
    vec3d_pol out{};
    if (!Read(m_a1, in)) return;
    RectToPol3d(&in, &out);
    Write(m_result, out);
}

void Ccalc::PolToRect2d()
{
    vec2d_pol in{};
    vec2d_rect out{};
    if (!Read(m_a1, in)) return;
    PolToRect2d(&in, &out);
    Write(m_result, out);
}

void Ccalc::PolToRect3d()
{
    vec3d_pol in{};
    vec3d_rect out{};
    if (!Read(m_a1, in)) return;
    PolToRect3d(&in, &out);
    Write(m_result, out);
}

// Without a project coordinate system there is no position to give: the call fails rather
// than give a text made of zeros or a value left from before.
void Ccalc::XYTLLWGSString() { ProjectCoordSys() ? void(XYTLLWGSStr(*m_a1, *m_a2, *m_a3, *m_a4)) : Status(0); }
void Ccalc::XYTLLWGSValue() { ProjectCoordSys() ? void(XYTLLWGSVal(*m_a1, *m_a2, *m_a3, *m_a4)) : Status(0); }
void Ccalc::XYTLLString() { ProjectCoordSys() ? void(XYTLLStr(*m_a1, *m_a2, *m_a3, *m_a4)) : Status(0); }
void Ccalc::XYTXYValue() { ProjectCoordSys() ? void(XYTXYVal(*m_a1, *m_a2, *m_a3, *m_a4)) : Status(0); }

// Vector builders. The value family fills a 2-D or 3-D result from its scalar arguments;
// arguments not given are passed as an empty placeholder, which neither form reads.
void Ccalc::SetVec2dRect()
{
    CKvsName absent;
    m_result->SetDoubleXD(*m_a1, *m_a2, m_a3 ? *m_a3 : absent, m_a4 ? *m_a4 : absent);
}

void Ccalc::SetVec3dRect()
{
    SetVec2dRect();
}

void Ccalc::SetVec2dPol()
{
    vec2d_pol v{};
    if (FirstDouble(m_a1, v.distance) && FirstDouble(m_a2, v.bearing)) Write(m_result, v);
}

void Ccalc::SetVec3dPol()
{
    vec3d_pol v{};
    if (FirstDouble(m_a1, v.distance) && FirstDouble(m_a2, v.bearing) && FirstDouble(m_a3, v.elevation))
        Write(m_result, v);
}

void Ccalc::SetAttitude()
{
    attitude v{};
    if (FirstDouble(m_a1, v.roll) && FirstDouble(m_a2, v.pitch) && FirstDouble(m_a3, v.heading) && m_result)
        m_result->SetDouble3D(v.roll, v.pitch, v.heading);
}

// Attitude-corrected vectors: a1 the vector, a2 the attitude.

void Ccalc::Att2d_rect()
{
    vec2d_rect v{};
    attitude att{};
    if (Read(m_a1, v) && Read(m_a2, att)) Write(m_result, kvs::AttCor2dRect(v, att));
}

void Ccalc::Att3d_rect()
{
    vec3d_rect v{};
    attitude att{};
    if (Read(m_a1, v) && Read(m_a2, att)) Write(m_result, kvs::AttCor3dRect(v, att));
}

void Ccalc::Att2d_pol()
{
    vec2d_pol v{};
    attitude att{};
    if (Read(m_a1, v) && Read(m_a2, att)) Write(m_result, kvs::AttCor2dPol(v, att));
}

void Ccalc::Att3d_pol()
{
    vec3d_pol v{};
    attitude att{};
    if (Read(m_a1, v) && Read(m_a2, att)) Write(m_result, kvs::AttCor3dPol(v, att));
}

// Position functions. Their status (1: result written, 0: left as it was) is discarded
// by the callers above, which fail the call only when there is no project system.

int Ccalc::XYTLLWGSStr(CKvsType& x, CKvsType& y, CKvsType& height, CKvsType& kind)
{
    Position p = ReadPosition(x, y, height);
    CString kindText;
    kind.GetName(kindText);
    // Without a project system the text is made from latitude 0, longitude 0 and the
    // input height; a position the system cannot convert leaves the result as it was.
    if (const KvsGeoCoordSysBase* system = ProjectCoordSys(); system && !GridToGeographic(*system, p, true)) return 0;
    const Kind* k = FindKind(kTextKinds, kindText);
    if (k == nullptr) return 0;
    return FormatNMEAPosStr(p.Get(k->field), k->decimals, CString(k->name));
}

int Ccalc::XYTLLWGSVal(CKvsType& x, CKvsType& y, CKvsType& height, CKvsType& kind)
{
    Position p = ReadPosition(x, y, height);
    CString kindText;
    kind.GetName(kindText);
    const KvsGeoCoordSysBase* system = ProjectCoordSys();
    if (system == nullptr || !GridToGeographic(*system, p, true)) return 0;
    const Kind* k = FindKind(kGeographicKinds, kindText);
    if (k == nullptr) return 0;
    m_result->SetDouble(p.Get(k->field));
    return 1;
}

int Ccalc::XYTLLStr(CKvsType& x, CKvsType& y, CKvsType& height, CKvsType& kind)
{
    Position p = ReadPosition(x, y, height);
    CString kindText;
    kind.GetName(kindText);
    if (const KvsGeoCoordSysBase* system = ProjectCoordSys(); system && !GridToGeographic(*system, p, false)) return 0;
    const Kind* k = FindKind(kTextKinds, kindText);
    if (k == nullptr) return 0;
    return FormatNMEAPosStr(p.Get(k->field), k->decimals, CString(k->name));
}

int Ccalc::XYTXYVal(CKvsType& x, CKvsType& y, CKvsType& height, CKvsType& kind)
{
    Position p = ReadPosition(x, y, height);
    CString kindText;
    kind.GetName(kindText);
    const KvsGeoCoordSysBase* system = ProjectCoordSys();
    if (system == nullptr || !GridToGeographic(*system, p, true) || !m_coordSys) return 0;
    Position target;
    if (!Wgs84ToGrid(*m_coordSys, p, target)) return 0;
    const Kind* k = FindKind(kGridKinds, kindText);
    if (k == nullptr) return 0;
    m_result->SetDouble(target.Get(k->field));
    return 1;
}

// Record conversions.

void Ccalc::PolToRect2d(vec2d_pol* in, vec2d_rect* out) { *out = kvs::PolToRect2d(*in); }
void Ccalc::PolToRect2d(vec3d_pol* in, vec2d_rect* out) { *out = kvs::PolToRect2d(*in); }
void Ccalc::RectToPol2d(vec2d_rect* in, vec2d_pol* out) { *out = kvs::RectToPol2d(*in); }
void Ccalc::RectToPol2d(vec3d_rect* in, vec2d_pol* out) { *out = kvs::RectToPol2d(*in); }
void Ccalc::PolToRect3d(vec2d_pol* in, vec3d_rect* out) { *out = kvs::PolToRect3d(*in); }
void Ccalc::PolToRect3d(vec3d_pol* in, vec3d_rect* out) { *out = kvs::PolToRect3d(*in); }
void Ccalc::RectToPol3d(vec3d_rect* in, vec3d_pol* out) { *out = kvs::RectToPol3d(*in); }
void Ccalc::RectToPol3d(vec2d_rect* in, vec3d_pol* out) { *out = kvs::RectToPol3d(*in); }
void Ccalc::AttCorRect3d(vec3d_rect* out, vec3d_rect* in, attitude* att) { *out = kvs::AttCorRect3d(*in, *att); }

std::shared_ptr<KvsGeoCoordSysBase> Ccalc::CreateTargetCoordSys(const CString& first, const CString& second)
{
    return DataSearch::GetDataSearch().GetProjectDefinition().CreateNewCoordSys(first, second);
}
