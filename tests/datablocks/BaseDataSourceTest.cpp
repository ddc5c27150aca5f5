#include <KvsDataBlocks/datablocks/BaseDataSource.h>
#include <KvsDataBlocks/datablocks/CDataBlock.h>

#include <gtest/gtest.h>

namespace {

class ProbeSource : public BaseDataSource
{
public:
    void MarkAdded(double time)
    {
        m_dLastAddTime = time;
        m_bHasData = true;
    }
};

} // namespace

TEST(BaseDataSource, DefaultsReportNothingProvided)
{
    ProbeSource source;
    CDataId id(1, 1020, 1, 1);
    double time = -1.0, a = 0, b = 0, c = 0, d = 0;
    unsigned short status = 7;
    EXPECT_FALSE(source.Init());
    EXPECT_FALSE(source.DataBlockSetup(3, id));
    EXPECT_FALSE(source.InitDataElement(0, 0, 103, 8, 1, 0));
    EXPECT_FALSE(source.DataBlockInit());
    EXPECT_FALSE(source.Interpolate(1.0, 0, CDataBlock::kByPosition, a, status));
    EXPECT_FALSE(source.FindIntervalStartEnd(1.0, 0, CDataBlock::kByPosition, a, b, c, d, status));
    EXPECT_FALSE(source.GetDataId(id));
    EXPECT_EQ(source.GetDataIdPtr(), nullptr);
    EXPECT_EQ(source.GetInternalDataBlock(), nullptr);
    EXPECT_EQ(source.GetNumElements(), 0);
    EXPECT_FALSE(source.GetTimeSpan(a, b));
    EXPECT_FALSE(source.GetLastAddTime(time));
    EXPECT_EQ(time, 0.0);
    EXPECT_EQ(status, 7);
}

TEST(BaseDataSource, AllocateRecordsTheBufferLengthAndLastAddTimeIsReported)
{
    ProbeSource source;
    EXPECT_TRUE(source.Allocate(10));
    EXPECT_EQ(source.GetBufSize(), 10);
    EXPECT_FALSE(source.Allocate(-1));
    EXPECT_EQ(source.GetBufSize(), 10);
    source.MarkAdded(123.5);
    double time = 0.0;
    EXPECT_TRUE(source.GetLastAddTime(time));
    EXPECT_EQ(time, 123.5);
}
