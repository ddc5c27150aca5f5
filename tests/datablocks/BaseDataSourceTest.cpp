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

TEST(BaseDataSource, DefaultsProvideNothingButAllocateAndLastAddTimeAreKept)
{
    ProbeSource source;
    CDataId id(1, 1020, 1, 1);
    double time = -1.0, a = 0, b = 0, c = 0, d = 0;
    unsigned short status = 7;
    const bool provided[] = {source.Init(), source.DataBlockSetup(3, id), source.InitDataElement(0, 0, 103, 8, 1, 0),
                             source.DataBlockInit(), source.Interpolate(1.0, 0, CDataBlock::kByPosition, a, status),
                             source.FindIntervalStartEnd(1.0, 0, CDataBlock::kByPosition, a, b, c, d, status),
                             source.GetDataId(id), source.GetTimeSpan(a, b), source.GetLastAddTime(time),
                             source.GetDataIdPtr() != nullptr, source.GetInternalDataBlock() != nullptr,
                             source.GetNumElements() != 0, source.Allocate(-1)};
    for (bool p : provided) EXPECT_FALSE(p);
    EXPECT_EQ(time, 0.0);
    EXPECT_EQ(status, 7);
    EXPECT_TRUE(source.Allocate(10));
    EXPECT_EQ(source.GetBufSize(), 10);
    source.MarkAdded(123.5);
    EXPECT_TRUE(source.GetLastAddTime(time));
    EXPECT_EQ(time, 123.5);
}
