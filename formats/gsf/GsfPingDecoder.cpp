#include <KvsDataBlocks/formats/gsf/GsfPingDecoder.h>

#include <KvsDataBlocks/datablocks/ByteLayout.h>

namespace kvs {

namespace {

using namespace gsf;

// The beam arrays the block mapping uses: id, allowed element sizes (a mask of 1, 2, 4),
// the default size, signedness, and where the values go.
struct ArraySpec
{
    int id;
    unsigned sizes;
    unsigned defaultSize;
    bool isSigned;
    GsfBeamValues GsfPing::*member;
    const char* name;
};

constexpr ArraySpec kArrays[] = {
    {kArrayDepth, 2 | 4, 2, false, &GsfPing::depth, "depth"},
    {kArrayAcrossTrack, 2 | 4, 2, true, &GsfPing::acrossTrack, "across-track"},
    {kArrayAlongTrack, 2 | 4, 2, true, &GsfPing::alongTrack, "along-track"},
    {kArrayBeamAngle, 2, 2, true, &GsfPing::beamAngle, "beam angle"},
    {kArrayDepthError, 2, 2, false, &GsfPing::depthError, "depth error"},
    {kArrayAcrossTrackError, 2, 2, false, &GsfPing::acrossTrackError, "across-track error"},
    {kArrayAlongTrackError, 2, 2, false, &GsfPing::alongTrackError, "along-track error"},
    {kArrayVerticalError, 2, 2, false, &GsfPing::verticalError, "vertical error"},
    {kArrayHorizontalError, 2, 2, false, &GsfPing::horizontalError, "horizontal error"},
};

const ArraySpec* FindArray(int id)
{
    for (const ArraySpec& a : kArrays)
        if (a.id == id) return &a;
    return nullptr;
}

// A subrecord could start at p: the record ends there (padding or the 4-byte sensor
// marker), or a word with a known id and a size inside the record follows.
bool PlausibleBoundary(const unsigned char* data, size_t size, size_t p)
{
    if (p > size) return false;
    if (size - p <= 4) return true;
    const uint32_t word = LoadBE<uint32_t>(data + p);
    const unsigned id = word >> 24;
    const size_t length = word & 0x00FFFFFFu;
    const bool known = (id >= 1 && id <= kMaxArrayId) || id == kScaleFactors || id >= kFirstSensorSpecific;
    // An intensity series may itself be 4 bytes too long.
    const size_t slack = id == kArrayIntensitySeries ? 4 : 0;
    return known && length <= size - p - 4 + slack;
}

template <typename T>
void DecodeValues(const unsigned char* p, int n, double multiplier, double offset, std::vector<double>& out)
{
    for (int i = 0; i < n; ++i) out[static_cast<size_t>(i)] = LoadBE<T>(p + i * sizeof(T)) / multiplier - offset;
}

} // namespace

GsfPingDecoder::GsfPingDecoder(int major, int maxBeams) : m_major(major), m_maxBeams(maxBeams) {}

bool GsfPingDecoder::Decode(const unsigned char* data, size_t size, GsfPing& ping, CString& error, size_t& errorAt)
{
    const size_t header = m_major >= 3 ? kPingHeaderSize : kPingHeaderSizeV2;
    if (size < header) {
        errorAt = 0;
        error.Format("ping record of %zu bytes is shorter than its %zu-byte header", size, header);
        return false;
    }
    ByteReader r(data, size);
    uint32_t seconds = 0, nanoseconds = 0;
    int32_t lon = 0, lat = 0, depthCorrector = 0;
    uint16_t beams = 0, centre = 0, flags = 0, reserved = 0, heading = 0, course = 0, speed = 0;
    int16_t tide = 0, pitch = 0, roll = 0, heave = 0;
    r.ReadBE(seconds), r.ReadBE(nanoseconds), r.ReadBE(lon), r.ReadBE(lat), r.ReadBE(beams), r.ReadBE(centre);
    r.ReadBE(flags), r.ReadBE(reserved), r.ReadBE(tide), r.ReadBE(depthCorrector), r.ReadBE(heading);
    r.ReadBE(pitch), r.ReadBE(roll), r.ReadBE(heave), r.ReadBE(course), r.ReadBE(speed);
    int32_t height = kUnknownHeightMm, separation = kUnknownHeightMm, gpsTide = kUnknownCorrectorMm;
    if (m_major >= 3) r.ReadBE(height), r.ReadBE(separation), r.ReadBE(gpsTide);

    if (nanoseconds > 999'999'999u) {
        errorAt = 4;
        error.Format("ping time has %u nanoseconds", nanoseconds);
        return false;
    }
    if (beams == 0 || beams > m_maxBeams) {
        errorAt = 16;
        if (beams == 0) error = "ping has no beams";
        else error.Format("ping has %u beams, more than the %d a multibeam block holds", beams, m_maxBeams);
        return false;
    }
    ping.seconds = seconds;
    ping.nanoseconds = nanoseconds;
    ping.longitude = lon * 1e-7;
    ping.latitude = lat * 1e-7;
    ping.beamCount = beams;
    ping.centreBeam = centre;
    ping.pingFlags = flags;
    ping.tideCorrector = tide * 0.01;
    ping.depthCorrector = depthCorrector * 0.01;
    ping.heading = heading * 0.01;
    ping.pitch = pitch * 0.01;
    ping.roll = roll * 0.01;
    ping.heave = heave * 0.01;
    ping.course = course * 0.01;
    ping.speed = speed * 0.01;
    ping.height = height * 0.001;
    ping.separation = separation * 0.001;
    ping.gpsTideCorrector = gpsTide * 0.001;
    ping.sensorId = -1;
    for (const ArraySpec& a : kArrays) (ping.*a.member).present = false;
    ping.hasBeamFlags = false;
    ping.beamFlagsAt = 0;

    // Scale factors first, wherever they stand in the ping, then the arrays.
    if (!WalkSubrecords(data, size, header, ping, error, errorAt)) return false;
    for (const Subrecord& sub : m_subrecords)
        if (sub.id == kScaleFactors && !MergeScales(data, sub, error, errorAt)) return false;
    for (const Subrecord& sub : m_subrecords) {
        if (sub.id == kArrayBeamFlags) {
            if (sub.size < beams) {
                errorAt = sub.body;
                error.Format("beam flag array of %zu bytes is shorter than the %u beams", sub.size, beams);
                return false;
            }
            ping.beamFlags.assign(data + sub.body, data + sub.body + beams);
            ping.hasBeamFlags = true;
            ping.beamFlagsAt = sub.body;
        } else if (!DecodeArray(data, sub, beams, ping, error, errorAt)) {
            return false;
        }
    }
    return true;
}

bool GsfPingDecoder::WalkSubrecords(const unsigned char* data, size_t size, size_t start, GsfPing& ping,
                                    CString& error, size_t& errorAt)
{
    m_subrecords.clear();
    size_t pos = start;
    while (size - pos > 4) {
        const uint32_t word = LoadBE<uint32_t>(data + pos);
        const int id = static_cast<int>(word >> 24);
        const size_t length = word & 0x00FFFFFFu;
        const size_t body = pos + 4;
        size_t skip = length;
        if (id == kArrayIntensitySeries && !PlausibleBoundary(data, size, body + length) && length >= 4 &&
            PlausibleBoundary(data, size, body + length - 4))
            skip = length - 4;
        if (skip > size - body) {
            errorAt = pos;
            error.Format("subrecord %d of %zu bytes runs past the end of the ping record (%zu bytes left)", id, length,
                         size - body);
            return false;
        }
        if (id >= kFirstSensorSpecific || (id == 0 && length == 0)) ping.sensorId = id;
        else if (id == kScaleFactors || id == kArrayBeamFlags || FindArray(id)) m_subrecords.push_back({id, body, skip});
        pos = body + skip;
    }
    // Exactly four bytes left: the word that names the sensor (id 0: none).
    if (size - pos == 4) ping.sensorId = data[pos];
    return true;
}

bool GsfPingDecoder::MergeScales(const unsigned char* data, const Subrecord& sub, CString& error, size_t& errorAt)
{
    errorAt = sub.body;
    if (sub.size < 4) {
        error.Format("scale factor subrecord of %zu bytes has no entry count", sub.size);
        return false;
    }
    const int32_t count = LoadBE<int32_t>(data + sub.body);
    if (count < 1 || static_cast<size_t>(count) > (sub.size - 4) / 12) {
        error.Format("scale factor subrecord of %zu bytes announces %d entries", sub.size, count);
        return false;
    }
    const unsigned char* p = data + sub.body + 4;
    for (int32_t i = 0; i < count; ++i, p += 12) {
        const uint32_t word = LoadBE<uint32_t>(p);
        const unsigned id = word >> 24;
        if (id < 1 || id > kMaxArrayId) continue; // not an array: nothing to scale
        Scale& s = m_scales[id];
        s.compression = static_cast<uint8_t>((word >> 16) & 0xFF);
        s.multiplier = LoadBE<uint32_t>(p + 4);
        s.offset = LoadBE<int32_t>(p + 8);
    }
    return true;
}

bool GsfPingDecoder::DecodeArray(const unsigned char* data, const Subrecord& sub, int beams, GsfPing& ping,
                                 CString& error, size_t& errorAt) const
{
    const ArraySpec* spec = FindArray(sub.id);
    if (!spec) return true;
    errorAt = sub.body - 4;
    const Scale& scale = m_scales[static_cast<size_t>(sub.id)];
    if (scale.multiplier == 0) {
        error.Format("%s array (subrecord %d) has no scale factor in force", spec->name, sub.id);
        return false;
    }
    if (scale.compression & kCompressionMask) {
        error.Format("%s array (subrecord %d) is compressed, which this reader does not decode", spec->name, sub.id);
        return false;
    }
    // Element size: the subrecord size over the beam count when that is an allowed size,
    // else the scale factor's field size, else the array's default.
    const size_t n = static_cast<size_t>(beams);
    unsigned elementSize = 0;
    if (sub.size % n == 0 && sub.size / n <= 4 && (spec->sizes & (sub.size / n)) && sub.size / n != 3)
        elementSize = static_cast<unsigned>(sub.size / n);
    const unsigned field = (scale.compression & kFieldSizeMask) >> 4;
    if (!elementSize && (field == 1 || field == 2 || field == 4) && (spec->sizes & field)) elementSize = field;
    if (!elementSize) elementSize = spec->defaultSize;
    if (sub.size < n * elementSize) {
        error.Format("%s array of %zu bytes is too short for %d beams of %u bytes", spec->name, sub.size, beams,
                     elementSize);
        return false;
    }
    GsfBeamValues& out = ping.*spec->member;
    out.values.resize(n);
    out.present = true;
    const unsigned char* p = data + sub.body;
    const double m = scale.multiplier, o = scale.offset;
    const int size = static_cast<int>(elementSize);
    switch (spec->isSigned ? -size : size) {
    case 1: DecodeValues<uint8_t>(p, beams, m, o, out.values); break;
    case 2: DecodeValues<uint16_t>(p, beams, m, o, out.values); break;
    case 4: DecodeValues<uint32_t>(p, beams, m, o, out.values); break;
    case -1: DecodeValues<int8_t>(p, beams, m, o, out.values); break;
    case -2: DecodeValues<int16_t>(p, beams, m, o, out.values); break;
    default: DecodeValues<int32_t>(p, beams, m, o, out.values); break;
    }
    return true;
}

} // namespace kvs
