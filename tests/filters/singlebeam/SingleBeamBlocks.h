// Helpers of the single-beam filter tests: blocks of group 1010 with three depth
// elements (use-as 201 to 203), position x and y (505, 506) and a quality element that
// is no depth (use-as 300).
#pragma once

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/ElementTypes.h>
#include <KvsDataBlocks/config/CAttributeMap.h>

namespace sb_test {

inline constexpr unsigned short kDepthCodes[] = {201, 202, 203};
inline constexpr unsigned short kQualityUseAs = 300;

// A valid sounding: every element status 0, depths 201..203 all set to depth.
inline CDataBlock MakeSounding(double time, double x, double y, double depth)
{
    CDataBlock block;
    block.SetDataId(CDataId(1, 1010, 1, 1));
    block.Allocate(6);
    const unsigned short useAs[] = {201, 202, 203, 505, 506, kQualityUseAs};
    for (unsigned short i = 0; i < 6; ++i)
        block.InitDataElement(i, i, ET_DOUBLE, 8, 1, useAs[i]);
    block.Init();
    block.SetStatus(0);
    block.SetTime(time);
    for (unsigned short code : kDepthCodes) block.SetDataValue(code, depth, 0, CDataBlock::kByUseAs);
    block.SetDataValue(505, x, 0, CDataBlock::kByUseAs);
    block.SetDataValue(506, y, 0, CDataBlock::kByUseAs);
    block.SetDataValue(kQualityUseAs, 1.0, 0, CDataBlock::kByUseAs);
    return block;
}

inline CDataBlock MakeDepth(double depth, double time = 0.0)
{
    return MakeSounding(time, 0.0, 0.0, depth);
}

inline unsigned short StatusOf(const CDataBlock& block, unsigned short useAs)
{
    double value = 0.0;
    unsigned short status = 0xFFFF;
    block.GetDataValue(useAs, value, status, CDataBlock::kByUseAs);
    return status;
}

inline double ValueOf(const CDataBlock& block, unsigned short useAs)
{
    double value = 0.0;
    unsigned short status = 0;
    block.GetDataValue(useAs, value, status, CDataBlock::kByUseAs);
    return value;
}

// The statuses of the depth elements 201 .. 203 and of the quality element.
inline bool HasStatuses(const CDataBlock& block, unsigned short depths)
{
    return StatusOf(block, 201) == depths && StatusOf(block, 202) == depths && StatusOf(block, 203) == depths &&
           StatusOf(block, kQualityUseAs) == 0;
}

// Status 30 on every depth element and the quality element untouched.
inline bool IsInvalidated(const CDataBlock& block)
{
    return HasStatuses(block, kvs::kStatusRejected);
}

inline bool IsUntouched(const CDataBlock& block)
{
    return HasStatuses(block, 0);
}

} // namespace sb_test
