#include <KvsDataBlocks/formats/FileFormat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using kvs::DetectFileFormat;
using kvs::FileFormat;

namespace {

using Bytes = std::vector<unsigned char>;

void PutLE32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

void PutBE32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

// A .all datagram of a 16-byte common header and no body, in either byte order.
Bytes AllDatagram(bool bigEndian, uint32_t date = 20140213, unsigned char etx = 0x03)
{
    Bytes b(24, 0);
    auto put = bigEndian ? PutBE32 : PutLE32;
    put(b, 0, 20);
    b[4] = 0x02;
    b[5] = 'I';
    put(b, 8, date);
    put(b, 12, 19656000);
    b[21] = etx;
    return b;
}

Bytes KmallDatagram(uint32_t trailing = 28)
{
    Bytes b(28, 0);
    PutLE32(b, 0, 28);
    b[4] = '#', b[5] = 'I', b[6] = 'I', b[7] = 'P';
    PutLE32(b, 24, trailing);
    return b;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes GsfHeader(bool checksum)
{
    Bytes b(checksum ? 24 : 20, 0);
    PutBE32(b, 0, 12);
    PutBE32(b, 4, checksum ? 0x80000001u : 1u);
    const std::string v = "GSF-v03.09";
    std::copy(v.begin(), v.end(), b.begin() + (checksum ? 12 : 8));
    return b;
}

} // namespace

TEST(FileFormat, FirstBytesNameTheFormat)
{
    Bytes stream = Text("KVSBLKS1");
    stream.resize(32, 0);
    Bytes binary = {0x00, 0x01, 0xFF, 0x7F, 0x10};
    struct Case { const char* what; Bytes bytes; FileFormat expected; };
    const Case cases[] = {
        {"record stream", stream, FileFormat::RecordStream},
        {"GSF", GsfHeader(false), FileFormat::Gsf},
        {"GSF with checksums", GsfHeader(true), FileFormat::Gsf},
        {".all little-endian", AllDatagram(false), FileFormat::KongsbergAll},
        {".all big-endian", AllDatagram(true), FileFormat::KongsbergAll},
        {".all with a month 13", AllDatagram(false, 20141313), FileFormat::Unknown},
        {".all without its ETX", AllDatagram(false, 20140213, 0x00), FileFormat::Unknown},
        {".kmall", KmallDatagram(), FileFormat::KongsbergKmall},
        {".kmall whose trailing length differs", KmallDatagram(27), FileFormat::Unknown},
        {"text", Text("# tide\n2014-02-13 05:27 0.43\r\n"), FileFormat::Text},
        {"binary", binary, FileFormat::Unknown},
        {"empty", Bytes{}, FileFormat::Empty},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DetectFileFormat(c.bytes.data(), c.bytes.size()), c.expected);
    }
}

TEST(FileFormat, ATruncatedFirstDatagramIsJudgedByItsHeader)
{
    const Bytes all = AllDatagram(false);
    EXPECT_EQ(DetectFileFormat(all.data(), 20), FileFormat::KongsbergAll);
    const Bytes kmall = KmallDatagram();
    EXPECT_EQ(DetectFileFormat(kmall.data(), 8), FileFormat::KongsbergKmall);
}

TEST(FileFormat, RealFilesAreRecognisedWhateverTheirNames)
{
    const std::string shared = KVS_SOURCE_DIR "/../shared/data/";
    if (!std::filesystem::exists(shared + "kongsberg") || !std::filesystem::exists(shared + "gsf"))
        GTEST_SKIP() << "no sample files in " << shared << "kongsberg and gsf";
    int seen = 0;
    for (const char* folder : {"kongsberg", "gsf"}) {
        for (const auto& entry : std::filesystem::directory_iterator(shared + folder)) {
            if (!entry.is_regular_file()) continue;
            const std::string name = entry.path().filename().string();
            const std::string ext = entry.path().extension().string();
            const FileFormat expected = ext == ".all" ? FileFormat::KongsbergAll
                                        : ext == ".kmall" ? FileFormat::KongsbergKmall
                                        : ext == ".md" ? FileFormat::Text
                                                       : FileFormat::Gsf;
            EXPECT_EQ(DetectFileFormat(entry.path().c_str()), expected) << name;
            ++seen;
        }
    }
    EXPECT_GE(seen, 12);
    EXPECT_EQ(DetectFileFormat((shared + "no such file").c_str()), FileFormat::Unknown);
}

TEST(FileFormat, EveryFormatHasAName)
{
    EXPECT_STREQ(kvs::FileFormatName(FileFormat::KongsbergAll), "Kongsberg .all");
    EXPECT_STREQ(kvs::FileFormatName(FileFormat::Text), "text");
    EXPECT_STREQ(kvs::FileFormatName(static_cast<FileFormat>(99)), "unknown format");
}
