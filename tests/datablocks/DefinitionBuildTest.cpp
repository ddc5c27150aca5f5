#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/DefinitionBuild.h>
#include <KvsDataBlocks/datablocks/BaseDataSource.h>
#include <KvsDataBlocks/config/DataDefinition.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class DefinitionBuild : public ::testing::Test
{
protected:
    void TearDown() override { DataDefinition::GetDataDefinition().UseDefault(); }
};

// Records the layout calls a data source receives.
class RecordingSource : public BaseDataSource
{
public:
    bool Allocate(long length) override
    {
        calls.push_back("Allocate " + std::to_string(length));
        return true;
    }
    bool DataBlockSetup(unsigned short count, const CDataId& id) override
    {
        calls.push_back("Setup " + std::to_string(count) + " " + std::to_string(id.GetGroupId()));
        return true;
    }
    bool InitDataElement(int index, unsigned short id, unsigned short type, unsigned short length,
                         unsigned short format, unsigned short useAs) override
    {
        calls.push_back("Element " + std::to_string(index) + " " + std::to_string(id) + " " + std::to_string(type) +
                        " " + std::to_string(length) + " " + std::to_string(format) + " " + std::to_string(useAs));
        return true;
    }
    bool DataBlockInit() override
    {
        calls.push_back("Init");
        return false; // ignored by the builder
    }
    std::vector<std::string> calls;
};

} // namespace

TEST_F(DefinitionBuild, TideBlockFromTheBuiltInDefinition)
{
    CDataBlock block;
    const CDataId id(1, 1020, 1, 1);
    ASSERT_TRUE(BuildDataBlockFromDefinition(id, block));
    EXPECT_EQ(block.GetDataId(), id);
    EXPECT_EQ(block.GetLength(), 4u);
    EXPECT_EQ(block.GetStatusAndFlags(), 40);
    for (unsigned short i = 0; i < 4; ++i) {
        CKvsBytePtr e;
        ASSERT_TRUE(block.GetDataIdx(i, e));
        EXPECT_EQ(e.GetId(), i);
        EXPECT_EQ(e.GetStatus(), 40);
        EXPECT_EQ(e.GetGroupId(), 1020);
    }
    // Usable the way the tide data source uses it.
    EXPECT_TRUE(block.SetDataValue(0, 1.25, 0, CDataBlock::kByPosition));
    EXPECT_TRUE(block.SetDataValue(1, CString("ST01"), 0, CDataBlock::kByPosition));
    EXPECT_TRUE(block.SetDataValue(505, 100.0, 0, CDataBlock::kByUseAs));
    EXPECT_TRUE(block.SetDataValue(506, 200.0, 0, CDataBlock::kByUseAs));
    double y = 0.0;
    unsigned short status = 1;
    EXPECT_TRUE(block.GetDataValue(506, y, status, CDataBlock::kByUseAs));
    EXPECT_EQ(y, 200.0);
    EXPECT_EQ(status, 0);

    CDataBlock multibeam;
    ASSERT_TRUE(BuildDataBlockFromDefinition(CDataId(1, 1011, 1, 1), multibeam));
    float* z = nullptr;
    int count = 0;
    EXPECT_TRUE(multibeam.GetDataValue(605, z, count, status, CDataBlock::kByUseAs));
    EXPECT_EQ(count, 1600);
}

TEST_F(DefinitionBuild, BlockFromAFileDefinitionFollowsItsItems)
{
    CString error;
    ASSERT_TRUE(DataDefinition::GetDataDefinition().LoadFile(KVS_TEST_DATA_DIR "/format_definition.json", error))
        << error.GetString();
    CDataBlock block;
    ASSERT_TRUE(BuildDataBlockFromDefinition(CDataId(2, 7, 3, 4), block));
    ASSERT_EQ(block.GetLength(), 4u);
    const struct { unsigned short type, length, format, useAs; } expected[] = {
        {ET_INT, 4, 30, 120}, {ET_DOUBLE, 8, 44, 201}, {ET_BOOL, 1, 0, 121}, {ET_INT_ARRAY, 12, 30, 122}};
    for (unsigned short i = 0; i < 4; ++i) {
        CKvsBytePtr e;
        ASSERT_TRUE(block.GetDataIdx(i, e));
        EXPECT_EQ(e.GetId(), i);
        EXPECT_EQ(e.GetType(), expected[i].type);
        EXPECT_EQ(e.GetLength(), expected[i].length);
        EXPECT_EQ(e.GetFormat(), expected[i].format);
        EXPECT_EQ(e.GetUseAs(), expected[i].useAs);
        EXPECT_EQ(e.GetStatus(), 40);
    }
    int v = -1;
    unsigned short status = 0;
    EXPECT_TRUE(block.GetDataValue(0, v, status, CDataBlock::kByPosition));
    EXPECT_EQ(v, 0); // zeroed values
    EXPECT_EQ(status, 40);
}

TEST_F(DefinitionBuild, UnknownGroupLeavesTheBlockUntouched)
{
    CDataBlock block;
    ASSERT_TRUE(BuildDataBlockFromDefinition(CDataId(1, 1020, 1, 1), block));
    block.SetTime(5.0);
    EXPECT_FALSE(BuildDataBlockFromDefinition(CDataId(1, 4444, 1, 1), block));
    EXPECT_EQ(block.GetLength(), 4u);
    EXPECT_EQ(block.GetDataId().GetGroupId(), 1020);
}

TEST_F(DefinitionBuild, DataSourceIsLaidOutThroughItsInterfaceInOrder)
{
    RecordingSource tide;
    EXPECT_TRUE(BuildDataBlockBufferFromDefinition(CDataId(1, 1020, 1, 1), &tide));
    const std::vector<std::string> expected = {
        "Allocate 10", "Setup 4 1020", "Element 0 0 103 8 2 220", "Element 1 1 501 16 0 221",
        "Element 2 2 103 8 1 505", "Element 3 3 103 8 1 506", "Init"};
    EXPECT_EQ(tide.calls, expected);

    RecordingSource singleBeam;
    EXPECT_TRUE(BuildDataBlockBufferFromDefinition(CDataId(1, 1010, 1, 1), &singleBeam));
    EXPECT_EQ(singleBeam.calls.front(), "Allocate 50");

    RecordingSource unknown;
    EXPECT_TRUE(BuildDataBlockBufferFromDefinition(CDataId(1, 4444, 1, 1), &unknown));
    EXPECT_EQ(unknown.calls, (std::vector<std::string>{"Allocate 10", "Setup 0 4444", "Init"}));
    EXPECT_FALSE(BuildDataBlockBufferFromDefinition(CDataId(1, 1020, 1, 1), nullptr));
}
