#include <KvsDataBlocks/datablocks/RecordStream.h>

#include <KvsDataBlocks/datablocks/ByteLayout.h>
#include <KvsDataBlocks/datablocks/CDataBlock.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace kvs {

namespace {

// The smallest wide record: a block without elements.
constexpr uint32_t kMinWideRecord = 34;
// Bound for records of a stream of unknown size (a pipe): no survey block comes near it.
constexpr uint32_t kMaxPipedRecord = 256u << 20;

CString SystemError(const char* what, const CString& path)
{
    CString text;
    text.Format("%s %s: %s", what, static_cast<const char*>(path), std::strerror(errno));
    return text;
}

} // namespace

RecordStreamWriter::~RecordStreamWriter()
{
    CString ignored;
    Close(ignored);
}

bool RecordStreamWriter::Open(const CString& path, CString& error)
{
    CString ignored;
    Close(ignored);
    if (path == "-") {
        m_file = stdout;
        m_ownsFile = false;
    } else {
        m_file = std::fopen(path, "wb");
        m_ownsFile = true;
        if (!m_file) {
            error = SystemError("cannot create", path);
            return false;
        }
    }
    if (!WriteHeader()) {
        error = SystemError("cannot write", path);
        return false;
    }
    return true;
}

bool RecordStreamWriter::Open(std::FILE* file, CString& error)
{
    CString ignored;
    Close(ignored);
    if (!file) {
        error = "no stream to write to";
        return false;
    }
    m_file = file;
    m_ownsFile = false;
    if (!WriteHeader()) {
        error.Format("cannot write the stream header: %s", std::strerror(errno));
        return false;
    }
    return true;
}

bool RecordStreamWriter::WriteHeader()
{
    unsigned char header[kRecordStreamHeaderSize] = {};
    std::memcpy(header, kRecordStreamMagic, sizeof kRecordStreamMagic);
    StoreLE<uint16_t>(header + 8, kRecordStreamWideForm);
    m_records = 0;
    return std::fwrite(header, 1, sizeof header, m_file) == sizeof header;
}

bool RecordStreamWriter::Write(const CDataBlock& block, CString& error)
{
    if (!m_file) {
        error = "stream is not open";
        return false;
    }
    const unsigned int size = block.GetPackSize(true);
    try {
        if (m_buffer.size() < size) m_buffer.resize(size);
    } catch (const std::bad_alloc&) {
        error.Format("out of memory for a record of %u bytes", size);
        return false;
    }
    unsigned char* pos = m_buffer.data();
    unsigned int remaining = size;
    if (!block.Pack(&pos, remaining, true)) {
        error.Format("block %llu cannot be packed", static_cast<unsigned long long>(m_records));
        return false;
    }
    if (std::fwrite(m_buffer.data(), 1, size, m_file) != size) {
        error.Format("write failed after %llu records: %s", static_cast<unsigned long long>(m_records),
                     std::strerror(errno));
        return false;
    }
    ++m_records;
    return true;
}

bool RecordStreamWriter::Close(CString& error)
{
    if (!m_file) return true;
    bool ok = std::fflush(m_file) == 0 && !std::ferror(m_file);
    if (m_ownsFile && std::fclose(m_file) != 0) ok = false;
    m_file = nullptr;
    if (!ok) error.Format("write failed: %s", std::strerror(errno));
    return ok;
}

RecordStreamReader::~RecordStreamReader()
{
    if (m_file && m_ownsFile) std::fclose(m_file);
}

bool RecordStreamReader::CheckHeader(const unsigned char* header, size_t got, CString& error)
{
    if (got < kRecordStreamHeaderSize || std::memcmp(header, kRecordStreamMagic, sizeof kRecordStreamMagic) != 0) {
        error = "not a record stream (bad header at offset 0)";
        return false;
    }
    const uint16_t form = LoadLE<uint16_t>(header + 8);
    if (form != kRecordStreamWideForm) {
        error.Format("unsupported record form %u at offset 8", form);
        return false;
    }
    m_offset = kRecordStreamHeaderSize;
    m_records = 0;
    m_failed = false;
    return true;
}

bool RecordStreamReader::Open(const CString& path, CString& error)
{
    if (m_file && m_ownsFile) std::fclose(m_file);
    m_memory = nullptr;
    m_size = 0;
    if (path == "-") {
        m_file = stdin;
        m_ownsFile = false;
    } else {
        m_file = std::fopen(path, "rb");
        m_ownsFile = true;
        if (!m_file) {
            error = SystemError("cannot open", path);
            return false;
        }
        if (std::fseek(m_file, 0, SEEK_END) == 0) {
            const long end = std::ftell(m_file);
            if (end > 0) m_size = static_cast<uint64_t>(end);
            std::fseek(m_file, 0, SEEK_SET);
        }
    }
    unsigned char header[kRecordStreamHeaderSize];
    size_t got = 0;
    ReadExact(header, sizeof header, got);
    return CheckHeader(header, got, error);
}

bool RecordStreamReader::OpenMemory(const unsigned char* data, size_t size, CString& error)
{
    if (m_file && m_ownsFile) std::fclose(m_file);
    m_file = nullptr;
    m_memory = data;
    m_memorySize = data ? size : 0;
    m_memoryPos = 0;
    m_size = m_memorySize;
    unsigned char header[kRecordStreamHeaderSize];
    size_t got = 0;
    ReadExact(header, sizeof header, got);
    return CheckHeader(header, got, error);
}

bool RecordStreamReader::ReadExact(unsigned char* out, size_t count, size_t& got)
{
    if (m_file) {
        got = std::fread(out, 1, count, m_file);
    } else {
        got = std::min(count, m_memorySize - m_memoryPos);
        if (got) std::memcpy(out, m_memory + m_memoryPos, got);
        m_memoryPos += got;
    }
    return got == count;
}

RecordStreamReader::Result RecordStreamReader::Next(CDataBlock& block, CString& error)
{
    if (m_failed) {
        error.Format("stream stopped at the bad record at offset %llu", static_cast<unsigned long long>(m_offset));
        return Result::Error;
    }
    if (!m_file && !m_memory) {
        error = "stream is not open";
        return Result::Error;
    }
    unsigned char sizeField[4];
    size_t got = 0;
    if (!ReadExact(sizeField, sizeof sizeField, got)) {
        if (got == 0) return Result::End;
        m_failed = true;
        error.Format("truncated record at offset %llu: %zu of 4 size bytes",
                     static_cast<unsigned long long>(m_offset), got);
        return Result::Error;
    }
    const uint32_t total = LoadLE<uint32_t>(sizeField);
    if (m_size && total >= kMinWideRecord && total > m_size - m_offset) {
        m_failed = true;
        error.Format("truncated record at offset %llu: size %u but only %llu bytes remain",
                     static_cast<unsigned long long>(m_offset), total,
                     static_cast<unsigned long long>(m_size - m_offset));
        return Result::Error;
    }
    if (total < kMinWideRecord || (!m_size && total > kMaxPipedRecord)) {
        m_failed = true;
        error.Format("corrupt record at offset %llu: size %u", static_cast<unsigned long long>(m_offset), total);
        return Result::Error;
    }
    try {
        if (m_buffer.size() < total) m_buffer.resize(total);
    } catch (const std::bad_alloc&) {
        m_failed = true;
        error.Format("corrupt record at offset %llu: size %u", static_cast<unsigned long long>(m_offset), total);
        return Result::Error;
    }
    std::memcpy(m_buffer.data(), sizeField, sizeof sizeField);
    if (!ReadExact(m_buffer.data() + 4, total - 4, got)) {
        m_failed = true;
        error.Format("truncated record at offset %llu: %zu of %u bytes", static_cast<unsigned long long>(m_offset),
                     got + 4, total);
        return Result::Error;
    }
    const unsigned char* pos = m_buffer.data();
    unsigned int remaining = total;
    if (!block.UnPack(&pos, remaining, true) || remaining != 0) {
        m_failed = true;
        error.Format("corrupt record at offset %llu: its content does not match its size %u",
                     static_cast<unsigned long long>(m_offset), total);
        return Result::Error;
    }
    m_offset += total;
    ++m_records;
    return Result::Record;
}

} // namespace kvs
