// The packed record of a CDataBlock. All fields little-endian, no padding; n elements,
// D data bytes. Narrow form (16-bit sizes) / wide form (32-bit sizes):
//
//   total size            2 / 4      narrow 28 + 12n + D, wide 34 + 14n + D
//   static part size      2 / 2      narrow 14 + 10n,     wide 16 + 12n
//   data type, group id, vessel id, device number, count n   2 each
//   data size D           2 / 4
//   per element: type 2, length 2 / 4, id 2, format 2, use-as 2
//   dynamic part size     2 / 4      narrow 12 + 2n + D,  wide 14 + 2n + D
//   time                  8          IEEE 754 binary64
//   block status word     2
//   per element: status   2
//   data bytes            D          the buffer as it lies
//
// A record is never written with a size field that does not hold its value: the narrow
// form refuses blocks whose total exceeds 65535 bytes (which bounds the data size and
// every length too), and both forms refuse a static part above 65535 bytes (more than
// 6552 elements narrow, 5459 wide).

#include <KvsDataBlocks/datablocks/ByteLayout.h>
#include <KvsDataBlocks/datablocks/CDataBlock.h>

#include <cstring>
#include <limits>

namespace {

constexpr uint64_t kMax16 = std::numeric_limits<uint16_t>::max();
constexpr uint64_t kMax32 = std::numeric_limits<uint32_t>::max();

struct FormWidths
{
    unsigned int totalField;   // total size field
    unsigned int staticFixed;  // static part without descriptors
    unsigned int descriptor;   // one element descriptor
    unsigned int dynamicFixed; // dynamic part without statuses and data
};

constexpr FormWidths kNarrow = {2, 14, 10, 12};
constexpr FormWidths kWide = {4, 16, 12, 14};

constexpr const FormWidths& Form(bool wide)
{
    return wide ? kWide : kNarrow;
}

} // namespace

// ---- field writers and readers

// Inline in this file, so the packers need no call per field.
namespace {

template <typename T>
inline bool PutField(T value, unsigned char** pos, unsigned int& remaining)
{
    if (remaining < sizeof(T)) return false;
    kvs::StoreLE<T>(*pos, value);
    *pos += sizeof(T);
    remaining -= static_cast<unsigned int>(sizeof(T));
    return true;
}

template <typename T>
inline bool GetField(T& value, const unsigned char** pos, unsigned int& remaining)
{
    if (remaining < sizeof(T)) return false;
    value = kvs::LoadLE<T>(*pos);
    *pos += sizeof(T);
    remaining -= static_cast<unsigned int>(sizeof(T));
    return true;
}

} // namespace

bool CDataBlock::PackWORD(unsigned short value, unsigned char** pos, unsigned int& remaining)
{
    return PutField<uint16_t>(value, pos, remaining);
}

bool CDataBlock::PackUINT(unsigned int value, unsigned char** pos, unsigned int& remaining)
{
    return PutField<uint32_t>(value, pos, remaining);
}

bool CDataBlock::PackDouble(double value, unsigned char** pos, unsigned int& remaining)
{
    return PutField<double>(value, pos, remaining);
}

bool CDataBlock::UnPackWORD(unsigned short& value, const unsigned char** pos, unsigned int& remaining)
{
    return GetField<uint16_t>(value, pos, remaining);
}

bool CDataBlock::UnPackUINT(unsigned int& value, const unsigned char** pos, unsigned int& remaining)
{
    return GetField<uint32_t>(value, pos, remaining);
}

bool CDataBlock::UnPackDouble(double& value, const unsigned char** pos, unsigned int& remaining)
{
    return GetField<double>(value, pos, remaining);
}

// ---- sizes

uint64_t CDataBlock::StaticPackSize(bool wide) const
{
    const FormWidths& f = Form(wide);
    return f.staticFixed + static_cast<uint64_t>(f.descriptor) * m_count;
}

uint64_t CDataBlock::DynamicPackSize(bool wide) const
{
    return Form(wide).dynamicFixed + 2ull * m_count + m_dataSize;
}

unsigned short CDataBlock::GetStaticPackSize(bool wide) const
{
    return static_cast<unsigned short>(StaticPackSize(wide));
}

// The 32-bit sizes saturate rather than wrap for a block beyond the wide form's reach.
unsigned int CDataBlock::GetDynamicPackSize(bool wide) const
{
    const uint64_t size = DynamicPackSize(wide);
    return static_cast<unsigned int>(size > kMax32 ? kMax32 : size);
}

unsigned int CDataBlock::GetPackSize(bool wide) const
{
    const uint64_t size = Form(wide).totalField + StaticPackSize(wide) + DynamicPackSize(wide);
    return static_cast<unsigned int>(size > kMax32 ? kMax32 : size);
}

bool CDataBlock::CanPack(bool wide) const
{
    if (StaticPackSize(wide) > kMax16) return false;
    const uint64_t total = Form(wide).totalField + StaticPackSize(wide) + DynamicPackSize(wide);
    return total <= (wide ? kMax32 : kMax16);
}

// ---- packing

bool CDataBlock::Pack(unsigned char** pos, unsigned int& remaining, bool wide) const
{
    if (!pos || !*pos || !CanPack(wide)) return false;
    const unsigned int total = GetPackSize(wide);
    if (remaining < total) return false;
    unsigned char* p = *pos;
    unsigned int left = remaining;
    if (wide)
        PutField<uint32_t>(total, &p, left);
    else
        PutField<uint16_t>(static_cast<unsigned short>(total), &p, left);
    if (!PackStatic(&p, left, wide) || !PackDynamic(&p, left, wide)) return false;
    *pos = p;
    remaining = left;
    return true;
}

bool CDataBlock::PackStatic(unsigned char** pos, unsigned int& remaining, bool wide) const
{
    if (!pos || !*pos || !CanPack(wide)) return false;
    const unsigned int size = GetStaticPackSize(wide);
    if (remaining < size) return false;
    unsigned char* p = *pos;
    unsigned int left = remaining;
    PutField<uint16_t>(static_cast<unsigned short>(size), &p, left);
    PutField<uint16_t>(m_dataId.GetDataType(), &p, left);
    PutField<uint16_t>(m_dataId.GetGroupId(), &p, left);
    PutField<uint16_t>(m_dataId.GetVesselId(), &p, left);
    PutField<uint16_t>(m_dataId.GetDeviceNum(), &p, left);
    PutField<uint16_t>(m_count, &p, left);
    if (wide)
        PutField<uint32_t>(m_dataSize, &p, left);
    else
        PutField<uint16_t>(static_cast<unsigned short>(m_dataSize), &p, left);
    for (unsigned int i = 0; i < m_count; ++i) {
        const CKvsBytePtr& e = m_table[i];
        PutField<uint16_t>(e.GetType(), &p, left);
        if (wide)
            PutField<uint32_t>(e.GetLength(), &p, left);
        else
            PutField<uint16_t>(static_cast<unsigned short>(e.GetLength()), &p, left);
        PutField<uint16_t>(e.GetId(), &p, left);
        PutField<uint16_t>(e.GetFormat(), &p, left);
        PutField<uint16_t>(e.GetUseAs(), &p, left);
    }
    *pos = p;
    remaining = left;
    return true;
}

bool CDataBlock::PackDynamic(unsigned char** pos, unsigned int& remaining, bool wide) const
{
    if (!pos || !*pos || !CanPack(wide)) return false;
    const unsigned int size = GetDynamicPackSize(wide);
    if (remaining < size) return false;
    unsigned char* p = *pos;
    unsigned int left = remaining;
    if (wide)
        PutField<uint32_t>(size, &p, left);
    else
        PutField<uint16_t>(static_cast<unsigned short>(size), &p, left);
    PutField<double>(m_time, &p, left);
    PutField<uint16_t>(m_statusWord, &p, left);
    for (unsigned int i = 0; i < m_count; ++i)
        PutField<uint16_t>(m_table[i].GetStatus(), &p, left);
    if (m_buffer) {
        std::memcpy(p, m_buffer.get(), m_dataSize);
        p += m_dataSize;
        left -= m_dataSize;
    }
    *pos = p;
    remaining = left;
    return true;
}

// ---- unpacking

// Every field is read within the remaining bytes; the first one that does not fit ends
// the unpacking with false. Before anything is allocated, the element count and the
// announced data size are checked against the bytes that remain, so a malformed record
// cannot make the block allocate more than the record itself could fill.
//
// Decision: when the element lengths do not add up to the announced data size, the block
// keeps the record's layout but no buffer (data size 0, every data pointer null).
bool CDataBlock::UnPack(const unsigned char** pos, unsigned int& remaining, bool wide)
{
    if (!pos || (!*pos && remaining > 0)) return false;
    const unsigned int available = remaining;
    unsigned int total = 0;
    if (wide) {
        if (!GetField<uint32_t>(total, pos, remaining)) return false;
    } else {
        unsigned short t = 0;
        if (!GetField<uint16_t>(t, pos, remaining)) return false;
        total = t;
    }
    if (total > available) return false;

    unsigned short staticSize = 0, dataType = 0, groupId = 0, vesselId = 0, deviceNum = 0, count = 0;
    if (!GetField<uint16_t>(staticSize, pos, remaining)) return false;
    if (!GetField<uint16_t>(dataType, pos, remaining)) return false;
    m_dataId.SetDataType(dataType);
    if (!GetField<uint16_t>(groupId, pos, remaining)) return false;
    m_dataId.SetGroupId(groupId);
    if (!GetField<uint16_t>(vesselId, pos, remaining)) return false;
    m_dataId.SetVesselId(vesselId);
    if (!GetField<uint16_t>(deviceNum, pos, remaining)) return false;
    m_dataId.SetDeviceNum(deviceNum);
    if (!GetField<uint16_t>(count, pos, remaining)) return false;
    unsigned int dataSize = 0;
    if (wide) {
        if (!GetField<uint32_t>(dataSize, pos, remaining)) return false;
    } else {
        unsigned short d = 0;
        if (!GetField<uint16_t>(d, pos, remaining)) return false;
        dataSize = d;
    }

    const FormWidths& f = Form(wide);
    const uint64_t rest = static_cast<uint64_t>(f.descriptor) * count + f.dynamicFixed + 2ull * count + dataSize;
    if (rest > remaining) return false;

    if (count != m_count && !Allocate(count)) return false;
    uint64_t sum = 0;
    for (unsigned int i = 0; i < m_count; ++i) {
        CKvsBytePtr& e = m_table[i];
        unsigned short type = 0, id = 0, format = 0, useAs = 0;
        unsigned int length = 0;
        if (!GetField<uint16_t>(type, pos, remaining)) return false;
        if (wide) {
            if (!GetField<uint32_t>(length, pos, remaining)) return false;
        } else {
            unsigned short l = 0;
            if (!GetField<uint16_t>(l, pos, remaining)) return false;
            length = l;
        }
        if (!GetField<uint16_t>(id, pos, remaining) || !GetField<uint16_t>(format, pos, remaining) ||
            !GetField<uint16_t>(useAs, pos, remaining))
            return false;
        e.SetType(type);
        e.SetLength(length);
        e.SetId(id);
        e.SetFormat(format);
        e.SetUseAs(useAs);
        e.SetGroupId(groupId);
        sum += length;
    }

    unsigned int dynamicSize32 = 0;
    unsigned short dynamicSize16 = 0;
    if (!(wide ? GetField<uint32_t>(dynamicSize32, pos, remaining) : GetField<uint16_t>(dynamicSize16, pos, remaining))) return false;
    if (!GetField<double>(m_time, pos, remaining)) return false;
    if (!GetField<uint16_t>(m_statusWord, pos, remaining)) return false;
    for (unsigned int i = 0; i < m_count; ++i) {
        unsigned short status = 0;
        if (!GetField<uint16_t>(status, pos, remaining)) return false;
        m_table[i].SetStatus(status);
    }

    if (sum != dataSize) {
        m_buffer.reset();
        m_dataSize = 0;
        AssignBptr();
        return false;
    }
    // The same data size reuses the buffer; another one gets a fresh buffer.
    if (dataSize != m_dataSize) {
        if (!Init() || m_dataSize != dataSize) return false;
    } else {
        AssignBptr();
    }
    if (!m_buffer) return true;
    if (remaining < m_dataSize) return false;
    std::memcpy(m_buffer.get(), *pos, m_dataSize);
    *pos += m_dataSize;
    remaining -= m_dataSize;
    return true;
}
