// The record stream file: data blocks stored back to back as packed records of the wide
// form, behind a 16-byte header:
//   offset 0  8 bytes  "KVSBLKS1" (format name and version)
//   offset 8  2 bytes  record form, little-endian: 1 = wide (the only form written)
//   offset 10 6 bytes  zero
// Each record's own 32-bit total-size field delimits it. RecordStreamWriter appends blocks;
// RecordStreamReader reads them one by one and names the byte offset of a truncated or
// corrupt record, after which it stops (the records before it were delivered).
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/platform/CString.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

class CDataBlock;

namespace kvs {

inline constexpr char kRecordStreamMagic[8] = {'K', 'V', 'S', 'B', 'L', 'K', 'S', '1'};
inline constexpr size_t kRecordStreamHeaderSize = 16;
inline constexpr uint16_t kRecordStreamWideForm = 1;

class KVS_API RecordStreamWriter
{
public:
    RecordStreamWriter() = default;
    ~RecordStreamWriter();
    RecordStreamWriter(const RecordStreamWriter&) = delete;
    RecordStreamWriter& operator=(const RecordStreamWriter&) = delete;

    // Creates (truncates) the file and writes the header; "-" means standard output.
    bool Open(const CString& path, CString& error);
    // Writes the header to a stream the caller owns, for instance a new file that the
    // caller puts in place when the stream is complete; Close flushes it and leaves it open.
    bool Open(std::FILE* file, CString& error);
    // Packs the block into the wide record form and appends it.
    bool Write(const CDataBlock& block, CString& error);
    // Flushes and closes; false when the data could not all be written.
    bool Close(CString& error);
    uint64_t RecordsWritten() const { return m_records; }

private:
    bool WriteHeader();

    std::FILE* m_file = nullptr;
    bool m_ownsFile = false;
    std::vector<unsigned char> m_buffer;
    uint64_t m_records = 0;
};

class KVS_API RecordStreamReader
{
public:
    enum class Result { Record, End, Error };

    RecordStreamReader() = default;
    ~RecordStreamReader();
    RecordStreamReader(const RecordStreamReader&) = delete;
    RecordStreamReader& operator=(const RecordStreamReader&) = delete;

    // Opens the file and checks its header; "-" means standard input.
    bool Open(const CString& path, CString& error);
    // Reads from a memory image of a whole stream (header included); the bytes must
    // outlive the reader.
    bool OpenMemory(const unsigned char* data, size_t size, CString& error);

    // Reads the next record into block. Error names the offset of the bad record in
    // error; End at a clean end of file.
    Result Next(CDataBlock& block, CString& error);

    // Byte offset of the record that Next reads next (or failed on).
    uint64_t Offset() const { return m_offset; }
    uint64_t RecordsRead() const { return m_records; }
    // Total size of the input when known (files and memory images), else 0.
    uint64_t Size() const { return m_size; }

private:
    bool ReadExact(unsigned char* out, size_t count, size_t& got);
    bool CheckHeader(const unsigned char* header, size_t got, CString& error);

    std::FILE* m_file = nullptr;
    bool m_ownsFile = false;
    const unsigned char* m_memory = nullptr;
    size_t m_memorySize = 0;
    size_t m_memoryPos = 0;
    std::vector<unsigned char> m_buffer;
    uint64_t m_offset = 0;
    uint64_t m_records = 0;
    uint64_t m_size = 0;
    bool m_failed = false;
};

} // namespace kvs
