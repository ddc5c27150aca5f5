#include "LineSoundings.h"

#include <KvsDataBlocks/config/UseAsCodes.h>
#include <KvsDataBlocks/datablocks/CKvsBytePtr.h>
#include <KvsDataBlocks/datablocks/ElementTypes.h>
#include <KvsDataBlocks/filters/multibeam/Multibeam.h>
#include <KvsDataBlocks/formats/gsf/GsfBlockMapper.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace kvs::surface {

namespace {

constexpr unsigned short kMultibeamGroup = 1011;
constexpr unsigned int kUsableBit = 0x01;
constexpr double kDegrees = 3.14159265358979323846 / 180.0;

template <typename T>
bool ReadArray(const CDataBlock& block, unsigned short useAs, unsigned short type, std::vector<T>& out)
{
    CKvsBytePtr element;
    if (!block.GetData(useAs, element, CDataBlock::kByUseAs) || element.GetType() != type || !element.GetDataPtr()) {
        out.clear();
        return false;
    }
    out.resize(element.GetLength() / sizeof(T));
    if (!out.empty()) std::memcpy(out.data(), element.GetDataPtr(), out.size() * sizeof(T));
    return true;
}

bool ReadValid(const CDataBlock& block, unsigned short useAs, double& value)
{
    unsigned short status = 0;
    return block.GetDataValue(useAs, value, status, CDataBlock::kByUseAs) && status == kStatusValid && std::isfinite(value);
}

} // namespace

LineSoundings::LineSoundings(std::string path) : m_path(std::move(path))
{
    CString error;
    if (!m_reader.Open(m_path.c_str(), error)) throw LineReadError(m_path + ": " + std::string(error));
}

bool LineSoundings::ReadRaw(Raw& raw)
{
    for (;;) {
        CString error;
        const RecordStreamReader::Result r = m_reader.Next(m_block, error);
        if (r == RecordStreamReader::Result::End) return false;
        if (r == RecordStreamReader::Result::Error) throw LineReadError(m_path + ": " + std::string(error));
        if (m_block.GetDataId().GetGroupId() != kMultibeamGroup) {
            ++m_counts.otherBlocks;
            continue;
        }
        ++m_counts.pings;
        unsigned int pingFlags = 0;
        unsigned short status = 0;
        raw.invalid = m_block.GetDataValue(UseAs::kPingFlags, pingFlags, status, CDataBlock::kByUseAs) &&
                      (pingFlags & Multibeam::kPingFlagInvalid);
        raw.located = ReadValid(m_block, UseAs::kPositionX, raw.x) && ReadValid(m_block, UseAs::kPositionY, raw.y);
        if (!raw.located) {
            ++m_counts.pingsNoPosition;
            continue;
        }
        if (!m_zoneKnown) {
            double lon = 0.0, lat = 0.0;
            if (ReadValid(m_block, UseAs::kLongitude, lon) && ReadValid(m_block, UseAs::kLatitude, lat)) {
                m_zone = GsfBlockMapper::ZoneOf(lat, lon);
                m_zoneKnown = true;
            }
        }
        raw.time = m_block.GetTime();
        int number = 0;
        raw.pingNumber = m_block.GetDataValue(UseAs::kPingNumber, number, status, CDataBlock::kByUseAs) ? number : 0;
        raw.hasHeading = ReadValid(m_block, UseAs::kHeading, raw.heading);
        ReadArray(m_block, UseAs::kAcrossTrack, ET_FLOAT_ARRAY, raw.across);
        ReadArray(m_block, UseAs::kAlongTrack, ET_FLOAT_ARRAY, raw.along);
        ReadArray(m_block, UseAs::kBeamZ, ET_FLOAT_ARRAY, raw.z);
        ReadArray(m_block, UseAs::kBeamFlags, ET_UINT_ARRAY, raw.flags);
        ReadArray(m_block, UseAs::kEstimatedVertError, ET_FLOAT_ARRAY, raw.sigma);
        return true;
    }
}

void LineSoundings::Place(const Raw& raw, const Raw* before, const Raw* after, PingSoundings& out)
{
    out.time = raw.time;
    out.pingNumber = raw.pingNumber;
    out.east.clear(), out.north.clear(), out.depth.clear(), out.sigma.clear();
    out.rejected = 0;
    const size_t n = std::min({raw.across.size(), raw.z.size(), raw.flags.size()});
    const size_t all = std::max({raw.across.size(), raw.z.size(), raw.flags.size()});
    if (raw.invalid) {
        ++m_counts.pingsInvalid;
        out.rejected = all;
        m_counts.rejected += all;
        return;
    }
    double heading = m_lastHeading;
    if (raw.hasHeading) {
        heading = raw.heading;
    } else {
        // The course over ground between the neighbouring pings.
        const Raw* a = before ? before : &raw;
        const Raw* b = after ? after : &raw;
        const double dx = b->x - a->x, dy = b->y - a->y;
        if (dx * dx + dy * dy > 1e-6) heading = std::atan2(dx, dy) / kDegrees;
        m_counts.headingFromTrack = true;
    }
    m_lastHeading = heading;
    const double s = std::sin(heading * kDegrees), c = std::cos(heading * kDegrees);
    const bool hasAlong = raw.along.size() >= n, hasSigma = raw.sigma.size() >= n;
    if (!m_carriesUsableBit)
        for (size_t i = 0; i < n && !m_carriesUsableBit; ++i) m_carriesUsableBit = (raw.flags[i] & kUsableBit) != 0;
    const unsigned int needed = m_carriesUsableBit ? kUsableBit : 0u;
    out.east.reserve(n), out.north.reserve(n), out.depth.reserve(n), out.sigma.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        const unsigned int f = raw.flags[i];
        const double x = raw.across[i], y = hasAlong ? raw.along[i] : 0.0, z = raw.z[i];
        if ((f & Multibeam::kBeamRejectMask) || (f & needed) != needed || !std::isfinite(x) || !std::isfinite(y) ||
            !std::isfinite(z)) {
            ++out.rejected;
            continue;
        }
        // Starboard is the heading turned right by 90 degrees: (cos h, -sin h) in (east, north).
        out.east.push_back(raw.x + x * c + y * s);
        out.north.push_back(raw.y - x * s + y * c);
        out.depth.push_back(-z);
        const double e = hasSigma ? raw.sigma[i] : std::numeric_limits<double>::quiet_NaN();
        out.sigma.push_back(std::isfinite(e) && e > 0.0 ? e : std::numeric_limits<double>::quiet_NaN());
    }
    out.rejected += all - n;
    m_counts.rejected += out.rejected;
    m_counts.soundings += out.depth.size();
}

bool LineSoundings::Next(PingSoundings& ping)
{
    if (!m_started) {
        m_started = true;
        m_haveCurrent = ReadRaw(m_current);
        if (m_haveCurrent) m_haveAfter = ReadRaw(m_after);
    }
    if (!m_haveCurrent) return false;
    Place(m_current, m_haveBefore ? &m_before : nullptr, m_haveAfter ? &m_after : nullptr, ping);
    std::swap(m_before, m_current);
    m_haveBefore = true;
    std::swap(m_current, m_after);
    m_haveCurrent = m_haveAfter;
    m_haveAfter = m_haveCurrent && ReadRaw(m_after);
    return true;
}

} // namespace kvs::surface
