// Helpers of the single-beam filter tests: blocks of group 1010 with three depth
// elements (use-as 201 to 203), position x and y (505, 506) and a quality element that
// is no depth (use-as 300).
#pragma once

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/ElementTypes.h>
#include <KvsDataBlocks/config/CAttributeMap.h>

#include <utility>

namespace sb_test {

inline constexpr unsigned short kQualityUseAs = 300;

// A valid sounding: every element status 0, depths 201..203 all set to depth.
inline CDataBlock MakeSounding(double time, double x, double y, double depth)
{
    const std::pair<unsigned short, double> values[] = {{201, depth}, {202, depth}, {203, depth},
                                                        {505, x},     {506, y},     {kQualityUseAs, 1.0}};
    CDataBlock block;
    block.SetDataId(CDataId(1, 1010, 1, 1));
    block.Allocate(6);
    for (unsigned short i = 0; i < 6; ++i) block.InitDataElement(i, i, ET_DOUBLE, 8, 1, values[i].first);
    block.Init();
    block.SetStatus(0);
    block.SetTime(time);
    for (const auto& [useAs, value] : values) block.SetDataValue(useAs, value, 0, CDataBlock::kByUseAs);
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

// Status depths on every depth element 201 .. 203 and the quality element untouched.
inline bool HasStatuses(const CDataBlock& block, unsigned short depths)
{
    for (unsigned short code : {201, 202, 203})
        if (StatusOf(block, code) != depths) return false;
    return StatusOf(block, kQualityUseAs) == 0;
}

inline bool IsInvalidated(const CDataBlock& block) { return HasStatuses(block, kvs::kStatusRejected); }
inline bool IsUntouched(const CDataBlock& block) { return HasStatuses(block, 0); }

} // namespace sb_test
