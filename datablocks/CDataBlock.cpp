#include <KvsDataBlocks/datablocks/CDataBlock.h>

#include <algorithm>
#include <utility>
#include <cstring>
#include <limits>
#include <new>

// Layout invariants kept by every re-layout (Init, ResizeDataBlock, assignment, UnPack):
// the data size is the sum of the element lengths and element i's data starts at the
// sum of the lengths before it; without a buffer every data pointer is null.
//
// Out of memory inside a block operation is caught and reported as false.

namespace {

constexpr uint64_t kMaxDataSize = std::numeric_limits<uint32_t>::max();

template <typename T>
bool GetFound(const CKvsBytePtr* e, T& value, unsigned short& status)
{
    if (!e) return false;
    status = e->GetStatus();
    return e->GetValue(value);
}

template <typename T>
bool GetFoundArray(const CKvsBytePtr* e, T*& items, int& count, unsigned short& status)
{
    if (!e) return false;
    status = e->GetStatus();
    return e->GetValue(items, count);
}

template <typename T>
bool SetFound(CKvsBytePtr* e, const T& value, unsigned short status)
{
    if (!e || !e->SetValue(value)) return false;
    e->SetStatus(status);
    return true;
}

template <typename S, typename L>
bool AllFit(const L* items, int count)
{
    if (count > 0 && !items) return false;
    for (int i = 0; i < count; ++i)
        if (items[i] < static_cast<L>(std::numeric_limits<S>::min()) ||
            items[i] > static_cast<L>(std::numeric_limits<S>::max()))
            return false;
    return true;
}

} // namespace

// ---- life cycle

CDataBlock::CDataBlock() = default;

CDataBlock::CDataBlock(const CDataBlock& other)
{
    *this = other;
}

CDataBlock::~CDataBlock() = default;

CDataBlock& CDataBlock::operator=(const CDataBlock& other)
{
    if (this == &other) return *this;
    m_time = other.m_time;
    m_statusWord = other.m_statusWord;
    m_dataId = other.m_dataId;
    if (m_count != other.m_count) Allocate(other.m_count);
    if (m_table && other.m_table)
        for (unsigned int i = 0; i < m_count; ++i)
            m_table[i] = other.m_table[i];
    // Same data size: the existing buffer is reused.
    if (m_dataSize != other.m_dataSize)
        Init();
    else
        AssignBptr();
    if (m_buffer && other.m_buffer)
        std::memcpy(m_buffer.get(), other.m_buffer.get(), std::min(m_dataSize, other.m_dataSize));
    return *this;
}

void CDataBlock::Swap(CDataBlock& other) noexcept
{
    std::swap(m_dataId, other.m_dataId);
    std::swap(m_time, other.m_time);
    std::swap(m_statusWord, other.m_statusWord);
    std::swap(m_count, other.m_count);
    std::swap(m_dataSize, other.m_dataSize);
    m_table.swap(other.m_table);
    m_buffer.swap(other.m_buffer);
}

bool CDataBlock::Allocate(unsigned int count)
{
    m_buffer.reset();
    m_dataSize = 0;
    m_table.reset();
    m_count = 0;
    if (count == 0) return true;
    // The count is a 16-bit number: a larger request is refused rather than cut.
    if (count > kMaxElements) return false;
    try {
        m_table = std::make_unique<CKvsBytePtr[]>(count);
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_count = static_cast<unsigned short>(count);
    return true;
}

bool CDataBlock::InitDataElement(int index, unsigned short id, unsigned short type, unsigned short length,
                                 unsigned short format, unsigned short useAs)
{
    if (!m_table || index < 0 || index >= m_count) return false;
    CKvsBytePtr& e = m_table[index];
    e.SetType(type);
    e.SetLength(length);
    e.SetId(id);
    e.SetFormat(format);
    e.SetUseAs(useAs);
    e.SetStatus(kvs::kStatusInvalid);
    e.SetDataPtr(nullptr);
    e.SetGroupId(m_dataId.GetGroupId());
    return true;
}

bool CDataBlock::Init()
{
    m_buffer.reset();
    m_dataSize = 0;
    uint64_t sum = 0;
    for (unsigned int i = 0; i < m_count; ++i)
        sum += m_table[i].GetLength();
    bool ok = sum <= kMaxDataSize;
    if (ok && sum > 0) {
        try {
            m_buffer.reset(new unsigned char[sum]());
            m_dataSize = static_cast<unsigned int>(sum);
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    AssignBptr();
    return ok;
}

// Decision: the result is that of the final Init, so a buffer lost to out-of-memory is
// reported as false rather than as success.
bool CDataBlock::RemoveDataElement(int index)
{
    if (!m_table || index < 0 || index >= m_count) return false;
    const unsigned int newCount = m_count - 1u;
    std::unique_ptr<CKvsBytePtr[]> table;
    if (newCount > 0) {
        try {
            table = std::make_unique<CKvsBytePtr[]>(newCount);
        } catch (const std::bad_alloc&) {
            return false;
        }
        for (unsigned int i = 0, j = 0; i < m_count; ++i)
            if (i != static_cast<unsigned int>(index)) table[j++] = m_table[i];
    }
    m_table = std::move(table);
    m_count = static_cast<unsigned short>(newCount);
    return Init();
}

void CDataBlock::SetEmpty()
{
    SetStatus(kvs::kStatusEmpty);
    for (unsigned int i = 0; i < m_count; ++i)
        m_table[i].SetStatus(kvs::kStatusEmpty);
}

void CDataBlock::AssignBptr()
{
    uint64_t offset = 0;
    for (unsigned int i = 0; i < m_count; ++i) {
        CKvsBytePtr& e = m_table[i];
        const uint64_t end = offset + e.GetLength();
        // An element that would reach past the buffer gets no data area at all.
        e.SetDataPtr(m_buffer && end <= m_dataSize ? m_buffer.get() + offset : nullptr);
        offset = end;
    }
}

bool CDataBlock::ResizeDataBlock(unsigned short index, unsigned int newLength)
{
    CKvsBytePtr& e = m_table[index];
    if (!m_buffer) {
        e.SetLength(newLength);
        return Init();
    }
    uint64_t before = 0, after = 0;
    for (unsigned int i = 0; i < m_count; ++i) {
        if (i < index) before += m_table[i].GetLength();
        if (i > index) after += m_table[i].GetLength();
    }
    const uint64_t oldLength = e.GetLength();
    const uint64_t total = before + newLength + after;
    if (total > kMaxDataSize || before + oldLength + after != m_dataSize) return false;
    std::unique_ptr<unsigned char[]> buffer;
    if (total > 0) {
        try {
            buffer = std::make_unique_for_overwrite<unsigned char[]>(total);
        } catch (const std::bad_alloc&) {
            return false;
        }
        if (before) std::memcpy(buffer.get(), m_buffer.get(), before);
        if (newLength) std::memset(buffer.get() + before, 0, newLength);
        if (after) std::memcpy(buffer.get() + before + newLength, m_buffer.get() + before + oldLength, after);
    }
    m_buffer = std::move(buffer);
    m_dataSize = static_cast<unsigned int>(total);
    e.SetLength(newLength);
    AssignBptr();
    return true;
}

// ---- status word

unsigned short CDataBlock::GetStatus() const
{
    return m_statusWord & kvs::kBlockStatusMask;
}

void CDataBlock::SetStatus(unsigned short status)
{
    m_statusWord = static_cast<unsigned short>((m_statusWord & kvs::kBlockFlagMask) | (status & kvs::kBlockStatusMask));
}

unsigned short CDataBlock::GetStatusFlag() const
{
    return m_statusWord & kvs::kBlockFlagMask;
}

void CDataBlock::SetStatusFlag(unsigned short flags)
{
    m_statusWord = static_cast<unsigned short>(m_statusWord | flags);
}

void CDataBlock::ResetStatusFlag(unsigned short flags)
{
    m_statusWord = static_cast<unsigned short>(m_statusWord & ~flags);
}

bool CDataBlock::CheckStatusFlag(unsigned short flags) const
{
    return (m_statusWord & flags) != 0;
}

// ---- finding elements

bool CDataBlock::LookUp(unsigned short key, unsigned short mode, unsigned short& index) const
{
    // Element ids lie below 100, use-as codes at 100 and above.
    if (key >= 100) mode = kByUseAs;
    switch (mode) {
    case kByPosition:
        if (key >= m_count) return false;
        index = key;
        return true;
    case kById:
    case kByUseAs:
        for (unsigned int i = 0; i < m_count; ++i) {
            const CKvsBytePtr& e = m_table[i];
            if ((mode == kById ? e.GetId() : e.GetUseAs()) == key) {
                index = static_cast<unsigned short>(i);
                return true;
            }
        }
        return false;
    default: return false;
    }
}

const CKvsBytePtr* CDataBlock::FindElement(unsigned short key, unsigned short mode) const
{
    unsigned short index = 0;
    return LookUp(key, mode, index) ? &m_table[index] : nullptr;
}

CKvsBytePtr* CDataBlock::FindElement(unsigned short key, unsigned short mode)
{
    unsigned short index = 0;
    return LookUp(key, mode, index) ? &m_table[index] : nullptr;
}

bool CDataBlock::GetData(unsigned short key, CKvsBytePtr& out, unsigned short mode) const
{
    const CKvsBytePtr* e = FindElement(key, mode);
    if (!e) return false;
    out = *e;
    return true;
}

bool CDataBlock::GetData(unsigned short key, CKvsBytePtr*& out, unsigned short mode) const
{
    unsigned short index = 0;
    if (!LookUp(key, mode, index)) return false;
    out = &m_table[index];
    return true;
}

bool CDataBlock::GetDataIdx(unsigned short index, CKvsBytePtr& out) const
{
    if (index >= m_count) return false;
    out = m_table[index];
    return true;
}

bool CDataBlock::GetDataIdx(unsigned short index, CKvsBytePtr*& out) const
{
    if (index >= m_count) return false;
    out = &m_table[index];
    return true;
}

bool CDataBlock::GetDataId(unsigned short index, unsigned short& id) const
{
    if (index >= m_count) return false;
    id = m_table[index].GetId();
    return true;
}

bool CDataBlock::SetDataStatus(unsigned short key, unsigned short status, unsigned short mode)
{
    CKvsBytePtr* e = FindElement(key, mode);
    if (!e) return false;
    e->SetStatus(status);
    return true;
}

// ---- typed getters

#define KVS_SCALAR_GET(T)                                                                                    \
    bool CDataBlock::GetDataValue(unsigned short key, T& value, unsigned short& status, unsigned short mode) \
        const                                                                                                \
    {                                                                                                        \
        return GetFound(FindElement(key, mode), value, status);                                              \
    }
KVS_SCALAR_GET(bool)
KVS_SCALAR_GET(int)
KVS_SCALAR_GET(short)
KVS_SCALAR_GET(long)
KVS_SCALAR_GET(float)
KVS_SCALAR_GET(double)
KVS_SCALAR_GET(unsigned char)
KVS_SCALAR_GET(unsigned int)
KVS_SCALAR_GET(unsigned short)
KVS_SCALAR_GET(unsigned long)
KVS_SCALAR_GET(unsigned long long)
KVS_SCALAR_GET(CString)
KVS_SCALAR_GET(CDataInfo)
KVS_SCALAR_GET(CStringArray)
KVS_SCALAR_GET(std::vector<long>)
KVS_SCALAR_GET(std::vector<unsigned long>)
#undef KVS_SCALAR_GET

#define KVS_ARRAY_GET(T)                                                                                   \
    bool CDataBlock::GetDataValue(unsigned short key, T*& items, int& count, unsigned short& status,       \
                                  unsigned short mode) const                                               \
    {                                                                                                      \
        return GetFoundArray(FindElement(key, mode), items, count, status);                                \
    }
KVS_ARRAY_GET(bool)
KVS_ARRAY_GET(char)
KVS_ARRAY_GET(int)
KVS_ARRAY_GET(short)
KVS_ARRAY_GET(kvs::Long32)
KVS_ARRAY_GET(float)
KVS_ARRAY_GET(double)
KVS_ARRAY_GET(unsigned char)
KVS_ARRAY_GET(unsigned int)
KVS_ARRAY_GET(unsigned short)
KVS_ARRAY_GET(kvs::ULong32)
KVS_ARRAY_GET(Triangle)
#undef KVS_ARRAY_GET

// ---- typed setters

#define KVS_SCALAR_SET(T)                                                                                    \
    bool CDataBlock::SetDataValue(unsigned short key, T value, unsigned short status, unsigned short mode) \
    {                                                                                                        \
        return SetFound(FindElement(key, mode), value, status);                                              \
    }
KVS_SCALAR_SET(bool)
KVS_SCALAR_SET(char)
KVS_SCALAR_SET(int)
KVS_SCALAR_SET(short)
KVS_SCALAR_SET(long)
KVS_SCALAR_SET(float)
KVS_SCALAR_SET(double)
KVS_SCALAR_SET(unsigned char)
KVS_SCALAR_SET(unsigned int)
KVS_SCALAR_SET(unsigned short)
KVS_SCALAR_SET(unsigned long)
KVS_SCALAR_SET(unsigned long long)
KVS_SCALAR_SET(const CDataInfo&)
#undef KVS_SCALAR_SET

template <typename T>
bool CDataBlock::SetArray(unsigned short key, unsigned short code, unsigned int itemSize, const T* items, int count,
                          unsigned short status, unsigned short mode)
{
    unsigned short index = 0;
    if (!LookUp(key, mode, index) || m_table[index].GetType() != code) return false;
    if (count < 0 || (count > 0 && !items)) return false;
    const uint64_t newLength = static_cast<uint64_t>(count) * itemSize;
    if (newLength > kMaxDataSize) return false;
    if (newLength != m_table[index].GetLength() && !ResizeDataBlock(index, static_cast<unsigned int>(newLength)))
        return false;
    CKvsBytePtr& e = m_table[index];
    if (!e.SetValue(items, count)) return false;
    e.SetStatus(status);
    return true;
}

#define KVS_ARRAY_SET(T, code, size)                                                                      \
    bool CDataBlock::SetDataValue(unsigned short key, const T* items, int count, unsigned short status,   \
                                  unsigned short mode)                                                    \
    {                                                                                                     \
        return SetArray(key, code, size, items, count, status, mode);                                     \
    }
KVS_ARRAY_SET(bool, ET_BOOL_ARRAY, 1)
KVS_ARRAY_SET(char, ET_CHAR_ARRAY, 1)
KVS_ARRAY_SET(int, ET_INT_ARRAY, 4)
KVS_ARRAY_SET(short, ET_SHORT_ARRAY, 2)
KVS_ARRAY_SET(kvs::Long32, ET_LONG_ARRAY, 4)
KVS_ARRAY_SET(float, ET_FLOAT_ARRAY, 4)
KVS_ARRAY_SET(double, ET_DOUBLE_ARRAY, 8)
KVS_ARRAY_SET(unsigned char, ET_UCHAR_ARRAY, 1)
KVS_ARRAY_SET(unsigned int, ET_UINT_ARRAY, 4)
KVS_ARRAY_SET(unsigned short, ET_USHORT_ARRAY, 2)
KVS_ARRAY_SET(kvs::ULong32, ET_ULONG_ARRAY, 4)
KVS_ARRAY_SET(Triangle, ET_TRIANGLE_ARRAY, kvs::kTriangleSize)
#undef KVS_ARRAY_SET

// Platform longs: refused before anything is resized when an item does not fit 32 bits.
bool CDataBlock::SetDataValue(unsigned short key, const long* items, int count, unsigned short status,
                              unsigned short mode)
{
    if (!AllFit<int32_t>(items, count)) return false;
    return SetArray(key, ET_LONG_ARRAY, 4, items, count, status, mode);
}

bool CDataBlock::SetDataValue(unsigned short key, const unsigned long* items, int count, unsigned short status,
                              unsigned short mode)
{
    if (!AllFit<uint32_t>(items, count)) return false;
    return SetArray(key, ET_ULONG_ARRAY, 4, items, count, status, mode);
}

bool CDataBlock::SetDataValue(unsigned short key, const CString& text, unsigned short status, unsigned short mode)
{
    unsigned short index = 0;
    if (!LookUp(key, mode, index) || m_table[index].GetType() != ET_STRING) return false;
    const unsigned int newLength = static_cast<unsigned int>(text.GetLength());
    if (newLength != m_table[index].GetLength() && !ResizeDataBlock(index, newLength)) return false;
    CKvsBytePtr& e = m_table[index];
    if (!e.SetValue(text)) return false;
    e.SetStatus(status);
    return true;
}

bool CDataBlock::SetDataValue(unsigned short key, const CStringArray& list, unsigned short status,
                              unsigned short mode)
{
    unsigned short index = 0;
    if (!LookUp(key, mode, index) || m_table[index].GetType() != ET_STRING_ARRAY) return false;
    uint64_t newLength = 4;
    for (const CString& s : list)
        newLength += 4 + static_cast<uint64_t>(s.GetLength());
    if (newLength > kMaxDataSize) return false;
    if (newLength != m_table[index].GetLength() && !ResizeDataBlock(index, static_cast<unsigned int>(newLength)))
        return false;
    CKvsBytePtr& e = m_table[index];
    if (!e.SetValue(list)) return false;
    e.SetStatus(status);
    return true;
}

// ---- values through double

bool CDataBlock::GetDataAsDouble(unsigned short key, double& value, unsigned short& status, unsigned short mode,
                                 bool convertUnits) const
{
    const CKvsBytePtr* e = FindElement(key, mode);
    if (!e) return false;
    status = e->GetStatus();
    return e->GetValueInDouble(value, convertUnits);
}

bool CDataBlock::GetDataAsDouble(unsigned short key, unsigned short index, double& value, unsigned short& status,
                                 unsigned short mode, bool convertUnits) const
{
    const CKvsBytePtr* e = FindElement(key, mode);
    if (!e) return false;
    status = e->GetStatus();
    return e->GetValueInDouble(index, value, convertUnits);
}

bool CDataBlock::SetDataFromDouble(unsigned short key, double value, unsigned short status, unsigned short mode)
{
    CKvsBytePtr* e = FindElement(key, mode);
    if (!e || !e->SetValueFromDouble(value)) return false;
    e->SetStatus(status);
    return true;
}

// ---- time comparison (IEEE comparisons: a NaN time makes each false)

bool CDataBlock::operator==(const CDataBlock& other) const
{
    return m_time == other.m_time;
}

bool CDataBlock::operator>(const CDataBlock& other) const
{
    return m_time > other.m_time;
}

bool CDataBlock::operator<=(const CDataBlock& other) const
{
    return m_time <= other.m_time;
}
