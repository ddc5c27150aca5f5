#include <KvsDataBlocks/formats/kongsberg/KongsbergAllReader.h>

#include <KvsDataBlocks/datablocks/ByteLayout.h>
#include <KvsDataBlocks/formats/kongsberg/KongsbergAllFormat.h>
#include <KvsDataBlocks/formats/kongsberg/detail/MappedFile.h>
#include <KvsDataBlocks/formats/kongsberg/detail/PositionTrack.h>
#include <KvsDataBlocks/formats/kongsberg/detail/SwathChecks.h>

#include <bit>
#include <cmath>
#include <new>

namespace kvs {

namespace {

using namespace kongsberg::all;

unsigned long long U(uint64_t v)
{
    return static_cast<unsigned long long>(v);
}

// Seconds and nanoseconds since 1970 of a yyyymmdd date and ms of the day; false when the
// date is not one.
bool ToTime(uint32_t date, uint32_t ms, uint32_t& seconds, uint32_t& nanoseconds)
{
    const uint32_t y = date / 10000, m = date / 100 % 100, d = date % 100;
    if (y < 1970 || y > 2105 || m < 1 || m > 12 || d < 1 || d > 31 || ms >= 86400000u) return false;
    const int64_t s = kongsberg::DaysFromCivil(y, m, d) * 86400 + ms / 1000;
    if (s < 0 || s > 0xFFFFFFFFll) return false;
    seconds = static_cast<uint32_t>(s);
    nanoseconds = ms % 1000 * 1000000u;
    return true;
}

// The first datagram read in one byte order: length within the file, STX, ETX, date.
bool FirstDatagramFits(const unsigned char* data, uint64_t size, bool bigEndian)
{
    if (size < kLengthSize + kMinLength) return false;
    const uint32_t length = bigEndian ? LoadBE<uint32_t>(data) : LoadLE<uint32_t>(data);
    if (length < kMinLength || length > size - kLengthSize) return false;
    if (data[4] != kStx || data[kLengthSize + length - 3] != kEtx) return false;
    const uint32_t date = bigEndian ? LoadBE<uint32_t>(data + 8) : LoadLE<uint32_t>(data + 8);
    const uint32_t ms = bigEndian ? LoadBE<uint32_t>(data + 12) : LoadLE<uint32_t>(data + 12);
    uint32_t s = 0, ns = 0;
    return ToTime(date, ms, s, ns);
}

} // namespace

KongsbergAllReader::KongsbergAllReader()
    : m_file(std::make_unique<kongsberg::MappedFile>()),
      m_active(std::make_unique<kongsberg::PositionTrack>()),
      m_inactive(std::make_unique<kongsberg::PositionTrack>()),
      m_pending(std::make_unique<kongsberg::PendingSwaths>())
{
}

KongsbergAllReader::~KongsbergAllReader() = default;

template <typename T>
T KongsbergAllReader::Load(const unsigned char* p) const
{
    return m_bigEndian ? LoadBE<T>(p) : LoadLE<T>(p);
}

float KongsbergAllReader::LoadFloat(const unsigned char* p) const
{
    return std::bit_cast<float>(Load<uint32_t>(p));
}

bool KongsbergAllReader::Open(const CString& path, CString& error)
{
    m_open = false;
    if (!m_file->Open(path, error)) return false;
    m_data = m_file->Data();
    m_size = m_file->Size();
    return Start(error);
}

bool KongsbergAllReader::OpenMemory(const unsigned char* data, size_t size, CString& error)
{
    m_file->Close();
    m_data = data;
    m_size = data ? size : 0;
    return Start(error);
}

bool KongsbergAllReader::Start(CString& error)
{
    m_offset = m_nextIndex = m_swaths = 0;
    m_failed = m_atEnd = m_holding = m_rawValid = m_dualSwath = false;
    m_model = 0;
    m_portSerial = m_starboardSerial = 0;
    m_lastTime = m_lastFirstTime = -1.0;
    m_cycle = 0.0;
    m_lastSwath = 1;
    m_counts.clear();
    *m_active = kongsberg::PositionTrack();
    *m_inactive = kongsberg::PositionTrack();
    *m_pending = kongsberg::PendingSwaths();
    m_open = true;
    if (FirstDatagramFits(m_data, m_size, false)) {
        m_bigEndian = false;
    } else if (FirstDatagramFits(m_data, m_size, true)) {
        m_bigEndian = true;
    } else {
        m_failed = true;
        error = "not a Kongsberg .all file: the first datagram has no valid length, STX, ETX and date in either byte order";
        m_error = error;
        return false;
    }
    m_model = Load<uint16_t>(m_data + 6);
    return true;
}

bool KongsbergAllReader::Fail(CString& error, uint64_t at, const CString& what)
{
    m_failed = true;
    error.Format("datagram %llu at byte %llu: %s", U(m_nextIndex), U(m_offset), static_cast<const char*>(what));
    if (at != m_offset) error.AppendFormat(" (at byte %llu)", U(at));
    m_error = error;
    return false;
}

KongsbergAllReader::Result KongsbergAllReader::Next(CString& error)
{
    if (!m_open) {
        error = "Kongsberg .all file is not open";
        return Result::Error;
    }
    for (;;) {
        const kongsberg::PositionTrack& track = m_atEnd && m_active->Empty() ? *m_inactive : *m_active;
        if (m_pending->PopReady(track, m_atEnd, m_swath)) {
            ++m_swaths;
            return Result::Swath;
        }
        if (m_failed) {
            error = m_error;
            return Result::Error;
        }
        if (m_atEnd) return Result::End;
        if (m_offset == m_size) {
            Finish();
            m_atEnd = true;
            continue;
        }
        if (!ReadDatagram(error)) {
            // The swaths read before the fault still come out, placed with the fixes known.
            Finish();
            m_atEnd = true;
        }
    }
}

bool KongsbergAllReader::ReadDatagram(CString& error)
{
    CString what;
    const uint64_t left = m_size - m_offset;
    if (left < kLengthSize) {
        what.Format("truncated datagram: %llu bytes left, fewer than its 4-byte length", U(left));
        return Fail(error, m_offset, what);
    }
    const unsigned char* p = m_data + m_offset;
    const uint32_t length = Load<uint32_t>(p);
    if (length < kMinLength || length > left - kLengthSize) {
        what.Format("datagram length %u %s (%llu bytes left)", length,
                    length < kMinLength ? "is shorter than a datagram header" : "runs past the end of the file",
                    U(left - kLengthSize));
        return Fail(error, m_offset, what);
    }
    const unsigned char* d = p + kLengthSize;
    if (d[0] != kStx) return Fail(error, m_offset + kLengthSize, "no STX (0x02) after the length");
    if (d[length - 3] != kEtx) return Fail(error, m_offset + kLengthSize + length - 3, "no ETX (0x03) before the checksum");
    uint32_t sum = 0;
    for (uint32_t i = 1; i < length - 3; ++i) sum += d[i];
    const uint16_t stored = Load<uint16_t>(d + length - 2);
    if (static_cast<uint16_t>(sum) != stored) {
        what.Format("checksum %04X does not match the data (sum %04X)", stored, static_cast<unsigned>(sum & 0xFFFFu));
        return Fail(error, m_offset + kLengthSize + length - 2, what);
    }
    const unsigned char type = d[1];
    switch (type) {
    case kXyz88:
        if (!ReadXyz(d, length, error)) return false;
        break;
    case kRawRange78:
        ReadRaw(d, length);
        break;
    case kPosition:
        if (length >= kPositionDescriptor + 4) {
            uint32_t s = 0, ns = 0;
            if (ToTime(Load<uint32_t>(d + 4), Load<uint32_t>(d + 8), s, ns)) {
                const double lat = Load<int32_t>(d + kPositionLatitude) / 2.0e7;
                const double lon = Load<int32_t>(d + kPositionLongitude) / 1.0e7;
                const bool active = (d[kPositionDescriptor] & kDescriptorActive) != 0;
                (active ? *m_active : *m_inactive).Add(s + ns * 1e-9, lat, lon);
            }
        }
        break;
    case kInstallStart:
        if (length >= kInstallSecondSerial + 5) {
            m_portSerial = Load<uint16_t>(d + kInstallSerial);
            m_starboardSerial = Load<uint16_t>(d + kInstallSecondSerial);
        }
        break;
    case kRuntime:
        if (length >= kRuntimeMode + 4) m_dualSwath = (d[kRuntimeMode] & kDualSwathMask) != 0;
        break;
    case kDepthOld:
        return Fail(error, m_offset,
                    "depth datagram 'D' of an older sonar (EM 120, 300, 1002, 2000, 3000, 3002): only XYZ 88 files "
                    "are supported");
    default:
        break;
    }
    ++m_counts[type];
    m_offset += kLengthSize + length;
    ++m_nextIndex;
    return true;
}

void KongsbergAllReader::ReadRaw(const unsigned char* d, uint32_t length)
{
    m_rawValid = false;
    if (length < kRawSectors + 3) return;
    const uint32_t ntx = Load<uint16_t>(d + kRawTxCount);
    const uint32_t nrx = Load<uint16_t>(d + kRawRxCount);
    const uint64_t beams = kRawSectors + uint64_t{ntx} * kRawSectorSize;
    if (beams + uint64_t{nrx} * kRawBeamSize > length - 3) return; // too short: the angles are left out
    m_rawCounter = Load<uint16_t>(d + 12);
    m_rawSerial = Load<uint16_t>(d + 14);
    m_rawDate = Load<uint32_t>(d + 4);
    m_rawTime = Load<uint32_t>(d + 8);
    double frequency = 0.0;
    for (uint32_t k = 0; k < ntx; ++k) {
        const float f = LoadFloat(d + kRawSectors + k * kRawSectorSize + kRawSectorFrequency);
        frequency += std::isfinite(f) ? f : 0.0;
    }
    m_rawFrequency = ntx ? std::round(frequency / ntx) : 0.0;
    m_rawAngles.resize(nrx);
    for (uint32_t i = 0; i < nrx; ++i)
        m_rawAngles[i] = -0.01f * static_cast<float>(Load<int16_t>(d + beams + i * kRawBeamSize));
    m_rawValid = true;
}

bool KongsbergAllReader::ReadXyz(const unsigned char* d, uint32_t length, CString& error)
{
    CString what;
    if (length < kXyzBeams + 3) {
        what.Format("XYZ 88 datagram of %u bytes is shorter than its %zu-byte header", length, kXyzBeams + 3);
        return Fail(error, m_offset, what);
    }
    const int n = Load<uint16_t>(d + kXyzBeamCount);
    if (n > kMaxBeamsPerDatagram) {
        what.Format("XYZ 88 datagram of %d beams (at most %d)", n, kMaxBeamsPerDatagram);
        return Fail(error, m_offset, what);
    }
    if (kXyzBeams + static_cast<uint64_t>(n) * kXyzBeamSize > length - 3) {
        what.Format("XYZ 88 datagram of %u bytes is too short for its %d beams", length, n);
        return Fail(error, m_offset, what);
    }
    KongsbergSwath& s = m_part;
    const uint32_t date = Load<uint32_t>(d + 4), ms = Load<uint32_t>(d + 8);
    if (!ToTime(date, ms, s.seconds, s.nanoseconds)) {
        what.Format("XYZ 88 datagram dated %u, %u ms: not a date and time", date, ms);
        return Fail(error, m_offset, what);
    }
    s.pingCounter = Load<uint16_t>(d + 12);
    s.serial = Load<uint16_t>(d + 14);
    s.swath = 0;
    s.extraDetections = 0;
    s.hasPosition = false;
    s.latitude = s.longitude = 0.0;
    s.transducerDepth = LoadFloat(d + kXyzTransducerDepth);
    const bool rawMatches = m_rawValid && m_rawCounter == s.pingCounter && m_rawSerial == s.serial &&
                            m_rawDate == date && m_rawTime == ms && m_rawAngles.size() == static_cast<size_t>(n);
    s.frequency = rawMatches ? m_rawFrequency : 0.0;
    s.hasAngle = rawMatches && n > 0;
    s.hasErrors = false;
    s.Resize(n);
    const float td = static_cast<float>(s.transducerDepth);
    const uint64_t at = m_offset + kLengthSize + kXyzBeams;
    for (int i = 0; i < n; ++i) {
        const size_t k = static_cast<size_t>(i);
        const unsigned char* b = d + kXyzBeams + k * kXyzBeamSize;
        const uint8_t detection = b[kBeamDetectionInfo];
        const uint8_t cleaning = b[kBeamCleaning];
        s.depth[k] = LoadFloat(b) + td;
        s.across[k] = LoadFloat(b + 4);
        s.along[k] = LoadFloat(b + 8);
        s.angle[k] = rawMatches ? m_rawAngles[k] : 0.0f;
        s.verticalError[k] = s.horizontalError[k] = 0.0f;
        s.usable[k] = (detection & kDetectionInvalid) == 0 && (cleaning & 0x80) == 0;
        s.native8[k] = detection;
        s.native16[k] = static_cast<uint16_t>(detection | cleaning << 8);
        s.editAt[k] = at + k * kXyzBeamSize + kBeamCleaning;
    }
    s.parts.assign(1, KongsbergSwath::Part{m_nextIndex, m_offset, m_offset + kLengthSize + length - 2, 0});

    // A second head of the same ping joins the held swath, port head first.
    if (m_holding && m_held.parts.size() < kMaxHeads && s.pingCounter == m_held.pingCounter &&
        s.serial != m_held.serial && std::fabs(s.Time() - m_held.Time()) < 1.0) {
        if (s.serial == m_portSerial && m_held.serial != m_portSerial) {
            s.Append(m_held);
            std::swap(m_held, s);
        } else {
            m_held.Append(s);
        }
        return true;
    }
    Finish();
    std::swap(m_held, s);
    m_holding = true;
    return true;
}

void KongsbergAllReader::Finish()
{
    if (!m_holding) return;
    m_holding = false;
    KongsbergSwath& s = m_held;
    kongsberg::CheckAngleSign(s);
    // Dual swath: the second swath of a pair follows the first within half the ping cycle
    // (the first pair: within 0.25 s); nothing in XYZ 88 itself tells them apart.
    const double t = s.Time();
    s.swath = 0;
    if (m_dualSwath && m_lastSwath == 0 && m_lastTime >= 0.0) {
        const double gap = t - m_lastTime;
        if (gap >= 0.0 && gap < (m_cycle > 0.0 ? 0.5 * m_cycle : 0.25)) s.swath = 1;
    }
    if (s.swath == 0) {
        if (m_lastFirstTime >= 0.0 && t > m_lastFirstTime) m_cycle = t - m_lastFirstTime;
        m_lastFirstTime = t;
    }
    m_lastSwath = s.swath;
    m_lastTime = t;
    m_pending->Push(std::move(s), true);
    s.Clear();
}

} // namespace kvs
