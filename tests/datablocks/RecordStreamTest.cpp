#include "datablocks/TestBlocks.h"

#include <KvsDataBlocks/datablocks/ByteLayout.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

using Result = kvs::RecordStreamReader::Result;

using Bytes = std::vector<unsigned char>;

static std::string TempPath(const char* name) { return std::string(::testing::TempDir()) + "/" + name + "_" + std::to_string(getpid()); }

// A stream file of count blocks (time i, value 10 i), returned as bytes and left at path.
static Bytes StreamOf(int count, const std::string& path = TempPath("stream"))
{
    kvs::RecordStreamWriter w;
    CString error;
    EXPECT_TRUE(w.Open(path.c_str(), error)) << error;
    for (int i = 0; i < count; ++i) {
        CDataBlock b = kvs_test::Block({{103, 8, 4, 201}, {101, 4, 0, 0}}, 1010);
        b.SetTime(i);
        EXPECT_TRUE(b.SetDataValue(1, i * 10, 0, CDataBlock::kById) && w.Write(b, error)) << error;
    }
    EXPECT_TRUE(w.Close(error));
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// What the reader delivers from the bytes: "R" a record, "E" the end, else the error text.
static std::vector<std::string> Read(const Bytes& bytes, int calls)
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

TEST(RecordStream, HeaderNamesTheFormatAndAFileRoundTripKeepsOrderAndValues)
{
    const std::string path = TempPath("file");
    const Bytes bytes = StreamOf(5, path);
    // Blocks of 2 elements and 12 data bytes: wide records of 34 + 28 + 12 bytes.
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "KVSBLKS1");
    EXPECT_EQ(std::tuple(kvs::LoadLE<uint16_t>(bytes.data() + 8), bytes.size(), kvs::LoadLE<uint32_t>(bytes.data() + 16)),
              std::tuple(1, kvs::kRecordStreamHeaderSize + 5 * 74, 74u));
    kvs::RecordStreamReader r;
    CString error;
    ASSERT_TRUE(r.Open(path.c_str(), error)) << error;
    ASSERT_EQ(r.Size(), bytes.size());
    CDataBlock b;
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(r.Next(b, error), Result::Record) << error;
        EXPECT_EQ(std::tuple(kvs_test::WithStatus<int>(b, 1, CDataBlock::kById), b.GetTime(), b.GetDataId().GetGroupId()),
                  std::tuple(std::tuple(i * 10, 0), double(i), 1010));
    }
    EXPECT_EQ((std::tuple{r.Next(b, error), r.RecordsRead()}), std::tuple(Result::End, 5u));
    std::remove(path.c_str());
}

TEST(RecordStream, BadRecordsAreReportedWithTheirOffsetAfterTheGoodOnesAndABadHeaderOrMissingFileAtOnce)
{
    using Texts = std::vector<std::string>;
    Bytes cut = StreamOf(3);
    cut.resize(cut.size() - 5);
    EXPECT_EQ(Read(cut, 4), (Texts{"R", "R", "truncated record at offset 164: size 74 but only 69 bytes remain",
                                   "stream stopped at the bad record at offset 164"}));
    Bytes bytes = StreamOf(2);
    kvs::StoreLE<uint32_t>(bytes.data() + 16 + 74, 0xFFFFFFF0u); // larger than the file
    const Texts large = Read(bytes, 2);
    kvs::StoreLE<uint32_t>(bytes.data() + 16 + 74, 10u); // smaller than any record
    const Texts small = Read(bytes, 2);
    Bytes longer = StreamOf(1);
    longer.push_back(0); // one byte beyond the content the record holds
    kvs::StoreLE<uint32_t>(longer.data() + 16, 75u);
    EXPECT_EQ(Texts({large[0], large[1], small[1], Read(longer, 1)[0]}), Texts({"R", "truncated record at offset 90: size 4294967280 but only 74 bytes remain",
                     "corrupt record at offset 90: size 10", "corrupt record at offset 16: its content does not match its size 75"}));
    // A bad header and a missing file.
    const unsigned char junk[16] = {'N', 'O', 'T'};
    kvs::RecordStreamReader r;
    CString errors[4];
    EXPECT_EQ(std::tuple(r.OpenMemory(junk, sizeof junk, errors[0]), r.OpenMemory(junk, 3, errors[1]),
                         r.Open("/nonexistent/dir/file.kvs", errors[2]), kvs::RecordStreamWriter().Open("/nonexistent/dir/out.kvs", errors[3])),
              std::tuple(false, false, false, false));
    EXPECT_EQ(std::vector<std::string>(errors, errors + 4), (std::vector<std::string>{"not a record stream (bad header at offset 0)", "not a record stream (bad header at offset 0)",
                                        "cannot open /nonexistent/dir/file.kvs: No such file or directory",
                                        "cannot create /nonexistent/dir/out.kvs: No such file or directory"}));
}
