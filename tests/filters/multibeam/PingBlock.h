// Test helper: multibeam data blocks (group 1011) laid out by hand with every use-as code
// of the ping exchange, and readers of their beam arrays. A one-byte element comes first
// so that every array lies unaligned in the block's buffer.
#pragma once

#include <KvsDataBlocks/datablocks/ByteLayout.h>
#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/CDataId.h>

#include <algorithm>
#include <cstring>
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
    for (size_t i = 0; i < elems.size(); ++i) {
        CKvsBytePtr* p = nullptr;
        b.GetDataIdx(static_cast<unsigned short>(i), p);
        p->SetStatus(0);
    }
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

} // namespace pingtest
