#include "datablocks/TestBlocks.h"

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

using Result = kvs::RecordStreamReader::Result;

namespace {

using Bytes = std::vector<unsigned char>;

std::string TempPath(const char* name)
{
    return std::string(::testing::TempDir()) + "/" + name + "_" + std::to_string(getpid());
}

// A stream file of count blocks (time i, value 10 i), returned as bytes and left at path.
Bytes StreamOf(int count, const std::string& path = TempPath("stream"))
{
    kvs::RecordStreamWriter w;
    CString error;
    EXPECT_TRUE(w.Open(path.c_str(), error)) << error;
    for (int i = 0; i < count; ++i) {
        CDataBlock b = kvs_test::Block({{103, 8, 4, 201}, {101, 4, 0, 0}}, 1010);
        b.SetTime(i);
        EXPECT_TRUE(b.SetDataValue(1, i * 10, 0, CDataBlock::kById));
        EXPECT_TRUE(w.Write(b, error));
    }
    EXPECT_TRUE(w.Close(error));
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// What the reader delivers from the bytes: "R" a record, "E" the end, else the error text.
std::vector<std::string> Read(const Bytes& bytes, int calls)
{
    kvs::RecordStreamReader r;
    CString error;
    EXPECT_TRUE(r.OpenMemory(bytes.data(), bytes.size(), error)) << error;
    std::vector<std::string> out;
    CDataBlock b;
    for (int i = 0; i < calls; ++i) {
        const Result result = r.Next(b, error);
        out.push_back(result == Result::Record ? "R" : result == Result::End ? "E" : std::string(error));
    }
    return out;
}

} // namespace

TEST(RecordStream, HeaderNamesTheFormatAndAFileRoundTripKeepsOrderAndValues)
{
    const std::string path = TempPath("file");
    const Bytes bytes = StreamOf(5, path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "KVSBLKS1");
    EXPECT_EQ(kvs::LoadLE<uint16_t>(bytes.data() + 8), 1);
    // Blocks of 2 elements and 12 data bytes: wide records of 34 + 28 + 12 bytes.
    EXPECT_EQ(bytes.size(), kvs::kRecordStreamHeaderSize + 5 * 74);
    EXPECT_EQ(kvs::LoadLE<uint32_t>(bytes.data() + 16), 74u);
    kvs::RecordStreamReader r;
    CString error;
    ASSERT_TRUE(r.Open(path.c_str(), error)) << error;
    EXPECT_EQ(r.Size(), bytes.size());
    CDataBlock b;
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(r.Next(b, error), Result::Record) << error;
        unsigned short status = 99;
        EXPECT_EQ(kvs_test::Get<int>(b, 1, CDataBlock::kById, &status), i * 10);
        EXPECT_EQ(std::vector<double>({b.GetTime(), double(status), double(b.GetDataId().GetGroupId())}),
                  std::vector<double>({double(i), 0, 1010}));
    }
    EXPECT_EQ(r.Next(b, error), Result::End);
    EXPECT_EQ(r.RecordsRead(), 5u);
    std::remove(path.c_str());
}

TEST(RecordStream, BadRecordsAreReportedWithTheirOffsetAfterTheGoodOnes)
{
    Bytes cut = StreamOf(3);
    cut.resize(cut.size() - 5);
    const std::vector<std::string> truncated = Read(cut, 4);
    EXPECT_EQ(truncated[1], "R");
    EXPECT_NE(truncated[2].find("offset 164"), std::string::npos) << truncated[2];
    EXPECT_NE(truncated[3].find("offset 164"), std::string::npos) << truncated[3]; // stopped at the fault

    Bytes bytes = StreamOf(2);
    kvs::StoreLE<uint32_t>(bytes.data() + 16 + 74, 0xFFFFFFF0u); // larger than the file
    const std::vector<std::string> large = Read(bytes, 2);
    EXPECT_EQ(large[0], "R");
    EXPECT_NE(large[1].find("truncated record at offset 90"), std::string::npos) << large[1];
    kvs::StoreLE<uint32_t>(bytes.data() + 16 + 74, 10u); // smaller than any record
    const std::string small = Read(bytes, 2)[1];
    EXPECT_TRUE(small != "R" && small != "E");

    Bytes longer = StreamOf(1);
    longer.push_back(0); // one byte beyond the content the record holds
    kvs::StoreLE<uint32_t>(longer.data() + 16, 75u);
    const std::string error = Read(longer, 1)[0];
    EXPECT_NE(error.find("offset 16"), std::string::npos) << error;
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
    EXPECT_FALSE(kvs::RecordStreamWriter().Open("/nonexistent/dir/out.kvs", error));
}
