#include <KvsDataBlocks/formats/kongsberg/KongsbergKmallReader.h>

#include <KvsDataBlocks/datablocks/ByteLayout.h>
#include <KvsDataBlocks/formats/kongsberg/KongsbergKmallFormat.h>
#include <KvsDataBlocks/formats/kongsberg/detail/MappedFile.h>
#include <KvsDataBlocks/formats/kongsberg/detail/PositionTrack.h>
#include <KvsDataBlocks/formats/kongsberg/detail/SwathChecks.h>

#include <bit>
#include <cmath>
#include <cstring>

namespace kvs {

namespace {

using namespace kongsberg::kmall;

unsigned long long U(uint64_t v)
{
    return static_cast<unsigned long long>(v);
}

float F32(const unsigned char* p)
{
    return std::bit_cast<float>(LoadLE<uint32_t>(p));
}

double F64(const unsigned char* p)
{
    return std::bit_cast<double>(LoadLE<uint64_t>(p));
}

bool IsMrz(const unsigned char* d)
{
    return std::memcmp(d + kTypeAt, "#MRZ", 4) == 0;
}

} // namespace

KongsbergKmallReader::KongsbergKmallReader()
    : m_file(std::make_unique<kongsberg::MappedFile>()),
      m_track(std::make_unique<kongsberg::PositionTrack>()),
      m_pending(std::make_unique<kongsberg::PendingSwaths>())
{
}

KongsbergKmallReader::~KongsbergKmallReader() = default;

bool KongsbergKmallReader::Open(const CString& path, CString& error)
{
    m_open = false;
    if (!m_file->Open(path, error)) return false;
    m_data = m_file->Data();
    m_size = m_file->Size();
    return Start(error);
}

bool KongsbergKmallReader::OpenMemory(const unsigned char* data, size_t size, CString& error)
{
    m_file->Close();
    m_data = data;
    m_size = data ? size : 0;
    return Start(error);
}

bool KongsbergKmallReader::Start(CString& error)
{
    m_offset = m_nextIndex = m_swaths = m_extra = m_incomplete = 0;
    m_failed = m_atEnd = m_holding = false;
    m_sounder = 0;
    m_counts.clear();
    *m_track = kongsberg::PositionTrack();
    *m_pending = kongsberg::PendingSwaths();
    m_open = true;
    if (m_size < kMinLength || m_data[kTypeAt] != '#') {
        m_failed = true;
        error = "not a Kongsberg .kmall file: it does not start with a datagram of type \"#...\"";
        m_error = error;
        return false;
    }
    return true;
}

bool KongsbergKmallReader::Fail(CString& error, uint64_t at, const CString& what)
{
    m_failed = true;
    error.Format("datagram %llu at byte %llu: %s", U(m_nextIndex), U(m_offset), static_cast<const char*>(what));
    if (at != m_offset) error.AppendFormat(" (at byte %llu)", U(at));
    m_error = error;
    return false;
}

KongsbergKmallReader::Result KongsbergKmallReader::Next(CString& error)
{
    if (!m_open) {
        error = "Kongsberg .kmall file is not open";
        return Result::Error;
    }
    for (;;) {
        if (m_pending->PopReady(*m_track, m_atEnd, m_swath)) {
            ++m_swaths;
            return Result::Swath;
        }
        if (m_failed) {
            error = m_error;
            return Result::Error;
        }
        if (m_atEnd) return Result::End;
        if (m_offset == m_size || !ReadDatagram(error)) {
            Finish();
            m_atEnd = true;
        }
    }
}

bool KongsbergKmallReader::ReadDatagram(CString& error)
{
    CString what;
    const uint64_t left = m_size - m_offset;
    const unsigned char* d = m_data + m_offset;
    if (left < kMinLength) {
        what.Format("truncated datagram: %llu bytes left, fewer than a datagram header", U(left));
        return Fail(error, m_offset, what);
    }
    const uint32_t length = LoadLE<uint32_t>(d);
    if (length < kMinLength || length > left) {
        what.Format("datagram length %u %s (%llu bytes left)", length,
                    length < kMinLength ? "is shorter than a datagram header" : "runs past the end of the file", U(left));
        return Fail(error, m_offset, what);
    }
    if (d[kTypeAt] != '#') return Fail(error, m_offset + kTypeAt, "the datagram type does not start with \"#\"");
    if (LoadLE<uint32_t>(d + length - 4) != length) {
        what.Format("the trailing length %u differs from the datagram length %u", LoadLE<uint32_t>(d + length - 4), length);
        return Fail(error, m_offset + length - 4, what);
    }
    std::string type(reinterpret_cast<const char*>(d + kTypeAt), 4);
    for (char& c : type)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
    if (IsMrz(d)) {
        if (!ReadMrz(d, length, error)) return false;
    } else if (type == "#SPO") {
        ReadSpo(d, length);
    }
    ++m_counts[type];
    m_offset += length;
    ++m_nextIndex;
    return true;
}

void KongsbergKmallReader::ReadSpo(const unsigned char* d, uint32_t length)
{
    const uint64_t body = length - 4;
    if (body < kHeaderSize + 8) return;
    const uint32_t common = LoadLE<uint16_t>(d + kHeaderSize);
    const uint16_t status = LoadLE<uint16_t>(d + kSpoStatus);
    if (!(status & kSpoActive) || (status & kSpoInvalid)) return;
    const uint64_t at = kHeaderSize + common;
    if (common < 8 || at + kSpoDataMin > body) return;
    const double t = LoadLE<uint32_t>(d + at + kSpoTime) + LoadLE<uint32_t>(d + at + kSpoTime + 4) * 1e-9;
    m_track->Add(t, F64(d + at + kSpoLatitude), F64(d + at + kSpoLongitude));
}

bool KongsbergKmallReader::ReadMrz(const unsigned char* d, uint32_t length, CString& error)
{
    CString what;
    const uint64_t end = length - 4; // the body ends before the trailing length
    auto fail = [&](uint64_t at, const char* text) { return Fail(error, m_offset + at, text); };
    if (end < kPartitionAt + 4 + kCommonMin) return fail(0, "#MRZ datagram too short for its common part");
    const uint16_t parts = LoadLE<uint16_t>(d + kPartitionAt);
    if (parts != 1) {
        what.Format("#MRZ datagram is part %u of %u: a file holds whole datagrams", LoadLE<uint16_t>(d + kPartitionAt + 2),
                    parts);
        return Fail(error, m_offset + kPartitionAt, what);
    }
    const uint64_t cmn = kPartitionAt + 4;
    const uint64_t cmnSize = LoadLE<uint16_t>(d + cmn);
    if (cmnSize < kCommonMin || cmn + cmnSize > end) return fail(cmn, "#MRZ common part: size too small or past the end");
    const uint64_t info = cmn + cmnSize;
    if (info + 2 > end) return fail(info, "#MRZ ping info runs past the end");
    const uint64_t infoSize = LoadLE<uint16_t>(d + info);
    if (infoSize < kInfoMin || info + infoSize > end) {
        what.Format("#MRZ ping info of %llu bytes (at least %zu needed, within the datagram)", U(infoSize), kInfoMin);
        return Fail(error, m_offset + info, what);
    }
    const uint64_t ntx = LoadLE<uint16_t>(d + info + kInfoTxSectors);
    const uint64_t sectorSize = LoadLE<uint16_t>(d + info + kInfoBytesPerTxSector);
    const uint64_t sectors = info + infoSize;
    if ((ntx && sectorSize < kSectorMin) || sectors + ntx * sectorSize > end)
        return fail(sectors, "#MRZ transmit sectors: size too small or past the end");
    const uint64_t rx = sectors + ntx * sectorSize;
    if (rx + 2 > end) return fail(rx, "#MRZ receive info runs past the end");
    const uint64_t rxSize = LoadLE<uint16_t>(d + rx);
    if (rxSize < kRxMin || rx + rxSize > end) return fail(rx, "#MRZ receive info: size too small or past the end");
    const uint64_t nrx = LoadLE<uint16_t>(d + rx + kRxSoundings);
    const uint64_t soundingSize = LoadLE<uint16_t>(d + rx + kRxBytesPerSounding);
    const uint64_t nd = LoadLE<uint16_t>(d + rx + kRxExtraDetections);
    const uint64_t nc = LoadLE<uint16_t>(d + rx + kRxClasses);
    const uint64_t classSize = LoadLE<uint16_t>(d + rx + kRxBytesPerClass);
    if (nrx > static_cast<uint64_t>(kMaxSoundingsPerDatagram)) {
        what.Format("#MRZ datagram of %llu soundings (at most %d)", U(nrx), kMaxSoundingsPerDatagram);
        return Fail(error, m_offset + rx, what);
    }
    if (soundingSize < kSoundingMin) {
        what.Format("#MRZ soundings of %llu bytes (at least %zu needed)", U(soundingSize), kSoundingMin);
        return Fail(error, m_offset + rx, what);
    }
    const uint64_t soundings = rx + rxSize + nc * classSize;
    if (soundings + (nrx + nd) * soundingSize > end) return fail(rx, "#MRZ soundings run past the end of the datagram");
    uint64_t samples = 0;
    for (uint64_t i = 0; i < nrx + nd; ++i) samples += LoadLE<uint16_t>(d + soundings + i * soundingSize + kSndImageSamples);
    const uint64_t image = soundings + (nrx + nd) * soundingSize;
    if (image + 2 * samples != end) {
        what.Format("#MRZ seabed image of %llu samples ends at byte %llu of the datagram, not at its end (%llu)", U(samples),
                    U(image + 2 * samples), U(end));
        return Fail(error, m_offset + image, what);
    }

    KongsbergSwath& s = m_part;
    s.seconds = LoadLE<uint32_t>(d + kSecondsAt);
    s.nanoseconds = LoadLE<uint32_t>(d + kNanosecondsAt);
    if (s.nanoseconds > 999999999u) return fail(kNanosecondsAt, "#MRZ time with more than 999 999 999 nanoseconds");
    if (!m_sounder) m_sounder = LoadLE<uint16_t>(d + kSounderIdAt);
    s.serial = d[kSystemIdAt];
    s.pingCounter = LoadLE<uint16_t>(d + cmn + kCmnPingCounter);
    const int fansPerPing = d[cmn + kCmnFansPerPing];
    const int fan = d[cmn + kCmnFanIndex];
    const int swathsPerPing = d[cmn + kCmnSwathsPerPing];
    s.swath = d[cmn + kCmnSwathAlong];
    double frequency = F32(d + info + kInfoFrequencyMode);
    if (!(std::isfinite(frequency) && frequency >= 100.0) && ntx) {
        frequency = 0.0;
        for (uint64_t k = 0; k < ntx; ++k) frequency += F32(d + sectors + k * sectorSize + kSectorFrequency);
        frequency /= static_cast<double>(ntx);
    }
    s.frequency = std::isfinite(frequency) ? std::round(frequency) : 0.0;
    s.transducerDepth = F32(d + info + kInfoTxDepth);
    const float waterLevel = F32(d + info + kInfoWaterLevel);
    const double lat = F64(d + info + kInfoLatitude), lon = F64(d + info + kInfoLongitude);
    const bool own = std::isfinite(lat) && std::isfinite(lon) && std::fabs(lat) <= 90.0 && std::fabs(lon) <= 180.0 &&
                     lat != kUnavailableDegrees && lon != kUnavailableDegrees;
    s.hasPosition = own;
    s.latitude = own ? lat : 0.0;
    s.longitude = own ? lon : 0.0;
    s.hasAngle = s.hasErrors = nrx > 0;
    s.extraDetections = static_cast<int>(nd);
    const int n = static_cast<int>(nrx);
    s.Resize(n);
    for (int i = 0; i < n; ++i) {
        const size_t k = static_cast<size_t>(i);
        const uint64_t at = soundings + k * soundingSize;
        const unsigned char* b = d + at;
        const uint8_t type = b[kSndDetectionType], method = b[kSndMethod];
        s.depth[k] = F32(b + kSndZ) - waterLevel;
        s.across[k] = F32(b + kSndY);
        s.along[k] = F32(b + kSndX);
        s.angle[k] = -F32(b + kSndBeamAngle);
        s.verticalError[k] = F32(b + kSndVerticalError);
        s.horizontalError[k] = F32(b + kSndHorizontalError);
        s.usable[k] = type == kDetectionNormal;
        s.native8[k] = static_cast<uint8_t>((type & 0x0F) | (method & 0x0F) << 4);
        s.native16[k] = static_cast<uint16_t>(b[kSndRejection1] | b[kSndRejection2] << 8);
        s.editAt[k] = m_offset + at + kSndDetectionType;
    }
    s.parts.assign(1, KongsbergSwath::Part{m_nextIndex, m_offset, 0, 0});

    const uint32_t key = uint32_t{d[kSystemIdAt]} << 24 | uint32_t{d[cmn + kCmnSwathAlong]} << 16 | s.pingCounter;
    if (m_holding && key == m_heldKey && std::fabs(s.Time() - m_held.Time()) < 1.0) {
        if (fan < m_heldFirstFan) {
            s.Append(m_held);
            std::swap(m_held, s);
            m_heldFirstFan = fan;
        } else {
            m_held.Append(s);
        }
        m_heldOwnPosition = m_heldOwnPosition && own;
    } else {
        Finish();
        std::swap(m_held, s);
        m_holding = true;
        m_heldKey = key;
        m_heldFans = 0;
        m_heldFirstFan = fan;
        m_heldOwnPosition = own;
        m_heldExpected = swathsPerPing > 0 && fansPerPing >= swathsPerPing ? fansPerPing / swathsPerPing : 1;
    }
    if (++m_heldFans >= m_heldExpected) Finish();
    return true;
}

void KongsbergKmallReader::Finish()
{
    if (!m_holding) return;
    m_holding = false;
    if (m_heldFans < m_heldExpected) ++m_incomplete;
    kongsberg::CheckAngleSign(m_held);
    m_extra += static_cast<uint64_t>(m_held.extraDetections);
    const bool needsFix = !m_heldOwnPosition;
    if (needsFix) m_held.hasPosition = false;
    m_pending->Push(std::move(m_held), needsFix);
    m_held.Clear();
}

} // namespace kvs
