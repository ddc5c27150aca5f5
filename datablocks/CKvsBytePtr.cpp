#include <KvsDataBlocks/datablocks/ByteLayout.h>
#include <KvsDataBlocks/datablocks/CKvsBytePtr.h>

#include <climits>
#include <limits>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

// Every access to the data area goes through memcpy (kvs::LoadLE/StoreLE): the area lies
// wherever the element's offset in its block puts it, with no alignment.
//
// Decision: an accessor also fails when the element's length is shorter than the item it
// would read or write (a scalar, a data-info reference, an array item), so a mis-declared
// length can never make it touch bytes beyond the element's area.

namespace {

// How the numbers of one type code lie in the data area.
enum class Num : unsigned char { None, Bool, I8, U8, I16, U16, I32, U32, F32, F64 };

struct NumericType
{
    unsigned short code;
    Num num;
    double lower; // clamp bounds of SetValueFromDouble (integer types only)
    double upper;
};

// Scalars 101..111 and arrays 601..611 that convert to and from double.
constexpr NumericType kNumericTypes[] = {
    {ET_INT, Num::I32, -2147483648.0, 2147483647.0},
    {ET_UINT, Num::U32, 0.0, 4294967295.0},
    {ET_DOUBLE, Num::F64, 0.0, 0.0},
    {ET_BOOL, Num::Bool, 0.0, 0.0},
    {ET_CHAR, Num::I8, -128.0, 127.0},
    {ET_UCHAR, Num::U8, 0.0, 255.0},
    {ET_LONG, Num::I32, -2147483648.0, 2147483647.0},
    {ET_ULONG, Num::U32, 0.0, 4294967295.0},
    {ET_FLOAT, Num::F32, 0.0, 0.0},
    {ET_SHORT, Num::I16, -32768.0, 32767.0},
    {ET_USHORT, Num::U16, 0.0, 65535.0},
    {ET_BOOL_ARRAY, Num::U8, 0.0, 0.0},
    {ET_CHAR_ARRAY, Num::I8, 0.0, 0.0},
    {ET_INT_ARRAY, Num::I32, 0.0, 0.0},
    {ET_SHORT_ARRAY, Num::I16, 0.0, 0.0},
    {ET_LONG_ARRAY, Num::I32, 0.0, 0.0},
    {ET_FLOAT_ARRAY, Num::F32, 0.0, 0.0},
    {ET_DOUBLE_ARRAY, Num::F64, 0.0, 0.0},
    {ET_UCHAR_ARRAY, Num::U8, 0.0, 0.0},
    {ET_UINT_ARRAY, Num::U32, 0.0, 0.0},
    {ET_USHORT_ARRAY, Num::U16, 0.0, 0.0},
    {ET_ULONG_ARRAY, Num::U32, 0.0, 0.0},
};

const NumericType* FindNumeric(unsigned short code)
{
    for (const NumericType& t : kNumericTypes)
        if (t.code == code) return &t;
    return nullptr;
}

constexpr unsigned int NumSize(Num n)
{
    switch (n) {
    case Num::Bool:
    case Num::I8:
    case Num::U8: return 1;
    case Num::I16:
    case Num::U16: return 2;
    case Num::I32:
    case Num::U32:
    case Num::F32: return 4;
    case Num::F64: return 8;
    case Num::None: break;
    }
    return 0;
}

double LoadAsDouble(Num n, const unsigned char* p)
{
    switch (n) {
    case Num::Bool: return kvs::LoadLE<uint8_t>(p) != 0 ? 1.0 : 0.0;
    case Num::I8: return kvs::LoadLE<int8_t>(p);
    case Num::U8: return kvs::LoadLE<uint8_t>(p);
    case Num::I16: return kvs::LoadLE<int16_t>(p);
    case Num::U16: return kvs::LoadLE<uint16_t>(p);
    case Num::I32: return kvs::LoadLE<int32_t>(p);
    case Num::U32: return kvs::LoadLE<uint32_t>(p);
    case Num::F32: return kvs::LoadLE<float>(p);
    case Num::F64: return kvs::LoadLE<double>(p);
    case Num::None: break;
    }
    return 0.0;
}

constexpr int kMaxCount = INT_MAX;

int ItemCount(unsigned int length, unsigned int itemSize)
{
    const unsigned int n = length / itemSize;
    return n > static_cast<unsigned int>(kMaxCount) ? kMaxCount : static_cast<int>(n);
}

// Whether count items of itemSize bytes fit an area of length bytes.
bool Fits(int count, unsigned int itemSize, unsigned int length)
{
    return count >= 0 && static_cast<uint64_t>(count) * itemSize <= length;
}

} // namespace

CKvsBytePtr::CKvsBytePtr() = default;

CKvsBytePtr::CKvsBytePtr(unsigned short type, unsigned int length) : m_type(type), m_length(length) {}

CKvsBytePtr::CKvsBytePtr(const CKvsBytePtr& other)
    : CKvsType(other), m_type(other.m_type), m_length(other.m_length), m_id(other.m_id), m_status(other.m_status),
      m_format(other.m_format), m_useAs(other.m_useAs), m_groupId(other.m_groupId), m_data(other.m_data)
{
}

CKvsBytePtr::~CKvsBytePtr() = default;

const CKvsBytePtr& CKvsBytePtr::operator=(const CKvsBytePtr& other)
{
    m_type = other.m_type;
    m_length = other.m_length;
    m_id = other.m_id;
    m_status = other.m_status;
    m_format = other.m_format;
    m_useAs = other.m_useAs;
    m_groupId = other.m_groupId;
    m_data = other.m_data;
    return *this;
}

// ---- scalars

namespace {

// S is the stored type (exact width); V the caller's type.
template <typename S, typename V>
bool LoadScalar(const CKvsBytePtr& e, unsigned short code, V& out)
{
    if (!e.GetDataPtr() || e.GetType() != code || e.GetLength() < sizeof(S)) return false;
    out = static_cast<V>(kvs::LoadLE<S>(e.GetDataPtr()));
    return true;
}

template <typename S, typename V>
bool StoreScalar(CKvsBytePtr& e, unsigned short code, V value)
{
    if (!e.GetDataPtr() || e.GetType() != code || e.GetLength() < sizeof(S)) return false;
    kvs::StoreLE<S>(e.GetDataPtr(), static_cast<S>(value));
    return true;
}

} // namespace

bool CKvsBytePtr::GetValue(bool& out) const
{
    uint8_t b = 0;
    if (!LoadScalar<uint8_t>(*this, ET_BOOL, b)) return false;
    out = b != 0;
    return true;
}
bool CKvsBytePtr::GetValue(char& out) const { return LoadScalar<char>(*this, ET_CHAR, out); }
bool CKvsBytePtr::GetValue(int& out) const { return LoadScalar<int32_t>(*this, ET_INT, out); }
bool CKvsBytePtr::GetValue(short& out) const { return LoadScalar<int16_t>(*this, ET_SHORT, out); }
bool CKvsBytePtr::GetValue(long& out) const { return LoadScalar<int32_t>(*this, ET_LONG, out); }
bool CKvsBytePtr::GetValue(float& out) const { return LoadScalar<float>(*this, ET_FLOAT, out); }
bool CKvsBytePtr::GetValue(double& out) const { return LoadScalar<double>(*this, ET_DOUBLE, out); }
bool CKvsBytePtr::GetValue(unsigned char& out) const { return LoadScalar<uint8_t>(*this, ET_UCHAR, out); }
bool CKvsBytePtr::GetValue(unsigned int& out) const { return LoadScalar<uint32_t>(*this, ET_UINT, out); }
bool CKvsBytePtr::GetValue(unsigned short& out) const { return LoadScalar<uint16_t>(*this, ET_USHORT, out); }
bool CKvsBytePtr::GetValue(unsigned long& out) const { return LoadScalar<uint32_t>(*this, ET_ULONG, out); }
bool CKvsBytePtr::GetValue(unsigned long long& out) const { return LoadScalar<uint64_t>(*this, ET_UINT64, out); }

bool CKvsBytePtr::SetValue(bool value) { return StoreScalar<uint8_t>(*this, ET_BOOL, value ? 1 : 0); }
bool CKvsBytePtr::SetValue(char value) { return StoreScalar<char>(*this, ET_CHAR, value); }
bool CKvsBytePtr::SetValue(int value) { return StoreScalar<int32_t>(*this, ET_INT, value); }
bool CKvsBytePtr::SetValue(short value) { return StoreScalar<int16_t>(*this, ET_SHORT, value); }
bool CKvsBytePtr::SetValue(long value)
{
    if (value < INT32_MIN || value > INT32_MAX) return false;
    return StoreScalar<int32_t>(*this, ET_LONG, value);
}
bool CKvsBytePtr::SetValue(float value) { return StoreScalar<float>(*this, ET_FLOAT, value); }
bool CKvsBytePtr::SetValue(double value) { return StoreScalar<double>(*this, ET_DOUBLE, value); }
bool CKvsBytePtr::SetValue(unsigned char value) { return StoreScalar<uint8_t>(*this, ET_UCHAR, value); }
bool CKvsBytePtr::SetValue(unsigned int value) { return StoreScalar<uint32_t>(*this, ET_UINT, value); }
bool CKvsBytePtr::SetValue(unsigned short value) { return StoreScalar<uint16_t>(*this, ET_USHORT, value); }
bool CKvsBytePtr::SetValue(unsigned long value)
{
    if (value > UINT32_MAX) return false;
    return StoreScalar<uint32_t>(*this, ET_ULONG, value);
}
bool CKvsBytePtr::SetValue(unsigned long long value) { return StoreScalar<uint64_t>(*this, ET_UINT64, value); }

// ---- arrays

namespace {

template <typename T>
bool ViewArray(const CKvsBytePtr& e, unsigned short code, unsigned int itemSize, T*& items, int& count)
{
    if (!e.GetDataPtr() || e.GetType() != code) return false;
    // The pointer is handed out as it lies; this library never dereferences it.
    items = reinterpret_cast<T*>(const_cast<unsigned char*>(e.GetDataPtr()));
    count = ItemCount(e.GetLength(), itemSize);
    return true;
}

template <typename T>
bool CopyArrayIn(CKvsBytePtr& e, unsigned short code, const T* items, int count)
{
    if (!e.GetDataPtr() || e.GetType() != code || !Fits(count, sizeof(T), e.GetLength())) return false;
    if (count == 0) return true;
    if (!items) return false;
    // Native items are little-endian with the stored widths, so one block copy stores them.
    std::memcpy(e.GetDataPtr(), items, static_cast<size_t>(count) * sizeof(T));
    return true;
}

// Platform longs stored as 32-bit items; nothing is written unless every item fits.
template <typename S, typename L>
bool NarrowArrayIn(CKvsBytePtr& e, unsigned short code, const L* items, int count)
{
    if (!e.GetDataPtr() || e.GetType() != code || !Fits(count, sizeof(S), e.GetLength())) return false;
    if (count == 0) return true;
    if (!items) return false;
    for (int i = 0; i < count; ++i)
        if (items[i] < static_cast<L>(std::numeric_limits<S>::min()) ||
            items[i] > static_cast<L>(std::numeric_limits<S>::max()))
            return false;
    unsigned char* p = e.GetDataPtr();
    for (int i = 0; i < count; ++i, p += sizeof(S))
        kvs::StoreLE<S>(p, static_cast<S>(items[i]));
    return true;
}

template <typename S, typename L>
bool WidenArrayOut(const CKvsBytePtr& e, unsigned short code, std::vector<L>& out)
{
    if (!e.GetDataPtr() || e.GetType() != code) return false;
    try {
        std::vector<L> items(static_cast<size_t>(ItemCount(e.GetLength(), sizeof(S))));
        const unsigned char* p = e.GetDataPtr();
        for (L& item : items) {
            item = kvs::LoadLE<S>(p);
            p += sizeof(S);
        }
        out.swap(items);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

} // namespace

static_assert(sizeof(bool) == 1 && sizeof(short) == 2 && sizeof(int) == 4 && sizeof(float) == 4 &&
              sizeof(double) == 8 && sizeof(kvs::Long32) == 4 && sizeof(kvs::ULong32) == 4);

bool CKvsBytePtr::GetValue(bool*& items, int& count) const { return ViewArray(*this, ET_BOOL_ARRAY, 1, items, count); }
bool CKvsBytePtr::GetValue(char*& items, int& count) const { return ViewArray(*this, ET_CHAR_ARRAY, 1, items, count); }
bool CKvsBytePtr::GetValue(int*& items, int& count) const { return ViewArray(*this, ET_INT_ARRAY, 4, items, count); }
bool CKvsBytePtr::GetValue(short*& items, int& count) const { return ViewArray(*this, ET_SHORT_ARRAY, 2, items, count); }
bool CKvsBytePtr::GetValue(kvs::Long32*& items, int& count) const
{
    return ViewArray(*this, ET_LONG_ARRAY, 4, items, count);
}
bool CKvsBytePtr::GetValue(float*& items, int& count) const { return ViewArray(*this, ET_FLOAT_ARRAY, 4, items, count); }
bool CKvsBytePtr::GetValue(double*& items, int& count) const
{
    return ViewArray(*this, ET_DOUBLE_ARRAY, 8, items, count);
}
bool CKvsBytePtr::GetValue(unsigned char*& items, int& count) const
{
    return ViewArray(*this, ET_UCHAR_ARRAY, 1, items, count);
}
bool CKvsBytePtr::GetValue(unsigned int*& items, int& count) const
{
    return ViewArray(*this, ET_UINT_ARRAY, 4, items, count);
}
bool CKvsBytePtr::GetValue(unsigned short*& items, int& count) const
{
    return ViewArray(*this, ET_USHORT_ARRAY, 2, items, count);
}
bool CKvsBytePtr::GetValue(kvs::ULong32*& items, int& count) const
{
    return ViewArray(*this, ET_ULONG_ARRAY, 4, items, count);
}
bool CKvsBytePtr::GetValue(Triangle*& items, int& count) const
{
    return ViewArray(*this, ET_TRIANGLE_ARRAY, kvs::kTriangleSize, items, count);
}

bool CKvsBytePtr::SetValue(const bool* items, int count) { return CopyArrayIn(*this, ET_BOOL_ARRAY, items, count); }
bool CKvsBytePtr::SetValue(const char* items, int count) { return CopyArrayIn(*this, ET_CHAR_ARRAY, items, count); }
bool CKvsBytePtr::SetValue(const int* items, int count) { return CopyArrayIn(*this, ET_INT_ARRAY, items, count); }
bool CKvsBytePtr::SetValue(const short* items, int count) { return CopyArrayIn(*this, ET_SHORT_ARRAY, items, count); }
bool CKvsBytePtr::SetValue(const kvs::Long32* items, int count)
{
    return CopyArrayIn(*this, ET_LONG_ARRAY, items, count);
}
bool CKvsBytePtr::SetValue(const float* items, int count) { return CopyArrayIn(*this, ET_FLOAT_ARRAY, items, count); }
bool CKvsBytePtr::SetValue(const double* items, int count)
{
    return CopyArrayIn(*this, ET_DOUBLE_ARRAY, items, count);
}
bool CKvsBytePtr::SetValue(const unsigned char* items, int count)
{
    return CopyArrayIn(*this, ET_UCHAR_ARRAY, items, count);
}
bool CKvsBytePtr::SetValue(const unsigned int* items, int count)
{
    return CopyArrayIn(*this, ET_UINT_ARRAY, items, count);
}
bool CKvsBytePtr::SetValue(const unsigned short* items, int count)
{
    return CopyArrayIn(*this, ET_USHORT_ARRAY, items, count);
}
bool CKvsBytePtr::SetValue(const kvs::ULong32* items, int count)
{
    return CopyArrayIn(*this, ET_ULONG_ARRAY, items, count);
}
bool CKvsBytePtr::SetValue(const Triangle* items, int count)
{
    return CopyArrayIn(*this, ET_TRIANGLE_ARRAY, items, count);
}
bool CKvsBytePtr::SetValue(const long* items, int count)
{
    return NarrowArrayIn<int32_t>(*this, ET_LONG_ARRAY, items, count);
}
bool CKvsBytePtr::SetValue(const unsigned long* items, int count)
{
    return NarrowArrayIn<uint32_t>(*this, ET_ULONG_ARRAY, items, count);
}
bool CKvsBytePtr::GetValue(std::vector<long>& out) const { return WidenArrayOut<int32_t>(*this, ET_LONG_ARRAY, out); }
bool CKvsBytePtr::GetValue(std::vector<unsigned long>& out) const
{
    return WidenArrayOut<uint32_t>(*this, ET_ULONG_ARRAY, out);
}

// ---- text and structured values

bool CKvsBytePtr::GetValue(CString& out) const
{
    if (!m_data || m_type != ET_STRING) return false;
    try {
        out = CString(std::string(reinterpret_cast<const char*>(m_data), m_length));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// Decision: a text shorter than the element fills the rest of the area with NUL bytes; a
// longer one is cut to the element's length.
bool CKvsBytePtr::SetValue(const CString& text)
{
    if (!m_data || m_type != ET_STRING) return false;
    const size_t textLength = static_cast<size_t>(text.GetLength());
    const size_t n = textLength < m_length ? textLength : m_length;
    if (n) std::memcpy(m_data, text.GetString(), n);
    if (n < m_length) std::memset(m_data + n, 0, m_length - n);
    return true;
}

bool CKvsBytePtr::GetValue(CDataInfo& out) const
{
    if (!m_data || m_type != ET_DATAINFO || m_length < kvs::kDataInfoSize) return false;
    uint32_t w[5];
    for (int i = 0; i < 5; ++i)
        w[i] = kvs::LoadLE<uint32_t>(m_data + 4 * i);
    const auto u16 = [](uint32_t v) { return static_cast<unsigned short>(v); };
    out.SetDataId(CDataId(u16(w[0]), u16(w[2]), u16(w[3]), u16(w[1])));
    out.SetElemId(u16(w[4]));
    return true;
}

bool CKvsBytePtr::SetValue(const CDataInfo& info)
{
    if (!m_data || m_type != ET_DATAINFO || m_length < kvs::kDataInfoSize) return false;
    const CDataId& id = info.GetDataId();
    const uint32_t w[5] = {id.GetDataType(), id.GetVesselId(), id.GetGroupId(), id.GetDeviceNum(), info.GetElemId()};
    for (int i = 0; i < 5; ++i)
        kvs::StoreLE<uint32_t>(m_data + 4 * i, w[i]);
    return true;
}

bool CKvsBytePtr::GetValue(CStringArray& out) const
{
    if (!m_data || m_type != ET_STRING_ARRAY || m_length <= 4) return false;
    kvs::ByteReader reader(m_data, m_length);
    uint32_t count = 0;
    reader.Read(count);
    // Every string takes at least its 4-byte count: a larger count cannot be genuine.
    if (count > reader.Remaining() / 4) return false;
    try {
        CStringArray list;
        list.SetSize(static_cast<int>(count));
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t n = 0;
            if (!reader.Read(n) || n > reader.Remaining()) return false;
            list[static_cast<int>(i)] = CString(std::string(reinterpret_cast<const char*>(reader.Position()), n));
            reader.Skip(n);
        }
        out.Copy(list);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool CKvsBytePtr::SetValue(const CStringArray& list)
{
    if (!m_data || m_type != ET_STRING_ARRAY) return false;
    uint64_t needed = 4;
    for (const CString& s : list)
        needed += 4 + static_cast<uint64_t>(s.GetLength());
    if (needed > m_length) return false;
    kvs::ByteWriter writer(m_data, m_length);
    writer.Write(static_cast<uint32_t>(list.GetSize()));
    for (const CString& s : list) {
        writer.Write(static_cast<uint32_t>(s.GetLength()));
        writer.WriteBytes(s.GetString(), static_cast<size_t>(s.GetLength()));
    }
    return true;
}

// ---- numeric conversion

bool CKvsBytePtr::GetValueInDouble(double& out, bool convertUnits) const
{
    out = 0.0;
    const NumericType* t = m_type >= ET_INT && m_type <= ET_USHORT ? FindNumeric(m_type) : nullptr;
    if (!t || !m_data || m_length < NumSize(t->num)) return false;
    out = LoadAsDouble(t->num, m_data);
    if (convertUnits && m_type == ET_DOUBLE)
        out = CKvsType::m_unitCnv.ConvertUnit(CKvsUnitCnv::ConvertFMTtoUNIT(m_format), out);
    return true;
}

bool CKvsBytePtr::GetValueInDouble(unsigned short index, double& out, bool convertUnits) const
{
    const NumericType* t = m_type >= ET_BOOL_ARRAY && m_type <= ET_ULONG_ARRAY ? FindNumeric(m_type) : nullptr;
    if (!t || !m_data) return false;
    const unsigned int size = NumSize(t->num);
    if (index >= m_length / size) return false;
    double v = LoadAsDouble(t->num, m_data + static_cast<size_t>(index) * size);
    if (convertUnits && m_type == ET_DOUBLE_ARRAY)
        v = CKvsType::m_unitCnv.ConvertUnit(CKvsUnitCnv::ConvertFMTtoUNIT(m_format), v);
    out = v;
    return true;
}

bool CKvsBytePtr::SetValueFromDouble(double value)
{
    const NumericType* t = m_type >= ET_INT && m_type <= ET_USHORT ? FindNumeric(m_type) : nullptr;
    if (!t) return false;
    switch (t->num) {
    case Num::F64: return SetValue(value);
    case Num::F32: return SetValue(static_cast<float>(value));
    case Num::Bool: return SetValue(value != 0.0);
    default: break;
    }
    // Integer types: clamp against the upper, then the lower bound, then truncate toward
    // zero. A NaN passes both comparisons; it stores 0.
    double v = value;
    if (v > t->upper) v = t->upper;
    if (v < t->lower) v = t->lower;
    if (std::isnan(v)) v = 0.0;
    v = std::trunc(v);
    switch (m_type) {
    case ET_INT: return SetValue(static_cast<int>(v));
    case ET_LONG: return SetValue(static_cast<long>(v));
    case ET_UINT: return SetValue(static_cast<unsigned int>(v));
    case ET_ULONG: return SetValue(static_cast<unsigned long>(v));
    case ET_CHAR: return SetValue(static_cast<char>(static_cast<signed char>(v)));
    case ET_UCHAR: return SetValue(static_cast<unsigned char>(v));
    case ET_SHORT: return SetValue(static_cast<short>(v));
    case ET_USHORT: return SetValue(static_cast<unsigned short>(v));
    default: return false;
    }
}

// ---- CKvsType interface

bool CKvsBytePtr::SetValueStr(CString& text)
{
    return SetValue(static_cast<const CString&>(text));
}

CKvsType* CKvsBytePtr::MakeCopy() const
{
    return new (std::nothrow) CKvsBytePtr(*this);
}

int CKvsBytePtr::GetInt(int& out) const { return GetValue(out) ? 1 : 0; }
int CKvsBytePtr::SetInt(int value) { return SetValue(value) ? 1 : 0; }
int CKvsBytePtr::GetBool(bool& out) const { return GetValue(out) ? 1 : 0; }
int CKvsBytePtr::SetBool(bool value) { return SetValue(value) ? 1 : 0; }
int CKvsBytePtr::GetDouble(double& out) const { return GetValue(out) ? 1 : 0; }
int CKvsBytePtr::SetDouble(double value) { return SetValue(value) ? 1 : 0; }
