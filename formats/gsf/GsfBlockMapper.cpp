#include <KvsDataBlocks/formats/gsf/GsfBlockMapper.h>

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/DefinitionBuild.h>
#include <KvsDataBlocks/formats/gsf/GsfFormat.h>
#include <KvsDataBlocks/geometry/KvsGeoCoordSysBase.h>
#include <KvsDataBlocks/config/UseAsCodes.h>
#include <KvsDataBlocks/filters/multibeam/PingStruct.h>

#include <cmath>

namespace kvs {

namespace {

using namespace UseAs;

constexpr unsigned short kMultibeamGroup = 1011;
constexpr unsigned short kValid = kStatusValid;
constexpr unsigned short kNotValid = kStatusInvalid;
constexpr unsigned int kSonarGoodBit = 0x01; // the bit quality mode 1 requires

bool IsUnknownCorrector(double metres)
{
    return std::fabs(metres - gsf::kUnknownCorrector) < 0.005;
}

bool ValidPosition(double latitude, double longitude)
{
    return std::isfinite(latitude) && std::isfinite(longitude) && std::fabs(latitude) <= 90.0 &&
           std::fabs(longitude) <= 180.0;
}

// The sign that makes the beam angles port-negative: writers differ, so the angles are
// compared with the across-track distances of the usable beams (port is negative there).
float AngleSign(const GsfPing& ping)
{
    int agree = 0, disagree = 0;
    for (int i = 0; i < ping.beamCount; ++i) {
        const double a = ping.beamAngle.values[static_cast<size_t>(i)];
        const double x = ping.acrossTrack.values[static_cast<size_t>(i)];
        if (!ping.IsBeamUsable(i) || a == 0.0 || x == 0.0) continue;
        ((a < 0) == (x < 0) ? agree : disagree) += 1;
    }
    return disagree > agree ? -1.0f : 1.0f;
}

void ToFloats(const GsfBeamValues& from, int n, std::vector<float>& to, double scale = 1.0)
{
    to.resize(static_cast<size_t>(n));
    for (size_t i = 0; i < to.size(); ++i) to[i] = static_cast<float>(from.values[i] * scale);
}

} // namespace

GsfBlockMapper::GsfBlockMapper() = default;
GsfBlockMapper::~GsfBlockMapper() = default;

int GsfBlockMapper::ZoneOf(double latitude, double longitude)
{
    if (!ValidPosition(latitude, longitude)) return 0;
    int zone = static_cast<int>(std::floor((longitude + 180.0) / 6.0)) + 1;
    if (zone > 60) zone = 60;
    if (latitude >= 56.0 && latitude < 64.0 && longitude >= 3.0 && longitude < 12.0) zone = 32;
    if (latitude >= 72.0 && latitude < 84.0 && longitude >= 0.0 && longitude < 42.0)
        zone = longitude < 9.0 ? 31 : longitude < 21.0 ? 33 : longitude < 33.0 ? 35 : 37;
    return latitude < 0.0 ? -zone : zone;
}

bool GsfBlockMapper::ProjectToUtm(std::unique_ptr<KvsGeoCoordSysBase>& utm, int& zone, double latitude,
                                  double longitude, double& x, double& y, CString& error)
{
    if (!utm) {
        const int z = ZoneOf(latitude, longitude);
        CString grid;
        grid.Format("EPSG:%d", z > 0 ? 32600 + z : 32700 - z);
        KvsGeoCoordSysBase::CreateError why;
        utm = KvsGeoCoordSysBase::Create(grid, "EPSG:4326", &why);
        if (!utm) {
            error.Format("cannot set up UTM zone %d%c (%s): %s", std::abs(z), z > 0 ? 'N' : 'S',
                         static_cast<const char*>(grid), static_cast<const char*>(why.reason));
            return false;
        }
        zone = z;
    }
    x = y = 0.0;
    return utm->GeoToGrid(latitude, longitude, x, y);
}

bool GsfBlockMapper::Project(double latitude, double longitude, double& x, double& y, CString& error)
{
    return ProjectToUtm(m_utm, m_zone, latitude, longitude, x, y, error);
}

bool GsfBlockMapper::Map(const GsfPing& ping, int pingNumber, CDataBlock& block, CString& error)
{
    const int n = ping.beamCount;
    if (n <= 0 || n > PingStruct::kMaxBeams) {
        error.Format("ping %d has %d beams; a multibeam block holds 1 to %d", pingNumber, n, PingStruct::kMaxBeams);
        return false;
    }
    if (!ping.depth.present || !ping.acrossTrack.present) {
        error.Format("ping %d has no %s array", pingNumber, ping.depth.present ? "across-track" : "depth");
        return false;
    }
    if (block.GetDataId().GetGroupId() != kMultibeamGroup || block.GetLength() == 0) {
        if (!BuildDataBlockFromDefinition(CDataId(1, kMultibeamGroup, 1, 1), block)) {
            error = "the data definition has no multibeam group 1011";
            return false;
        }
    }

    // Beams: coordinates, flags, angles and errors.
    const bool pingUsable = !ping.IsIgnored();
    ToFloats(ping.acrossTrack, n, m_x);
    ToFloats(ping.depth, n, m_z, -1.0);
    if (ping.alongTrack.present) ToFloats(ping.alongTrack, n, m_y);
    else m_y.assign(static_cast<size_t>(n), 0.0f);
    m_flags.resize(static_cast<size_t>(n));
    int ignored = 0;
    for (int i = 0; i < n; ++i) {
        const bool usable = pingUsable && ping.IsBeamUsable(i);
        m_flags[static_cast<size_t>(i)] = usable ? kSonarGoodBit : 0u;
        if (!usable) ++ignored;
    }
    if (ping.beamAngle.present) ToFloats(ping.beamAngle, n, m_angle, AngleSign(ping));
    const GsfBeamValues* vert = ping.verticalError.present ? &ping.verticalError
                                : ping.depthError.present ? &ping.depthError
                                                          : nullptr;
    if (vert) ToFloats(*vert, n, m_vertError);
    bool hasHor = true;
    if (ping.horizontalError.present) {
        ToFloats(ping.horizontalError, n, m_horError);
    } else if (ping.acrossTrackError.present || ping.alongTrackError.present) {
        m_horError.resize(static_cast<size_t>(n));
        for (size_t i = 0; i < m_horError.size(); ++i) {
            const double a = ping.acrossTrackError.present ? ping.acrossTrackError.values[i] : 0.0;
            const double b = ping.alongTrackError.present ? ping.alongTrackError.values[i] : 0.0;
            m_horError[i] = static_cast<float>(std::hypot(a, b));
        }
    } else {
        hasHor = false;
    }
    m_zeros.assign(static_cast<size_t>(n), 0.0f);
    static constexpr float kNoFloat = 0.0f;
    static constexpr unsigned short kNoShort = 0;

    // The vertical offset: the correctors already in the depths, unknown ones as 0.
    const double tide = (ping.pingFlags & gsf::kPingGpsTide) ? ping.gpsTideCorrector : ping.tideCorrector;
    const double offset = (IsUnknownCorrector(ping.depthCorrector) ? 0.0 : ping.depthCorrector) +
                          (IsUnknownCorrector(tide) ? 0.0 : tide);

    double x = 0.0, y = 0.0;
    const bool located = ValidPosition(ping.latitude, ping.longitude);
    const bool projected = located && Project(ping.latitude, ping.longitude, x, y, error);
    if (located && !m_utm) return false; // no projection could be set up: error says why
    const unsigned short positionStatus = projected ? kValid : kNotValid;
    const unsigned short geoStatus = located ? kValid : kNotValid;

    unsigned short missing = 0;
    auto check = [&missing](bool ok, unsigned short code) {
        if (!ok && !missing) missing = code;
    };
    block.SetTime(ping.Time());
    block.SetStatus(kValid);
    check(block.SetDataValue(kPingNumber, pingNumber, kValid, CDataBlock::kByUseAs), kPingNumber);
    check(block.SetDataValue(kBeamCount, n, kValid, CDataBlock::kByUseAs), kBeamCount);
    check(block.SetDataValue(kRejectedBeams, ignored, kValid, CDataBlock::kByUseAs), kRejectedBeams);
    check(block.SetDataValue(kVerticalOffset, offset, kValid, CDataBlock::kByUseAs), kVerticalOffset);
    check(block.SetDataValue(kVerticalReference, 0.0, kValid, CDataBlock::kByUseAs), kVerticalReference);
    check(block.SetDataValue(kPositionX, x, positionStatus, CDataBlock::kByUseAs), kPositionX);
    check(block.SetDataValue(kPositionY, y, positionStatus, CDataBlock::kByUseAs), kPositionY);
    check(block.SetDataValue(kLongitude, ping.longitude, geoStatus, CDataBlock::kByUseAs), kLongitude);
    check(block.SetDataValue(kLatitude, ping.latitude, geoStatus, CDataBlock::kByUseAs), kLatitude);
    check(block.SetDataValue(kTimeSeconds, static_cast<unsigned int>(ping.seconds), kValid, CDataBlock::kByUseAs), kTimeSeconds);
    check(block.SetDataValue(kTimeNanoseconds, static_cast<unsigned int>(ping.nanoseconds), kValid, CDataBlock::kByUseAs),
          kTimeNanoseconds);
    check(block.SetDataValue(kAcrossTrack, m_x.data(), n, kValid, CDataBlock::kByUseAs), kAcrossTrack);
    check(block.SetDataValue(kAlongTrack, m_y.data(), n, kValid, CDataBlock::kByUseAs), kAlongTrack);
    check(block.SetDataValue(kBeamZ, m_z.data(), n, kValid, CDataBlock::kByUseAs), kBeamZ);
    check(block.SetDataValue(kBeamFlags, m_flags.data(), n, kValid, CDataBlock::kByUseAs), kBeamFlags);
    check(block.SetDataValue(kPingFlags, 0u, kValid, CDataBlock::kByUseAs), kPingFlags);
    check(block.SetDataValue(kGsfPingFlags, static_cast<unsigned short>(ping.pingFlags), kValid, CDataBlock::kByUseAs),
          kGsfPingFlags);
    if (ping.hasBeamFlags)
        check(block.SetDataValue(kGsfBeamFlags, ping.beamFlags.data(), n, kValid, CDataBlock::kByUseAs), kGsfBeamFlags);
    else
        check(block.SetDataValue(kGsfBeamFlags, static_cast<const unsigned char*>(nullptr), 0, kNotValid, CDataBlock::kByUseAs),
              kGsfBeamFlags);
    // Optional arrays: the beam count when the ping has them, else empty (never a stale
    // array of an earlier ping that a filter would take for this one's).
    auto optional = [&](unsigned short code, bool present, const std::vector<float>& values) {
        check(present ? block.SetDataValue(code, values.data(), n, kValid, CDataBlock::kByUseAs)
                      : block.SetDataValue(code, &kNoFloat, 0, kNotValid, CDataBlock::kByUseAs),
              code);
    };
    optional(kBeamAngle, ping.beamAngle.present, m_angle);
    optional(kEstimatedVertError, vert != nullptr, m_vertError);
    optional(kEstimatedHorError, hasHor, m_horError);
    optional(kBeamValuesFloat, false, m_zeros);
    optional(kBeamValues621, false, m_zeros);
    optional(kBeamValues623, false, m_zeros);
    check(block.SetDataValue(kBeamValues16, &kNoShort, 0, kNotValid, CDataBlock::kByUseAs), kBeamValues16);
    // The allowed errors are the filter's to fill: sized to the ping, zero.
    check(block.SetDataValue(kAllowedVertError, m_zeros.data(), n, kNotValid, CDataBlock::kByUseAs), kAllowedVertError);
    check(block.SetDataValue(kAllowedHorError, m_zeros.data(), n, kNotValid, CDataBlock::kByUseAs), kAllowedHorError);
    // The heading turned from true to grid north, so that the beams can be placed in the
    // grid: true north points along the grid azimuth of a step north from the ping.
    // Optional in the layout.
    double gridHeading = ping.heading;
    unsigned short headingStatus = kNotValid;
    if (projected && std::isfinite(ping.heading)) {
        double xn = 0.0, yn = 0.0;
        if (m_utm->GeoToGrid(ping.latitude + (ping.latitude < 89.0 ? 1e-4 : -1e-4), ping.longitude, xn, yn)) {
            const double sign = ping.latitude < 89.0 ? 1.0 : -1.0;
            const double trueNorth = std::atan2(sign * (xn - x), sign * (yn - y)) * 180.0 / 3.14159265358979323846;
            gridHeading = std::fmod(ping.heading + trueNorth + 720.0, 360.0);
            headingStatus = kValid;
        }
    }
    block.SetDataValue(kHeading, gridHeading, headingStatus, CDataBlock::kByUseAs);
    if (missing) {
        error.Format("the multibeam layout (group 1011) has no element of use-as %u of the expected type", missing);
        return false;
    }
    return true;
}

} // namespace kvs
