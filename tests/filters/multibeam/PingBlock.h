// Test helper: multibeam data blocks (group 1011) laid out by hand with every use-as code
// of the ping exchange, readers of their beam arrays, and runs of them through the filter.
// A one-byte element comes first so that every array lies unaligned in the block's buffer.
#pragma once

#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/datablocks/ByteLayout.h>
#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/CDataId.h>
#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>

#include "../AttributeList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace pingtest {

struct PingElement
{
    unsigned short useAs;
    unsigned short type;
    unsigned int itemSize; // per-beam arrays: bytes per beam; 0 for scalars
};

inline constexpr PingElement kPingElements[] = {
    {99, ET_UCHAR, 0}, // misaligns everything after it
    {601, ET_INT, 0},          {602, ET_INT, 0},          {612, ET_INT, 0},          {101, ET_DOUBLE, 0},
    {214, ET_DOUBLE, 0},       {213, ET_DOUBLE, 0},       {212, ET_DOUBLE, 0},       {104, ET_DOUBLE, 0},
    {102, ET_DOUBLE, 0},       {103, ET_DOUBLE, 0},       {401, ET_DOUBLE, 0},       {505, ET_DOUBLE, 0},
    {506, ET_DOUBLE, 0},       {507, ET_DOUBLE, 0},       {603, ET_FLOAT_ARRAY, 4},  {604, ET_FLOAT_ARRAY, 4},
    {605, ET_FLOAT_ARRAY, 4},  {606, ET_UINT_ARRAY, 4},   {607, ET_UINT, 0},         {608, ET_USHORT_ARRAY, 2},
    {609, ET_USHORT, 0},       {611, ET_USHORT, 0},       {610, ET_SHORT, 0},        {617, ET_INT, 0},
    {621, ET_FLOAT_ARRAY, 4},  {622, ET_FLOAT_ARRAY, 4},  {623, ET_FLOAT_ARRAY, 4},  {618, ET_FLOAT_ARRAY, 4},
    {619, ET_INT, 0},          {620, ET_FLOAT, 0},        {624, ET_INT, 0},          {522, ET_DOUBLE, 0},
    {684, ET_DOUBLE, 0},       {685, ET_DOUBLE, 0},       {616, ET_DOUBLE, 0},       {676, ET_FLOAT_ARRAY, 4},
    {677, ET_FLOAT_ARRAY, 4},  {678, ET_FLOAT_ARRAY, 4},  {679, ET_FLOAT_ARRAY, 4},  {649, ET_INT, 0},
    {625, ET_FLOAT, 0},        {626, ET_FLOAT, 0},        {627, ET_FLOAT, 0},
};

inline unsigned int ScalarSize(unsigned short type)
{
    switch (type) {
    case ET_DOUBLE: return 8;
    case ET_SHORT:
    case ET_USHORT: return 2;
    case ET_UCHAR: return 1;
    default: return 4;
    }
}

// A ping block of the given beam count at time t, elements listed in omit left out.
// Every value is zero, every status 0; beam count (602) set.
inline CDataBlock MakePingBlock(int beams, double t = 0.0, const std::vector<unsigned short>& omit = {})
{
    std::vector<PingElement> elems;
    for (const PingElement& e : kPingElements)
        if (std::find(omit.begin(), omit.end(), e.useAs) == omit.end()) elems.push_back(e);
    CDataBlock b;
    b.Allocate(static_cast<unsigned int>(elems.size()));
    for (size_t i = 0; i < elems.size(); ++i) {
        const PingElement& e = elems[i];
        const unsigned int len = e.itemSize ? e.itemSize * static_cast<unsigned int>(beams) : ScalarSize(e.type);
        b.InitDataElement(static_cast<int>(i), static_cast<unsigned short>(i + 1), e.type,
                          static_cast<unsigned short>(len), 1, e.useAs);
    }
    b.Init();
    b.SetDataId(CDataId(0, 1011, 1, 1));
    b.SetTime(t);
    b.SetStatus(0);
    for (const PingElement& e : elems) b.SetDataStatus(e.useAs, 0, CDataBlock::kByUseAs);
    b.SetDataValue(602, beams, 0, CDataBlock::kByUseAs);
    return b;
}

template <typename T>
std::vector<T> ReadArray(const CDataBlock& b, unsigned short useAs)
{
    CKvsBytePtr e;
    if (!b.GetData(useAs, e, CDataBlock::kByUseAs)) return {};
    std::vector<T> out(e.GetLength() / sizeof(T));
    if (!out.empty()) std::memcpy(out.data(), e.GetDataPtr(), out.size() * sizeof(T));
    return out;
}

inline std::vector<unsigned int> Flags(const CDataBlock& b)
{
    return ReadArray<unsigned int>(b, 606);
}

inline unsigned int PingFlags(const CDataBlock& b)
{
    unsigned int v = 0;
    unsigned short st = 0;
    b.GetDataValue(607, v, st, CDataBlock::kByUseAs);
    return v;
}

inline void SetFloats(CDataBlock& b, unsigned short useAs, const std::vector<float>& v)
{
    b.SetDataValue(useAs, v.data(), static_cast<int>(v.size()), 0, CDataBlock::kByUseAs);
}

inline void SetFlags(CDataBlock& b, const std::vector<unsigned int>& v)
{
    b.SetDataValue(606, v.data(), static_cast<int>(v.size()), 0, CDataBlock::kByUseAs);
}

// Beams across a flat seabed at depth (z = -depth), x from -halfWidth to +halfWidth.
inline void SetFlatSwath(CDataBlock& b, int beams, double depth, double halfWidth)
{
    std::vector<float> x(beams), y(beams, 0.0f), z(beams, static_cast<float>(-depth));
    for (int i = 0; i < beams; ++i)
        x[i] = beams > 1 ? static_cast<float>(-halfWidth + 2.0 * halfWidth * i / (beams - 1)) : 0.0f;
    SetFloats(b, 603, x);
    SetFloats(b, 604, y);
    SetFloats(b, 605, z);
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
    std::vector<int> out;
    const Words flags = Flags(b);
    for (size_t i = 0; i < flags.size(); ++i)
        if (flags[i] & bit) out.push_back(static_cast<int>(i));
    return out;
}

inline double Value(const CDataBlock& b, unsigned short useAs, unsigned short* status = nullptr)
{
    double v = -1.0;
    unsigned short st = 0xFFFF;
    b.GetDataAsDouble(useAs, v, st, CDataBlock::kByUseAs, false);
    if (status) *status = st;
    return v;
}

// Byte for byte the same block.
inline bool Same(const CDataBlock& a, const CDataBlock& b)
{
    if (a.GetLength() != b.GetLength() || a.GetDataSize() != b.GetDataSize() || a.GetTime() != b.GetTime() ||
        a.GetStatusAndFlags() != b.GetStatusAndFlags())
        return false;
    for (unsigned short i = 0; i < a.GetLength(); ++i) {
        CKvsBytePtr ea, eb;
        a.GetDataIdx(i, ea);
        b.GetDataIdx(i, eb);
        if (ea.GetStatus() != eb.GetStatus() || ea.GetLength() != eb.GetLength()) return false;
        if (ea.GetLength() && std::memcmp(ea.GetDataPtr(), eb.GetDataPtr(), ea.GetLength()) != 0) return false;
    }
    return true;
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

// Ping number p at time p (or t), n beams flat at depth 100.
inline CDataBlock NumberedPing(int p, int n = 9, double t = -1.0)
{
    CDataBlock b = MakePingBlock(n, t < 0 ? p : t);
    SetFlatSwath(b, n, 100.0, 50.0);
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

inline std::vector<int> Numbers(const std::vector<CDataBlock>& blocks)
{
    std::vector<int> out;
    for (const CDataBlock& b : blocks) out.push_back(PingNumber(b));
    return out;
}

} // namespace pingtest
