#include <KvsDataBlocks/formats/FileFormat.h>

#include <KvsDataBlocks/datablocks/ByteLayout.h>

#include <array>
#include <cstdio>
#include <cstring>

namespace kvs {

namespace {

constexpr char kStreamMagic[] = "KVSBLKS1";
constexpr uint32_t kGsfRecordIdMask = 0x003FFFFFu;
constexpr uint32_t kGsfChecksumFlag = 0x80000000u;
constexpr uint32_t kGsfHeaderRecord = 1;
constexpr unsigned char kAllStx = 0x02;
constexpr unsigned char kAllEtx = 0x03;
constexpr uint32_t kAllMinLength = 16;  // STX through checksum of a datagram without a body
constexpr uint32_t kKmallMinLength = 24; // header and trailing length

struct FormatName
{
    FileFormat format;
    const char* name;
};

constexpr std::array<FormatName, 7> kNames = {{
    {FileFormat::Unknown, "unknown format"},
    {FileFormat::Empty, "empty file"},
    {FileFormat::RecordStream, "KvsDataBlocks record stream"},
    {FileFormat::Gsf, "GSF"},
    {FileFormat::KongsbergAll, "Kongsberg .all"},
    {FileFormat::KongsbergKmall, "Kongsberg .kmall"},
    {FileFormat::Text, "text"},
}};

template <typename T>
T Load(const unsigned char* p, bool bigEndian)
{
    return bigEndian ? LoadBE<T>(p) : LoadLE<T>(p);
}

bool PlausibleDate(uint32_t yyyymmdd)
{
    const uint32_t year = yyyymmdd / 10000, month = yyyymmdd / 100 % 100, day = yyyymmdd % 100;
    return year >= 1980 && year <= 2200 && month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

// The first datagram of a .all file read in one byte order: length, STX, a type that is
// a letter or digit, a yyyymmdd date, a time of day in ms, and ETX where the probe
// reaches it.
bool LooksLikeAll(const unsigned char* data, size_t size, bool bigEndian)
{
    if (size < 20) return false;
    const uint32_t length = Load<uint32_t>(data, bigEndian);
    if (length < kAllMinLength || data[4] != kAllStx) return false;
    const unsigned char type = data[5];
    const bool typeOk = (type >= '0' && type <= '9') || (type >= 'A' && type <= 'Z') || (type >= 'a' && type <= 'z');
    if (!typeOk || !PlausibleDate(Load<uint32_t>(data + 8, bigEndian)) || Load<uint32_t>(data + 12, bigEndian) >= 86400000u)
        return false;
    const uint64_t etx = 4ull + length - 3;
    return etx >= size || data[etx] == kAllEtx;
}

// The first datagram of a .kmall file: its length, "#" and three capitals, and the
// trailing copy of the length where the probe reaches it.
bool LooksLikeKmall(const unsigned char* data, size_t size)
{
    if (size < 8) return false;
    const uint32_t length = LoadLE<uint32_t>(data);
    if (length < kKmallMinLength || data[4] != '#') return false;
    for (int i = 5; i < 8; ++i)
        if (data[i] < 'A' || data[i] > 'Z') return false;
    return length > size || LoadLE<uint32_t>(data + length - 4) == length;
}

bool LooksLikeGsf(const unsigned char* data, size_t size)
{
    if (size < 13) return false;
    const uint32_t ident = LoadBE<uint32_t>(data + 4);
    if ((ident & kGsfRecordIdMask) != kGsfHeaderRecord) return false;
    const size_t text = (ident & kGsfChecksumFlag) ? 12 : 8;
    return size >= text + 5 && std::memcmp(data + text, "GSF-v", 5) == 0;
}

bool LooksLikeText(const unsigned char* data, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        const unsigned char c = data[i];
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') return false;
        if (c == 0x7F) return false;
    }
    return true;
}

} // namespace

FileFormat DetectFileFormat(const unsigned char* data, std::size_t size)
{
    if (!data || size == 0) return FileFormat::Empty;
    if (size > kFileFormatProbeSize) size = kFileFormatProbeSize;
    if (size >= 8 && std::memcmp(data, kStreamMagic, 8) == 0) return FileFormat::RecordStream;
    if (LooksLikeGsf(data, size)) return FileFormat::Gsf;
    if (LooksLikeKmall(data, size)) return FileFormat::KongsbergKmall;
    if (LooksLikeAll(data, size, false) || LooksLikeAll(data, size, true)) return FileFormat::KongsbergAll;
    if (LooksLikeText(data, size)) return FileFormat::Text;
    return FileFormat::Unknown;
}

FileFormat DetectFileFormat(const char* path)
{
    std::FILE* f = path ? std::fopen(path, "rb") : nullptr;
    if (!f) return FileFormat::Unknown;
    std::array<unsigned char, kFileFormatProbeSize> probe{};
    const size_t got = std::fread(probe.data(), 1, probe.size(), f);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    return failed ? FileFormat::Unknown : DetectFileFormat(probe.data(), got);
}

const char* FileFormatName(FileFormat format)
{
    for (const FormatName& n : kNames)
        if (n.format == format) return n.name;
    return "unknown format";
}

} // namespace kvs
