#include <KvsDataBlocks/datablocks/ByteLayout.h>
#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

CDataBlock MakeBlock(double time, int value)
{
    CDataBlock b;
    b.SetDataId(CDataId(1, 1010, 2, 3));
    EXPECT_TRUE(b.Allocate(2));
    EXPECT_TRUE(b.InitDataElement(0, 0, 103, 8, 4, 201));
    EXPECT_TRUE(b.InitDataElement(1, 1, 101, 4, 0, 0));
    EXPECT_TRUE(b.Init());
    b.SetTime(time);
    EXPECT_TRUE(b.SetDataValue(201, time * 2.0, 0, CDataBlock::kByUseAs));
    EXPECT_TRUE(b.SetDataValue(1, value, 0, CDataBlock::kById));
    return b;
}

std::string TempPath(const char* name)
{
    return std::string(::testing::TempDir()) + "/" + name + "_" + std::to_string(getpid());
}

std::vector<unsigned char> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

std::vector<unsigned char> StreamOf(int count)
{
    const std::string path = TempPath("stream");
    kvs::RecordStreamWriter w;
    CString error;
    EXPECT_TRUE(w.Open(path.c_str(), error)) << error;
    for (int i = 0; i < count; ++i) EXPECT_TRUE(w.Write(MakeBlock(i, i * 10), error));
    EXPECT_TRUE(w.Close(error));
    std::vector<unsigned char> bytes = ReadAll(path);
    std::remove(path.c_str());
    return bytes;
}

} // namespace

TEST(RecordStream, HeaderNamesTheFormatAndTheWideForm)
{
    const std::vector<unsigned char> bytes = StreamOf(1);
    ASSERT_GE(bytes.size(), kvs::kRecordStreamHeaderSize);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "KVSBLKS1");
    EXPECT_EQ(kvs::LoadLE<uint16_t>(bytes.data() + 8), 1);
    // One block of 2 elements and 12 data bytes: a wide record of 34 + 28 + 12 bytes.
    EXPECT_EQ(bytes.size(), kvs::kRecordStreamHeaderSize + 74);
    EXPECT_EQ(kvs::LoadLE<uint32_t>(bytes.data() + 16), 74u);
}

TEST(RecordStream, RoundTripKeepsOrderAndValues)
{
    const std::vector<unsigned char> bytes = StreamOf(5);
    kvs::RecordStreamReader r;
    CString error;
    ASSERT_TRUE(r.OpenMemory(bytes.data(), bytes.size(), error)) << error;
    CDataBlock b;
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(r.Next(b, error), kvs::RecordStreamReader::Result::Record) << error;
        EXPECT_EQ(b.GetTime(), i);
        int v = 0;
        unsigned short status = 99;
        EXPECT_TRUE(b.GetDataValue(1, v, status, CDataBlock::kById));
        EXPECT_EQ(v, i * 10);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(b.GetDataId().GetGroupId(), 1010);
    }
    EXPECT_EQ(r.Next(b, error), kvs::RecordStreamReader::Result::End);
    EXPECT_EQ(r.RecordsRead(), 5u);
}

TEST(RecordStream, TruncatedRecordIsReportedWithItsOffsetAfterTheGoodOnes)
{
    std::vector<unsigned char> bytes = StreamOf(3);
    bytes.resize(bytes.size() - 5);
    kvs::RecordStreamReader r;
    CString error;
    ASSERT_TRUE(r.OpenMemory(bytes.data(), bytes.size(), error));
    CDataBlock b;
    EXPECT_EQ(r.Next(b, error), kvs::RecordStreamReader::Result::Record);
    EXPECT_EQ(r.Next(b, error), kvs::RecordStreamReader::Result::Record);
    EXPECT_EQ(r.Next(b, error), kvs::RecordStreamReader::Result::Error);
    EXPECT_NE(std::string(error).find("offset 164"), std::string::npos) << error;
    EXPECT_EQ(r.Next(b, error), kvs::RecordStreamReader::Result::Error);
}

TEST(RecordStream, CorruptSizeFieldsAreRefused)
{
    std::vector<unsigned char> bytes = StreamOf(2);
    kvs::StoreLE<uint32_t>(bytes.data() + 16 + 74, 0xFFFFFFF0u); // larger than the file
    kvs::RecordStreamReader r;
    CString error;
    ASSERT_TRUE(r.OpenMemory(bytes.data(), bytes.size(), error));
    CDataBlock b;
    EXPECT_EQ(r.Next(b, error), kvs::RecordStreamReader::Result::Record);
    EXPECT_EQ(r.Next(b, error), kvs::RecordStreamReader::Result::Error);
    EXPECT_NE(std::string(error).find("truncated record at offset 90"), std::string::npos) << error;

    kvs::StoreLE<uint32_t>(bytes.data() + 16 + 74, 10u); // smaller than any record
    ASSERT_TRUE(r.OpenMemory(bytes.data(), bytes.size(), error));
    EXPECT_EQ(r.Next(b, error), kvs::RecordStreamReader::Result::Record);
    EXPECT_EQ(r.Next(b, error), kvs::RecordStreamReader::Result::Error);
}

TEST(RecordStream, RecordWhoseContentDisagreesWithItsSizeIsRefused)
{
    std::vector<unsigned char> bytes = StreamOf(1);
    bytes.push_back(0); // one byte beyond the announced content
    kvs::StoreLE<uint32_t>(bytes.data() + 16, 75u);
    kvs::RecordStreamReader r;
    CString error;
    ASSERT_TRUE(r.OpenMemory(bytes.data(), bytes.size(), error));
    CDataBlock b;
    EXPECT_EQ(r.Next(b, error), kvs::RecordStreamReader::Result::Error);
    EXPECT_NE(std::string(error).find("offset 16"), std::string::npos) << error;
}

TEST(RecordStream, BadHeaderAndMissingFile)
{
    const unsigned char junk[16] = {'N', 'O', 'T'};
    kvs::RecordStreamReader r;
    CString error;
    EXPECT_FALSE(r.OpenMemory(junk, sizeof junk, error));
    EXPECT_NE(std::string(error).find("not a record stream"), std::string::npos);
    EXPECT_FALSE(r.OpenMemory(junk, 3, error));
    EXPECT_FALSE(r.Open("/nonexistent/dir/file.kvs", error));
    EXPECT_NE(std::string(error).find("/nonexistent/dir/file.kvs"), std::string::npos);
    kvs::RecordStreamWriter w;
    EXPECT_FALSE(w.Open("/nonexistent/dir/out.kvs", error));
}

TEST(RecordStream, ReadsFromAFile)
{
    const std::vector<unsigned char> bytes = StreamOf(2);
    const std::string path = TempPath("file");
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    kvs::RecordStreamReader r;
    CString error;
    ASSERT_TRUE(r.Open(path.c_str(), error)) << error;
    EXPECT_EQ(r.Size(), bytes.size());
    CDataBlock b;
    EXPECT_EQ(r.Next(b, error), kvs::RecordStreamReader::Result::Record);
    EXPECT_EQ(r.Next(b, error), kvs::RecordStreamReader::Result::Record);
    EXPECT_EQ(r.Next(b, error), kvs::RecordStreamReader::Result::End);
    std::remove(path.c_str());
}
