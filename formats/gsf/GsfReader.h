// GsfReader: walks the records of a Generic Sensor Format file (or a memory image of
// one) in one pass: checks the header record and its version, decodes swath bathymetry
// pings (GsfPingDecoder) and summary records, counts every record by type and hands out
// each record's raw bytes, so a writer can copy the file record by record. A fault (bad
// framing, a size past the end, a ping that cannot be decoded, a checksum mismatch) is
// named with the record index and byte offset; the reader stops there, and everything
// before it has been delivered.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/formats/gsf/GsfPing.h>
#include <KvsDataBlocks/formats/gsf/GsfPingDecoder.h>
#include <KvsDataBlocks/platform/CString.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace kvs {

class KVS_API GsfReader
{
public:
    enum class Result { Record, End, Error };

    // maxBeams: pings with more beams are refused (the multibeam filters hold 4000).
    explicit GsfReader(int maxBeams = 4000);
    ~GsfReader();
    GsfReader(const GsfReader&) = delete;
    GsfReader& operator=(const GsfReader&) = delete;

    bool Open(const CString& path, CString& error);
    // Reads a memory image of a whole file; the bytes must outlive the reader.
    bool OpenMemory(const unsigned char* data, size_t size, CString& error);

    // Reads the next record (the header record first). Error: error says what went wrong
    // where ("record 7 at byte 1234: ..."), and every later call fails the same way.
    Result Next(CString& error);

    // The record Next delivered last.
    uint32_t RecordId() const { return m_recordId; }     // registry and type, bits 21..0
    uint64_t RecordIndex() const { return m_recordIndex; } // 0-based, in file order
    uint64_t RecordOffset() const { return m_recordOffset; }
    // The whole record: framing, checksum word (when present), data and padding.
    const unsigned char* RecordBytes() const { return m_record; }
    size_t RecordSize() const { return m_recordSize; }
    bool RecordHasChecksum() const { return m_hasChecksum; }
    bool IsPing() const;
    // The ping of the last ping record; its values stay until the next ping record.
    const GsfPing& Ping() const { return m_ping; }

    int MajorVersion() const { return m_major; }
    int MinorVersion() const { return m_minor; }
    uint64_t PingsRead() const { return m_pings; }
    // The last summary record read, if any.
    const std::optional<GsfSummary>& Summary() const { return m_summary; }
    // Records read so far, by record id.
    const std::map<uint32_t, uint64_t>& RecordCounts() const { return m_counts; }
    // Bytes of the input, and the offset of the record Next reads next.
    uint64_t Size() const { return m_size; }
    uint64_t Offset() const { return m_offset; }

private:
    bool Start(CString& error);
    bool Fail(CString& error, uint64_t at, const CString& what);
    bool Fetch(unsigned char* out, size_t count);
    bool ReadHeaderRecord(const unsigned char* data, size_t size, CString& error);
    bool ReadSummary(const unsigned char* data, size_t size, CString& error);

    int m_maxBeams;
    std::FILE* m_file = nullptr;
    const unsigned char* m_memory = nullptr;
    uint64_t m_size = 0;
    uint64_t m_offset = 0;
    std::vector<unsigned char> m_buffer;

    uint32_t m_recordId = 0;
    uint64_t m_recordIndex = 0;
    uint64_t m_recordOffset = 0;
    const unsigned char* m_record = nullptr;
    size_t m_recordSize = 0;
    bool m_hasChecksum = false;
    uint64_t m_nextIndex = 0;
    bool m_failed = false;
    CString m_error; // the fault, repeated by every later Next
    bool m_open = false;

    int m_major = 0;
    int m_minor = 0;
    std::unique_ptr<GsfPingDecoder> m_decoder; // made once the version is known
    GsfPing m_ping;
    uint64_t m_pings = 0;
    std::optional<GsfSummary> m_summary;
    std::map<uint32_t, uint64_t> m_counts;
};

} // namespace kvs
