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
#include <type_traits>

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

namespace {

// The part sizes of a record of count elements and dataSize data bytes, and whether
// every size field of the form holds its value.
struct RecordSizes
{
    uint64_t staticSize, dynamicSize, total;
    bool fits;

    constexpr RecordSizes(unsigned int count, unsigned int dataSize, bool wide)
        : staticSize(Form(wide).staticFixed + static_cast<uint64_t>(Form(wide).descriptor) * count),
          dynamicSize(Form(wide).dynamicFixed + 2ull * count + dataSize),
          total(Form(wide).totalField + staticSize + dynamicSize),
          fits(staticSize <= kMax16 && total <= (wide ? kMax32 : kMax16))
    {
    }
};

// The 32-bit sizes saturate rather than wrap for a block beyond the wide form's reach.
constexpr unsigned int Saturated(uint64_t size)
{
    return static_cast<unsigned int>(size > kMax32 ? kMax32 : size);
}

} // namespace

uint64_t CDataBlock::StaticPackSize(bool wide) const
{
    return RecordSizes(m_count, m_dataSize, wide).staticSize;
}

uint64_t CDataBlock::DynamicPackSize(bool wide) const
{
    return RecordSizes(m_count, m_dataSize, wide).dynamicSize;
}

unsigned short CDataBlock::GetStaticPackSize(bool wide) const
{
    return static_cast<unsigned short>(StaticPackSize(wide));
}

unsigned int CDataBlock::GetDynamicPackSize(bool wide) const
{
    return Saturated(DynamicPackSize(wide));
}

unsigned int CDataBlock::GetPackSize(bool wide) const
{
    return Saturated(RecordSizes(m_count, m_dataSize, wide).total);
}

bool CDataBlock::CanPack(bool wide) const
{
    return RecordSizes(m_count, m_dataSize, wide).fits;
}

// ---- packing

// The writers store without bounds checks: the caller has made sure that the whole part
// fits, so that the fields of every element cost a few stores and no branch. Wide selects
// the width of the size and length fields at compile time.
namespace {

template <bool Wide>
using SizeField = std::conditional_t<Wide, uint32_t, uint16_t>;

template <typename T>
inline unsigned char* Put(unsigned char* p, T value)
{
    kvs::StoreLE<T>(p, value);
    return p + sizeof(T);
}

// The static part up to the element descriptors.
template <bool Wide>
unsigned char* PutStaticHead(unsigned char* p, unsigned int staticSize, const CDataId& id, unsigned int count,
                             unsigned int dataSize)
{
    p = Put<uint16_t>(p, static_cast<uint16_t>(staticSize));
    p = Put<uint16_t>(p, id.GetDataType());
    p = Put<uint16_t>(p, id.GetGroupId());
    p = Put<uint16_t>(p, id.GetVesselId());
    p = Put<uint16_t>(p, id.GetDeviceNum());
    p = Put<uint16_t>(p, static_cast<uint16_t>(count));
    return Put<SizeField<Wide>>(p, static_cast<SizeField<Wide>>(dataSize));
}

// One element descriptor in two stores: type, length and id (and the narrow form's
// format) in one 64-bit word, the rest in a second one.
template <bool Wide>
inline unsigned char* PutDescriptor(unsigned char* p, const CKvsBytePtr& e)
{
    const uint64_t type = e.GetType(), id = e.GetId(), format = e.GetFormat(), useAs = e.GetUseAs();
    if constexpr (Wide) {
        p = Put<uint64_t>(p, type | uint64_t{e.GetLength()} << 16 | id << 48);
        return Put<uint32_t>(p, static_cast<uint32_t>(format | useAs << 16));
    } else {
        const uint64_t length = static_cast<uint16_t>(e.GetLength());
        p = Put<uint64_t>(p, type | length << 16 | id << 32 | format << 48);
        return Put<uint16_t>(p, static_cast<uint16_t>(useAs));
    }
}

// The dynamic part up to the element statuses.
template <bool Wide>
unsigned char* PutDynamicHead(unsigned char* p, unsigned int dynamicSize, double time, unsigned short statusWord)
{
    p = Put<SizeField<Wide>>(p, static_cast<SizeField<Wide>>(dynamicSize));
    p = Put<double>(p, time);
    return Put<uint16_t>(p, statusWord);
}

inline unsigned char* PutData(unsigned char* p, const unsigned char* data, unsigned int dataSize)
{
    if (!data) return p;
    std::memcpy(p, data, dataSize); // the one block copy of the values
    return p + dataSize;
}

} // namespace

// The whole record walks the element table once: descriptor i goes into the static part
// and status i into the dynamic part in the same step.
bool CDataBlock::Pack(unsigned char** pos, unsigned int& remaining, bool wide) const
{
    const RecordSizes sizes(m_count, m_dataSize, wide);
    if (!pos || !*pos || !sizes.fits || remaining < sizes.total) return false;
    const auto total = static_cast<unsigned int>(sizes.total), staticSize = static_cast<unsigned int>(sizes.staticSize),
               dynamicSize = static_cast<unsigned int>(sizes.dynamicSize);
    auto pack = [&]<bool Wide>(unsigned char* p) {
        // Locals: the stores through p could alias the members, which would then be
        // loaded again for every element.
        const CKvsBytePtr* const table = m_table.get();
        const unsigned int count = m_count;
        p = Put<SizeField<Wide>>(p, static_cast<SizeField<Wide>>(total));
        p = PutStaticHead<Wide>(p, staticSize, m_dataId, count, m_dataSize);
        unsigned char* const dynamic = p + static_cast<size_t>(Form(Wide).descriptor) * count;
        unsigned char* status = PutDynamicHead<Wide>(dynamic, dynamicSize, m_time, m_statusWord);
#pragma GCC unroll 4
        for (unsigned int i = 0; i < count; ++i) {
            p = PutDescriptor<Wide>(p, table[i]);
            status = Put<uint16_t>(status, table[i].GetStatus());
        }
        return PutData(status, m_buffer.get(), m_dataSize);
    };
    *pos = wide ? pack.template operator()<true>(*pos) : pack.template operator()<false>(*pos);
    remaining -= total;
    return true;
}

bool CDataBlock::PackStatic(unsigned char** pos, unsigned int& remaining, bool wide) const
{
    const RecordSizes sizes(m_count, m_dataSize, wide);
    if (!pos || !*pos || !sizes.fits || remaining < sizes.staticSize) return false;
    const auto size = static_cast<unsigned int>(sizes.staticSize);
    auto pack = [&]<bool Wide>(unsigned char* p) {
        const CKvsBytePtr* const table = m_table.get();
        const unsigned int count = m_count;
        p = PutStaticHead<Wide>(p, size, m_dataId, count, m_dataSize);
        for (unsigned int i = 0; i < count; ++i) p = PutDescriptor<Wide>(p, table[i]);
        return p;
    };
    *pos = wide ? pack.template operator()<true>(*pos) : pack.template operator()<false>(*pos);
    remaining -= size;
    return true;
}

bool CDataBlock::PackDynamic(unsigned char** pos, unsigned int& remaining, bool wide) const
{
    const RecordSizes sizes(m_count, m_dataSize, wide);
    if (!pos || !*pos || !sizes.fits || remaining < sizes.dynamicSize) return false;
    const auto size = static_cast<unsigned int>(sizes.dynamicSize);
    auto pack = [&]<bool Wide>(unsigned char* p) {
        const CKvsBytePtr* const table = m_table.get();
        const unsigned int count = m_count;
        p = PutDynamicHead<Wide>(p, size, m_time, m_statusWord);
        for (unsigned int i = 0; i < count; ++i) p = Put<uint16_t>(p, table[i].GetStatus());
        return PutData(p, m_buffer.get(), m_dataSize);
    };
    *pos = wide ? pack.template operator()<true>(*pos) : pack.template operator()<false>(*pos);
    remaining -= size;
    return true;
}

// ---- unpacking

namespace {

template <typename T>
inline const unsigned char* Take(const unsigned char* p, T& value)
{
    value = kvs::LoadLE<T>(p);
    return p + sizeof(T);
}

// The caller's position and remaining count, kept in locals while a record is read and
// handed back however the reading ends.
struct ReadCursor
{
    ReadCursor(const unsigned char** pos, unsigned int& remaining)
        : m_pos(pos), m_remaining(remaining), p(*pos), left(remaining)
    {
    }
    ~ReadCursor()
    {
        *m_pos = p;
        m_remaining = left;
    }
    ReadCursor(const ReadCursor&) = delete;
    ReadCursor& operator=(const ReadCursor&) = delete;

    // A checked read: false, nothing moved, when the field does not fit.
    template <typename T>
    bool Read(T& value)
    {
        if (left < sizeof(T)) return false;
        p = Take<T>(p, value);
        left -= static_cast<unsigned int>(sizeof(T));
        return true;
    }
    // An unchecked read of a field known to fit.
    template <typename T>
    T Next()
    {
        T value;
        p = Take<T>(p, value);
        left -= static_cast<unsigned int>(sizeof(T));
        return value;
    }

    const unsigned char** m_pos;
    unsigned int& m_remaining;
    const unsigned char* p;
    unsigned int left;
};

} // namespace

// The fixed fields at the start are read one by one within the remaining bytes; the
// first one that does not fit ends the unpacking with false. Then, before anything is
// allocated, the element descriptors, the dynamic part and the announced data size are
// checked against the bytes that remain at once, so a malformed record cannot make the
// block allocate more than the record itself could fill, and the rest is read without a
// check per field.
//
// Decision: when the element lengths do not add up to the announced data size, the block
// keeps the record's layout but no buffer (data size 0, every data pointer null).
bool CDataBlock::UnPack(const unsigned char** pos, unsigned int& remaining, bool wide)
{
    if (!pos || (!*pos && remaining > 0)) return false;
    // One body for both forms, with the width of the size fields fixed at compile time.
    auto unpack = [&]<bool Wide>() {
        using Size = SizeField<Wide>;
        ReadCursor in(pos, remaining);
        const unsigned int available = in.left;
        Size total = 0;
        if (!in.Read(total) || total > available) return false;

        unsigned short staticSize = 0, dataType = 0, groupId = 0, vesselId = 0, deviceNum = 0, count = 0;
        if (!in.Read(staticSize)) return false;
        if (!in.Read(dataType)) return false;
        m_dataId.SetDataType(dataType);
        if (!in.Read(groupId)) return false;
        m_dataId.SetGroupId(groupId);
        if (!in.Read(vesselId)) return false;
        m_dataId.SetVesselId(vesselId);
        if (!in.Read(deviceNum)) return false;
        m_dataId.SetDeviceNum(deviceNum);
        if (!in.Read(count)) return false;
        Size dataSize = 0;
        if (!in.Read(dataSize)) return false;

        const FormWidths& f = Form(Wide);
        const uint64_t rest = static_cast<uint64_t>(f.descriptor) * count + f.dynamicFixed + 2ull * count + dataSize;
        if (rest > in.left) return false;

        if (count != m_count && !Allocate(count)) return false;
        // Locals, as the stores into the elements could alias the members. The data
        // pointers are set along: they are those of the buffer kept when the data size
        // stays, and set anew below otherwise.
        unsigned char* const buffer = m_buffer.get();
        const uint64_t bufferSize = m_dataSize;
        CKvsBytePtr* const table = m_table.get();
        const unsigned int elements = m_count;
        uint64_t sum = 0;
#pragma GCC unroll 4
        for (unsigned int i = 0; i < elements; ++i) {
            CKvsBytePtr& e = table[i];
            e.SetType(in.Next<uint16_t>());
            const unsigned int length = in.Next<Size>();
            e.SetLength(length);
            e.SetId(in.Next<uint16_t>());
            e.SetFormat(in.Next<uint16_t>());
            e.SetUseAs(in.Next<uint16_t>());
            e.SetGroupId(groupId);
            e.SetDataPtr(buffer && sum + length <= bufferSize ? buffer + sum : nullptr);
            sum += length;
        }

        in.Next<Size>(); // the dynamic part size: not compared with anything
        m_time = in.Next<double>();
        m_statusWord = in.Next<uint16_t>();
        for (unsigned int i = 0; i < elements; ++i) table[i].SetStatus(in.Next<uint16_t>());

        if (sum != dataSize) {
            m_buffer.reset();
            m_dataSize = 0;
            AssignBptr();
            return false;
        }
        // The same data size reuses the buffer (the pointers are set); another one gets a
        // fresh buffer.
        if (dataSize != m_dataSize && (!Init() || m_dataSize != dataSize)) return false;
        if (!m_buffer) return true;
        std::memcpy(m_buffer.get(), in.p, m_dataSize); // within rest, checked above
        in.p += m_dataSize;
        in.left -= m_dataSize;
        return true;
    };
    return wide ? unpack.template operator()<true>() : unpack.template operator()<false>();
}
