#include "datablocks/TestBlocks.h"

#include <KvsDataBlocks/datablocks/DefinitionBuild.h>
#include <KvsDataBlocks/datablocks/BaseDataSource.h>
#include <KvsDataBlocks/config/DataDefinition.h>

#include <string>
#include <vector>

namespace {

class DefinitionBuild : public ::testing::Test
{
protected:
    void TearDown() override { DataDefinition::GetDataDefinition().UseDefault(); }
};

// A source that adds nothing but marks its last addition.
class ProbeSource : public BaseDataSource
{
public:
    void MarkAdded(double time) { m_dLastAddTime = time; m_bHasData = true; }
};

// Records the layout calls a data source receives.
class RecordingSource : public BaseDataSource
{
public:
    bool Allocate(long length) override { return Call("Allocate", {int(length)}); }
    bool DataBlockSetup(unsigned short count, const CDataId& id) override { return Call("Setup", {count, id.GetGroupId()}); }
    bool InitDataElement(int index, unsigned short id, unsigned short type, unsigned short length,
                         unsigned short format, unsigned short useAs) override
    {
        return Call("Element", {index, id, type, length, format, useAs});
    }
    bool DataBlockInit() override { return !Call("Init"); } // the builder ignores this result
    bool Call(const char* name, std::vector<int> values = {})
    {
        calls.push_back(name);
        for (int v : values) calls.back() += " " + std::to_string(v);
        return true;
    }
    std::vector<std::string> calls;
};

// Type, length, format and use-as of every element, each element's id its position.
std::vector<std::vector<unsigned int>> Elements(const CDataBlock& block)
{
    std::vector<std::vector<unsigned int>> out;
    for (unsigned short i = 0; i < block.GetLength(); ++i) {
        const CKvsBytePtr& e = *kvs_test::At(block, i);
        EXPECT_EQ(std::tuple(e.GetId(), e.GetStatus(), e.GetGroupId()), std::tuple(i, 40, block.GetDataId().GetGroupId())) << i;
        out.push_back({e.GetType(), e.GetLength(), e.GetFormat(), e.GetUseAs()});
    }
    return out;
}

} // namespace

TEST_F(DefinitionBuild, BlocksFromTheBuiltInAndAFileDefinition)
{
    CDataBlock block;
    const CDataId id(1, 1020, 1, 1);
    ASSERT_TRUE(BuildDataBlockFromDefinition(id, block));
    EXPECT_EQ(std::tuple(block.GetDataId(), block.GetStatusAndFlags()), std::tuple(id, 40));
    EXPECT_EQ(Elements(block), (std::vector<std::vector<unsigned int>>{
                                   {103, 8, 2, 220}, {501, 16, 0, 221}, {103, 8, 1, 505}, {103, 8, 1, 506}}));
    // An unknown group leaves the block untouched.
    EXPECT_EQ((std::tuple{BuildDataBlockFromDefinition(CDataId(1, 4444, 1, 1), block), block.GetDataId(), block.GetLength()}),
              std::tuple(false, id, 4u));

    CString error;
    ASSERT_TRUE(DataDefinition::GetDataDefinition().LoadFile(KVS_TEST_DATA_DIR "/format_definition.json", error))
        << error.GetString();
    ASSERT_TRUE(BuildDataBlockFromDefinition(CDataId(2, 7, 3, 4), block));
    EXPECT_EQ(Elements(block), (std::vector<std::vector<unsigned int>>{
                                   {ET_INT, 4, 30, 120}, {ET_DOUBLE, 8, 44, 201}, {ET_BOOL, 1, 0, 121},
                                   {ET_INT_ARRAY, 12, 30, 122}}));
    const unsigned char* first = kvs_test::DataOf(block, 0);
    EXPECT_EQ(std::vector<unsigned char>(first, first + 4), std::vector<unsigned char>(4, 0)); // zeroed
}

TEST_F(DefinitionBuild, DataSourceIsLaidOutThroughItsInterfaceInOrder)
{
    RecordingSource tide, singleBeam, unknown;
    EXPECT_TRUE(BuildDataBlockBufferFromDefinition(CDataId(1, 1020, 1, 1), &tide));
    EXPECT_EQ(tide.calls, (std::vector<std::string>{"Allocate 10", "Setup 4 1020", "Element 0 0 103 8 2 220",
                                                    "Element 1 1 501 16 0 221", "Element 2 2 103 8 1 505",
                                                    "Element 3 3 103 8 1 506", "Init"}));
    // the group's buffer length; an unknown group; no source
    EXPECT_EQ((std::tuple{BuildDataBlockBufferFromDefinition(CDataId(1, 1010, 1, 1), &singleBeam), singleBeam.calls.front(),
                          BuildDataBlockBufferFromDefinition(CDataId(1, 4444, 1, 1), &unknown), unknown.calls,
                          BuildDataBlockBufferFromDefinition(CDataId(1, 1020, 1, 1), nullptr)}),
              std::tuple(true, "Allocate 50", true, std::vector<std::string>{"Allocate 10", "Setup 0 4444", "Init"}, false));
}

TEST(BaseDataSource, DefaultsProvideNothingButAllocateAndLastAddTimeAreKept)
{
    ProbeSource source;
    CDataId id(1, 1020, 1, 1);
    double time = -1.0, a = 0, b = 0, c = 0, d = 0;
    unsigned short status = 7;
    const bool provided[] = {source.Init(), source.DataBlockSetup(3, id), source.InitDataElement(0, 0, 103, 8, 1, 0),
                             source.DataBlockInit(), source.Interpolate(1.0, 0, CDataBlock::kByPosition, a, status),
                             source.InterpolateHeading(1.0, 0, CDataBlock::kByPosition, 0, 360, a, status),
                             source.GetInterpolAttribs(a), source.GetExtrapolationAttribs(b),
                             source.FindIntervalStartEnd(1.0, 0, CDataBlock::kByPosition, a, b, c, d, status),
                             source.GetDataId(id), source.GetTimeSpan(a, b), source.GetLastAddTime(time),
                             source.GetDataIdPtr() != nullptr, source.GetInternalDataBlock() != nullptr,
                             source.GetNumElements() != 0, source.Allocate(-1)};
    for (bool p : provided) EXPECT_FALSE(p);
    EXPECT_EQ(std::tuple(time, status), std::tuple(0.0, 7));
    EXPECT_EQ((std::tuple{source.Allocate(10), source.GetBufSize()}), std::tuple(true, 10));
    source.MarkAdded(123.5);
    EXPECT_EQ((std::tuple{source.GetLastAddTime(time), time}), std::tuple(true, 123.5));
}
