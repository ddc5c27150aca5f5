// Test helper: multibeam data blocks (group 1011) laid out by hand with every use-as code
// of the ping exchange, readers of their beam arrays, and runs of them through the filter.
// A one-byte element comes first so that the arrays lie unaligned in the block's buffer.
#pragma once

#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/datablocks/ByteLayout.h>
#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/CDataId.h>
#include <KvsDataBlocks/datablocks/ElementTypes.h>
#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>

#include "../FilterHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace pingtest {

// Every element of the ping exchange: use-as code and type.
inline constexpr std::pair<unsigned short, unsigned short> kPingElements[] = {
    {99, ET_UCHAR}, {601, ET_INT}, {602, ET_INT}, {612, ET_INT}, {101, ET_DOUBLE}, {214, ET_DOUBLE},
    {213, ET_DOUBLE}, {212, ET_DOUBLE}, {104, ET_DOUBLE}, {102, ET_DOUBLE}, {103, ET_DOUBLE}, {401, ET_DOUBLE},
    {505, ET_DOUBLE}, {506, ET_DOUBLE}, {507, ET_DOUBLE}, {603, ET_FLOAT_ARRAY}, {604, ET_FLOAT_ARRAY},
    {605, ET_FLOAT_ARRAY}, {606, ET_UINT_ARRAY}, {607, ET_UINT}, {608, ET_USHORT_ARRAY}, {609, ET_USHORT},
    {611, ET_USHORT}, {610, ET_SHORT}, {617, ET_INT}, {621, ET_FLOAT_ARRAY}, {622, ET_FLOAT_ARRAY},
    {623, ET_FLOAT_ARRAY}, {618, ET_FLOAT_ARRAY}, {619, ET_INT}, {620, ET_FLOAT}, {624, ET_INT}, {522, ET_DOUBLE},
    {684, ET_DOUBLE}, {685, ET_DOUBLE}, {616, ET_DOUBLE}, {676, ET_FLOAT_ARRAY}, {677, ET_FLOAT_ARRAY},
    {678, ET_FLOAT_ARRAY}, {679, ET_FLOAT_ARRAY}, {649, ET_INT}, {625, ET_FLOAT}, {626, ET_FLOAT}, {627, ET_FLOAT},
};

// A ping block of the given beam count at time t, elements listed in omit left out.
// Every value is zero, every status 0; beam count (602) set.
inline CDataBlock MakePingBlock(int beams, double t = 0.0, const std::vector<unsigned short>& omit = {})
{
    std::vector<std::pair<unsigned short, unsigned short>> elems;
    for (const auto& e : kPingElements)
        if (std::find(omit.begin(), omit.end(), e.first) == omit.end()) elems.push_back(e);
    CDataBlock b;
    b.Allocate(static_cast<unsigned int>(elems.size()));
    for (size_t i = 0; i < elems.size(); ++i) {
        const kvs::ElementTypeInfo* type = kvs::FindElementType(elems[i].second);
        const unsigned int len = type->itemSize * (type->kind == kvs::ElementKind::Array ? beams : 1);
        b.InitDataElement(static_cast<int>(i), static_cast<unsigned short>(i + 1), type->code,
                          static_cast<unsigned short>(len), 1, elems[i].first);
    }
    b.Init();
    b.SetDataId(CDataId(0, 1011, 1, 1));
    b.SetTime(t);
    b.SetStatus(0);
    for (const auto& e : elems) b.SetDataStatus(e.first, 0, CDataBlock::kByUseAs);
    b.SetDataValue(602, beams, 0, CDataBlock::kByUseAs);
    return b;
}

using filtertest::ReadArray;

inline std::vector<unsigned int> Flags(const CDataBlock& b)
{
    return ReadArray<unsigned int>(b, 606);
}


inline void SetFloats(CDataBlock& b, unsigned short useAs, const std::vector<float>& v)
{
    b.SetDataValue(useAs, v.data(), static_cast<int>(v.size()), 0, CDataBlock::kByUseAs);
}

inline void SetFlags(CDataBlock& b, const std::vector<unsigned int>& v)
{
    b.SetDataValue(606, v.data(), static_cast<int>(v.size()), 0, CDataBlock::kByUseAs);
}

using Floats = std::vector<float>;
using Words = std::vector<unsigned int>;
inline constexpr COMPUPDATEMODE kFull = static_cast<COMPUPDATEMODE>(0);

// n values from first on, one apart.
inline Floats Ramp(int n, float first)
{
    Floats v(n);
    for (int i = 0; i < n; ++i) v[i] = first + static_cast<float>(i);
    return v;
}

// v with the values at the given indices changed.
inline Floats Changed(Floats v, std::initializer_list<std::pair<int, float>> at)
{
    for (const auto& [i, value] : at) v[i] = value;
    return v;
}

// A ping block of the beams at x (y and z given or 0 and -10) at time t.
inline CDataBlock Block(const Floats& x, const Floats& z = {}, const Floats& y = {}, double t = 0.0,
                        const std::vector<unsigned short>& omit = {})
{
    const int n = static_cast<int>(x.size());
    CDataBlock b = MakePingBlock(n, t, omit);
    SetFloats(b, 603, x);
    SetFloats(b, 604, y.empty() ? Floats(n, 0.0f) : y);
    SetFloats(b, 605, z.empty() ? Floats(n, -10.0f) : z);
    return b;
}

// n flag words, bit set at the beams listed with it.
inline Words Only(int n, std::initializer_list<std::pair<unsigned int, std::vector<int>>> bits)
{
    Words w(n, 0u);
    for (const auto& [bit, beams] : bits)
        for (int i : beams) w[i] |= bit;
    return w;
}

// The beams whose flag word has bit set.
inline std::vector<int> With(const CDataBlock& b, unsigned int bit)
{
    return filtertest::With(Flags(b), bit);
}

inline double Value(const CDataBlock& b, unsigned short useAs, unsigned short* status = nullptr)
{
    double v = -1.0;
    unsigned short st = 0xFFFF;
    b.GetDataAsDouble(useAs, v, st, CDataBlock::kByUseAs, false);
    if (status) *status = st;
    return v;
}

inline unsigned int PingFlags(const CDataBlock& b)
{
    return static_cast<unsigned int>(std::max(0.0, Value(b, 607)));
}

// The block's packed record: time, status, layout, element statuses and data.
inline std::vector<unsigned char> Packed(const CDataBlock& b)
{
    std::vector<unsigned char> out(b.GetPackSize(true));
    unsigned char* pos = out.data();
    unsigned int remaining = static_cast<unsigned int>(out.size());
    EXPECT_TRUE(b.Pack(&pos, remaining, true));
    return out;
}

// The block through a fresh filter of the settings.
inline CDataBlock Filtered(const filtertest::AttributeList& settings, CDataBlock b)
{
    CAttributeMap a = filtertest::Attributes(settings);
    MultibeamFilter f(&a);
    EXPECT_TRUE(f.Process(b, kFull));
    return b;
}

inline CAttributeMap StatsAttributes(int windowAttr)
{
    return filtertest::Attributes({{ATTR_STATISTICFILTER, true}, {ATTR_FILTERWINDOWSIZE, windowAttr}});
}

// Ping number p at time p (or t), n beams 1 m apart flat at depth 100.
inline CDataBlock NumberedPing(int p, int n = 9, double t = -1.0)
{
    CDataBlock b = Block(Ramp(n, static_cast<float>(-(n / 2))), Floats(n, -100.0f), {}, t < 0 ? p : t);
    b.SetDataValue(601, p, 0, CDataBlock::kByUseAs);
    return b;
}

inline int PingNumber(const CDataBlock& b)
{
    return static_cast<int>(Value(b, 601));
}

// Feeds the blocks and drains the filter: the blocks given out, in order.
inline std::vector<CDataBlock> RunAll(MultibeamFilter& f, std::vector<CDataBlock> in)
{
    std::vector<CDataBlock> out;
    for (CDataBlock& b : in)
        if (f.Process(b, kFull)) out.push_back(b);
    CDataBlock b;
    while (f.GetRemainder(b)) out.push_back(b);
    return out;
}

} // namespace pingtest
