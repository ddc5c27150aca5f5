#include <KvsDataBlocks/formats/gsf/GsfReader.h>

#include <KvsDataBlocks/datablocks/ByteLayout.h>
#include <KvsDataBlocks/formats/gsf/GsfFormat.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <sys/stat.h>

namespace kvs {

namespace {

using namespace gsf;

unsigned long long U(uint64_t v)
{
    return static_cast<unsigned long long>(v);
}

} // namespace

GsfReader::GsfReader(int maxBeams) : m_maxBeams(maxBeams) {}

GsfReader::~GsfReader()
{
    if (m_file) std::fclose(m_file);
}

bool GsfReader::Open(const CString& path, CString& error)
{
    if (m_file) std::fclose(m_file);
    m_file = std::fopen(path, "rb");
    m_memory = nullptr;
    m_open = false;
    if (!m_file) {
        error.Format("cannot open: %s", std::strerror(errno));
        return false;
    }
    // A folder, device or pipe has no size to check records against (/dev/zero would
    // read as an endless run of empty records).
    struct stat st {};
    if (::fstat(::fileno(m_file), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? "is a folder, not a GSF file" : "not a regular file (a device or pipe), not a GSF file";
        return false;
    }
    if (std::fseek(m_file, 0, SEEK_END) != 0 || std::ftell(m_file) < 0) {
        error = "cannot read: not a seekable file";
        return false;
    }
    m_size = static_cast<uint64_t>(std::ftell(m_file));
    std::fseek(m_file, 0, SEEK_SET);
    return Start(error);
}

bool GsfReader::OpenMemory(const unsigned char* data, size_t size, CString& error)
{
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
    m_memory = data;
    m_size = data ? size : 0;
    return Start(error);
}

bool GsfReader::Start(CString& error)
{
    m_offset = 0;
    m_nextIndex = 0;
    m_failed = false;
    m_record = nullptr;
    m_recordSize = 0;
    m_major = m_minor = 0;
    m_decoder.reset();
    m_pings = 0;
    m_summary.reset();
    m_counts.clear();
    m_open = true;
    if (m_size < kFramingSize) {
        m_failed = true;
        error.Format("not a GSF file: %llu bytes, too short for a header record", U(m_size));
        return false;
    }
    return true;
}

bool GsfReader::Fail(CString& error, uint64_t at, const CString& what)
{
    m_failed = true;
    error.Format("record %llu at byte %llu", U(m_nextIndex), U(m_offset));
    if (m_recordId == kRecordPing && m_record) error.AppendFormat(" (ping %llu)", U(m_pings + 1));
    error.AppendFormat(": %s", static_cast<const char*>(what));
    if (at != m_offset) error.AppendFormat(" (at byte %llu)", U(at));
    m_error = error;
    return false;
}

bool GsfReader::Fetch(unsigned char* out, size_t count)
{
    return std::fread(out, 1, count, m_file) == count;
}

bool GsfReader::IsPing() const
{
    return m_record && m_recordId == kRecordPing;
}

GsfReader::Result GsfReader::Next(CString& error)
{
    if (m_failed || !m_open) {
        error = m_open ? m_error : CString("GSF file is not open");
        return Result::Error;
    }
    m_record = nullptr;
    m_recordId = 0;
    if (m_offset == m_size) return Result::End;
    const uint64_t left = m_size - m_offset;
    CString what;
    if (left < kFramingSize) {
        what.Format("truncated record: %llu bytes left, fewer than its 8-byte framing", U(left));
        Fail(error, m_offset, what);
        return Result::Error;
    }
    unsigned char framing[kFramingSize];
    if (m_memory) std::memcpy(framing, m_memory + m_offset, kFramingSize);
    else if (!Fetch(framing, kFramingSize)) {
        Fail(error, m_offset, "read error");
        return Result::Error;
    }
    const uint32_t size = LoadBE<uint32_t>(framing);
    const uint32_t ident = LoadBE<uint32_t>(framing + 4);
    const bool checksum = (ident & kChecksumFlag) != 0;
    const size_t head = kFramingSize + (checksum ? kChecksumSize : 0);
    if (head > left || size > left - head) {
        what.Format("record size %u runs past the end of the file (%llu bytes left)", size,
                    U(left > head ? left - head : 0));
        Fail(error, m_offset, what);
        return Result::Error;
    }
    const size_t total = head + size;
    if (m_memory) {
        m_record = m_memory + m_offset;
    } else {
        try {
            if (m_buffer.size() < total) m_buffer.resize(total);
        } catch (const std::bad_alloc&) {
            Fail(error, m_offset, "out of memory for the record");
            return Result::Error;
        }
        std::memcpy(m_buffer.data(), framing, kFramingSize);
        if (!Fetch(m_buffer.data() + kFramingSize, total - kFramingSize)) {
            Fail(error, m_offset, "read error");
            return Result::Error;
        }
        m_record = m_buffer.data();
    }
    m_recordId = ident & kRecordIdMask;
    m_recordIndex = m_nextIndex;
    m_recordOffset = m_offset;
    m_recordSize = total;
    m_hasChecksum = checksum;
    const unsigned char* data = m_record + head;

    if (checksum) {
        uint32_t sum = 0;
        for (size_t i = 0; i < size; ++i) sum += data[i];
        const uint32_t stored = LoadBE<uint32_t>(m_record + kFramingSize);
        if (sum != stored) {
            what.Format("checksum %08X does not match the data (sum %08X)", stored, sum);
            Fail(error, m_offset + kFramingSize, what);
            return Result::Error;
        }
    }
    if (m_nextIndex == 0) {
        if (m_recordId != kRecordHeader) {
            Fail(error, m_offset, "not a GSF file: the first record is not a header record");
            return Result::Error;
        }
        if (!ReadHeaderRecord(data, size, error)) return Result::Error;
    } else if (m_recordId == kRecordPing) {
        size_t at = 0;
        if (!m_decoder->Decode(data, size, m_ping, what, at)) {
            Fail(error, m_offset + head + at, what);
            return Result::Error;
        }
        m_ping.beamFlagsAt += head;
        ++m_pings;
    } else if (m_recordId == kRecordSummary && !ReadSummary(data, size, error)) {
        return Result::Error;
    }
    ++m_counts[m_recordId];
    m_offset += total;
    ++m_nextIndex;
    return Result::Record;
}

bool GsfReader::ReadHeaderRecord(const unsigned char* data, size_t size, CString& error)
{
    char text[32] = {};
    std::memcpy(text, data, size < sizeof text - 1 ? size : sizeof text - 1);
    int major = 0, minor = 0;
    if (std::strncmp(text, "GSF-v", 5) != 0 || std::sscanf(text + 5, "%d.%d", &major, &minor) != 2)
        return Fail(error, m_offset, "not a GSF file: the header record holds no \"GSF-vMM.mm\" version");
    if (major != 2 && major != 3) {
        CString what;
        what.Format("GSF version %d.%02d is not supported (2.x and 3.x are)", major, minor);
        return Fail(error, m_offset, what);
    }
    m_major = major;
    m_minor = minor;
    m_decoder = std::make_unique<GsfPingDecoder>(major, m_maxBeams);
    return true;
}

bool GsfReader::ReadSummary(const unsigned char* data, size_t size, CString& error)
{
    if (size < kSummarySize) {
        CString what;
        what.Format("summary record of %zu bytes is shorter than 40", size);
        return Fail(error, m_offset, what);
    }
    ByteReader r(data, size);
    GsfSummary s;
    int32_t v[6] = {};
    r.ReadBE(s.startSeconds), r.ReadBE(s.startNanoseconds), r.ReadBE(s.endSeconds), r.ReadBE(s.endNanoseconds);
    for (int32_t& x : v) r.ReadBE(x);
    // Latitude before longitude here, unlike the ping header.
    s.minLatitude = v[0] * 1e-7;
    s.minLongitude = v[1] * 1e-7;
    s.maxLatitude = v[2] * 1e-7;
    s.maxLongitude = v[3] * 1e-7;
    s.minDepth = v[4] * 0.01;
    s.maxDepth = v[5] * 0.01;
    m_summary = s;
    return true;
}

} // namespace kvs
