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

bool CDataBlock::PackWORD(unsigned short value, unsigned char** pos, unsigned int& remaining)
{
    if (remaining < 2) return false;
    kvs::StoreLE<uint16_t>(*pos, value);
    *pos += 2;
    remaining -= 2;
    return true;
}

bool CDataBlock::PackUINT(unsigned int value, unsigned char** pos, unsigned int& remaining)
{
    if (remaining < 4) return false;
    kvs::StoreLE<uint32_t>(*pos, value);
    *pos += 4;
    remaining -= 4;
    return true;
}

bool CDataBlock::PackDouble(double value, unsigned char** pos, unsigned int& remaining)
{
    if (remaining < 8) return false;
    kvs::StoreLE<double>(*pos, value);
    *pos += 8;
    remaining -= 8;
    return true;
}

bool CDataBlock::UnPackWORD(unsigned short& value, const unsigned char** pos, unsigned int& remaining)
{
    if (remaining < 2) return false;
    value = kvs::LoadLE<uint16_t>(*pos);
    *pos += 2;
    remaining -= 2;
    return true;
}

bool CDataBlock::UnPackUINT(unsigned int& value, const unsigned char** pos, unsigned int& remaining)
{
    if (remaining < 4) return false;
    value = kvs::LoadLE<uint32_t>(*pos);
    *pos += 4;
    remaining -= 4;
    return true;
}

bool CDataBlock::UnPackDouble(double& value, const unsigned char** pos, unsigned int& remaining)
{
    if (remaining < 8) return false;
    value = kvs::LoadLE<double>(*pos);
    *pos += 8;
    remaining -= 8;
    return true;
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
        PackUINT(total, &p, left);
    else
        PackWORD(static_cast<unsigned short>(total), &p, left);
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
    PackWORD(static_cast<unsigned short>(size), &p, left);
    PackWORD(m_dataId.GetDataType(), &p, left);
    PackWORD(m_dataId.GetGroupId(), &p, left);
    PackWORD(m_dataId.GetVesselId(), &p, left);
    PackWORD(m_dataId.GetDeviceNum(), &p, left);
    PackWORD(m_count, &p, left);
    if (wide)
        PackUINT(m_dataSize, &p, left);
    else
        PackWORD(static_cast<unsigned short>(m_dataSize), &p, left);
    for (unsigned int i = 0; i < m_count; ++i) {
        const CKvsBytePtr& e = m_table[i];
        PackWORD(e.GetType(), &p, left);
        if (wide)
            PackUINT(e.GetLength(), &p, left);
        else
            PackWORD(static_cast<unsigned short>(e.GetLength()), &p, left);
        PackWORD(e.GetId(), &p, left);
        PackWORD(e.GetFormat(), &p, left);
        PackWORD(e.GetUseAs(), &p, left);
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
        PackUINT(size, &p, left);
    else
        PackWORD(static_cast<unsigned short>(size), &p, left);
    PackDouble(m_time, &p, left);
    PackWORD(m_statusWord, &p, left);
    for (unsigned int i = 0; i < m_count; ++i)
        PackWORD(m_table[i].GetStatus(), &p, left);
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
        if (!UnPackUINT(total, pos, remaining)) return false;
    } else {
        unsigned short t = 0;
        if (!UnPackWORD(t, pos, remaining)) return false;
        total = t;
    }
    if (total > available) return false;

    unsigned short staticSize = 0, dataType = 0, groupId = 0, vesselId = 0, deviceNum = 0, count = 0;
    if (!UnPackWORD(staticSize, pos, remaining)) return false;
    if (!UnPackWORD(dataType, pos, remaining)) return false;
    m_dataId.SetDataType(dataType);
    if (!UnPackWORD(groupId, pos, remaining)) return false;
    m_dataId.SetGroupId(groupId);
    if (!UnPackWORD(vesselId, pos, remaining)) return false;
    m_dataId.SetVesselId(vesselId);
    if (!UnPackWORD(deviceNum, pos, remaining)) return false;
    m_dataId.SetDeviceNum(deviceNum);
    if (!UnPackWORD(count, pos, remaining)) return false;
    unsigned int dataSize = 0;
    if (wide) {
        if (!UnPackUINT(dataSize, pos, remaining)) return false;
    } else {
        unsigned short d = 0;
        if (!UnPackWORD(d, pos, remaining)) return false;
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
        if (!UnPackWORD(type, pos, remaining)) return false;
        if (wide) {
            if (!UnPackUINT(length, pos, remaining)) return false;
        } else {
            unsigned short l = 0;
            if (!UnPackWORD(l, pos, remaining)) return false;
            length = l;
        }
        if (!UnPackWORD(id, pos, remaining) || !UnPackWORD(format, pos, remaining) ||
            !UnPackWORD(useAs, pos, remaining))
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
    if (!(wide ? UnPackUINT(dynamicSize32, pos, remaining) : UnPackWORD(dynamicSize16, pos, remaining))) return false;
    if (!UnPackDouble(m_time, pos, remaining)) return false;
    if (!UnPackWORD(m_statusWord, pos, remaining)) return false;
    for (unsigned int i = 0; i < m_count; ++i) {
        unsigned short status = 0;
        if (!UnPackWORD(status, pos, remaining)) return false;
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
