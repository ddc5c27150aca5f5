#include <KvsDataBlocks/formats/kongsberg/KongsbergBlockMapper.h>

#include <KvsDataBlocks/config/UseAsCodes.h>
#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/DefinitionBuild.h>
#include <KvsDataBlocks/filters/multibeam/PingStruct.h>
#include <KvsDataBlocks/formats/gsf/GsfBlockMapper.h>
#include <KvsDataBlocks/geometry/KvsGeoCoordSysBase.h>

#include <cstdlib>

namespace kvs {

namespace {

using namespace UseAs;

constexpr unsigned short kMultibeamGroup = 1011;
constexpr unsigned short kValid = kStatusValid;
constexpr unsigned short kNotValid = kStatusInvalid;
constexpr unsigned int kSonarGoodBit = 0x01; // the bit quality mode 1 requires

} // namespace

KongsbergBlockMapper::KongsbergBlockMapper() = default;
KongsbergBlockMapper::~KongsbergBlockMapper() = default;

bool KongsbergBlockMapper::Project(double latitude, double longitude, double& x, double& y, CString& error)
{
    return GsfBlockMapper::ProjectToUtm(m_utm, m_zone, latitude, longitude, x, y, error);
}

bool KongsbergBlockMapper::Map(const KongsbergSwath& s, int pingNumber, CDataBlock& block, CString& error)
{
    const int n = s.beamCount;
    if (n <= 0 || n > PingStruct::kMaxBeams) {
        error.Format("swath %d (sonar ping %u) has %d beams; a multibeam block holds 1 to %d, and a swath is not cut",
                     pingNumber, static_cast<unsigned>(s.pingCounter), n, PingStruct::kMaxBeams);
        return false;
    }
    if (block.GetDataId().GetGroupId() != kMultibeamGroup || block.GetLength() == 0) {
        if (!BuildDataBlockFromDefinition(CDataId(1, kMultibeamGroup, 1, 1), block)) {
            error = "the data definition has no multibeam group 1011";
            return false;
        }
    }
    const size_t count = static_cast<size_t>(n);
    m_z.resize(count);
    m_flags.resize(count);
    int rejected = 0;
    for (size_t i = 0; i < count; ++i) {
        m_z[i] = -s.depth[i];
        m_flags[i] = s.usable[i] ? kSonarGoodBit : 0u;
        if (!s.usable[i]) ++rejected;
    }
    m_zeros.assign(count, 0.0f);

    double x = 0.0, y = 0.0;
    const bool projected = s.hasPosition && Project(s.latitude, s.longitude, x, y, error);
    if (s.hasPosition && !m_utm) return false; // no projection could be set up: error says why
    const unsigned short positionStatus = projected ? kValid : kNotValid;
    const unsigned short geoStatus = s.hasPosition ? kValid : kNotValid;

    unsigned short missing = 0;
    auto check = [&missing](bool ok, unsigned short code) {
        if (!ok && !missing) missing = code;
    };
    static constexpr float kNoFloat = 0.0f;
    auto floats = [&](unsigned short code, bool present, const std::vector<float>& values) {
        check(present ? block.SetDataValue(code, values.data(), n, kValid, CDataBlock::kByUseAs)
                      : block.SetDataValue(code, &kNoFloat, 0, kNotValid, CDataBlock::kByUseAs),
              code);
    };
    block.SetTime(s.Time());
    block.SetStatus(kValid);
    check(block.SetDataValue(kPingNumber, pingNumber, kValid, CDataBlock::kByUseAs), kPingNumber);
    check(block.SetDataValue(kBeamCount, n, kValid, CDataBlock::kByUseAs), kBeamCount);
    check(block.SetDataValue(kRejectedBeams, rejected, kValid, CDataBlock::kByUseAs), kRejectedBeams);
    check(block.SetDataValue(kVerticalOffset, s.transducerDepth, kValid, CDataBlock::kByUseAs), kVerticalOffset);
    check(block.SetDataValue(kVerticalReference, 0.0, kValid, CDataBlock::kByUseAs), kVerticalReference);
    check(block.SetDataValue(kPositionX, x, positionStatus, CDataBlock::kByUseAs), kPositionX);
    check(block.SetDataValue(kPositionY, y, positionStatus, CDataBlock::kByUseAs), kPositionY);
    check(block.SetDataValue(kLongitude, s.hasPosition ? s.longitude : 0.0, geoStatus, CDataBlock::kByUseAs), kLongitude);
    check(block.SetDataValue(kLatitude, s.hasPosition ? s.latitude : 0.0, geoStatus, CDataBlock::kByUseAs), kLatitude);
    check(block.SetDataValue(kTimeSeconds, static_cast<unsigned int>(s.seconds), kValid, CDataBlock::kByUseAs), kTimeSeconds);
    check(block.SetDataValue(kTimeNanoseconds, static_cast<unsigned int>(s.nanoseconds), kValid, CDataBlock::kByUseAs),
          kTimeNanoseconds);
    check(block.SetDataValue(kSonarPingCounter, static_cast<unsigned int>(s.pingCounter), kValid, CDataBlock::kByUseAs),
          kSonarPingCounter);
    check(block.SetDataValue(kSwathPosition, static_cast<unsigned short>(s.swath), kValid, CDataBlock::kByUseAs),
          kSwathPosition);
    check(block.SetDataValue(kPingFrequency, static_cast<float>(s.frequency), s.frequency > 0.0 ? kValid : kNotValid,
                             CDataBlock::kByUseAs),
          kPingFrequency);
    check(block.SetDataValue(kAcrossTrack, s.across.data(), n, kValid, CDataBlock::kByUseAs), kAcrossTrack);
    check(block.SetDataValue(kAlongTrack, s.along.data(), n, kValid, CDataBlock::kByUseAs), kAlongTrack);
    check(block.SetDataValue(kBeamZ, m_z.data(), n, kValid, CDataBlock::kByUseAs), kBeamZ);
    check(block.SetDataValue(kBeamFlags, m_flags.data(), n, kValid, CDataBlock::kByUseAs), kBeamFlags);
    check(block.SetDataValue(kPingFlags, 0u, kValid, CDataBlock::kByUseAs), kPingFlags);
    check(block.SetDataValue(kGsfPingFlags, static_cast<unsigned short>(0), kNotValid, CDataBlock::kByUseAs), kGsfPingFlags);
    check(block.SetDataValue(kGsfBeamFlags, s.native8.data(), n, kValid, CDataBlock::kByUseAs), kGsfBeamFlags);
    check(block.SetDataValue(kBeamValues16, s.native16.data(), n, kValid, CDataBlock::kByUseAs), kBeamValues16);
    floats(kBeamAngle, s.hasAngle, s.angle);
    floats(kEstimatedVertError, s.hasErrors, s.verticalError);
    floats(kEstimatedHorError, s.hasErrors, s.horizontalError);
    floats(kBeamValuesFloat, false, m_zeros);
    floats(kBeamValues621, false, m_zeros);
    floats(kBeamValues623, false, m_zeros);
    // The allowed errors are the filter's to fill: sized to the ping, zero.
    check(block.SetDataValue(kAllowedVertError, m_zeros.data(), n, kNotValid, CDataBlock::kByUseAs), kAllowedVertError);
    check(block.SetDataValue(kAllowedHorError, m_zeros.data(), n, kNotValid, CDataBlock::kByUseAs), kAllowedHorError);
    if (missing) {
        error.Format("the multibeam layout (group 1011) has no element of use-as %u of the expected type", missing);
        return false;
    }
    return true;
}

} // namespace kvs
