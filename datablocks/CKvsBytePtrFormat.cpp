// Text formatting of element values: numbers with decimals and display units, geographic
// coordinates, times, mapped texts from the data definition, and paged array lists.
#include <KvsDataBlocks/datablocks/ByteLayout.h>
#include <KvsDataBlocks/datablocks/CKvsBytePtr.h>
#include <KvsDataBlocks/platform/CExTime.h>
#include <KvsDataBlocks/config/DataDefinition.h>
#include <KvsDataBlocks/geometry/FormatGeogs.h>
#include <KvsDataBlocks/platform/TextUtils.h>

#include <algorithm>
#include <cstring>

namespace {

// Format codes the formatter tells apart.
constexpr unsigned short FMT_GEOG_LAT = 10;
constexpr unsigned short FMT_GEOG_LON = 11;
constexpr unsigned short FMT_TIME = 20;
constexpr unsigned short FMT_TIMESPAN_MS = 21;
constexpr unsigned short FMT_MAPPED = 30;
constexpr unsigned short FMT_DOUBLE_TEXT = 44;
constexpr unsigned short FMT_TIMESPAN = 45;
constexpr unsigned short FMT_TIME_SHORT = 46;

// Format codes of unit quantities: converted to the display unit and given its mnemonic.
constexpr bool IsUnitQuantity(unsigned short format)
{
    return (format >= 2 && format <= 4) || (format >= 6 && format <= 9) || (format >= 35 && format <= 43);
}

// Default decimals per format code; every other code takes the grid decimals.
struct FormatDecimals
{
    unsigned short format;
    int* decimals;
};
constexpr FormatDecimals kDefaultDecimals[] = {
    {2, &CKvsType::m_iDistDecml},     {3, &CKvsType::m_iSpeedDecml},     {4, &CKvsType::m_iDepthDecml},
    {7, &CKvsType::m_iDensityDecml},  {36, &CKvsType::m_iPressureDecml}, {39, &CKvsType::m_iWeightDecml},
};

constexpr int kPageSize = 5;

// Array items are read byte-wise: the data area need not be aligned for the item type.
template <typename T>
T ItemAt(const unsigned char* data, int index)
{
    return kvs::LoadLE<T>(data + static_cast<size_t>(index) * sizeof(T));
}

double TriangleCoordinate(const unsigned char* data, int triangle, int coordinate)
{
    return kvs::LoadLE<double>(data + static_cast<size_t>(triangle) * kvs::kTriangleSize +
                               static_cast<size_t>(coordinate) * sizeof(double));
}

// The nine coordinates of one triangle (A, B, C; x, y, z each), each followed by "; ".
void AppendTriangle(const unsigned char* data, int triangle, int decimals, CString& text)
{
    for (int c = 0; c < 9; ++c) {
        text += FormatDouble(TriangleCoordinate(data, triangle, c), decimals);
        text += "; ";
    }
}

// Paged list of n items: "n: " and at most five items from start, "; ..." when more
// follow, "<<<n" when start is at or beyond the end. In full-array mode every item from
// start on, without prefix or limit. itemText(i, text) appends item i; separate says
// whether "; " goes between items (triangles bring their own separators).
template <typename ItemText>
void PagedList(int n, int start, bool separate, CString& text, ItemText itemText)
{
    text.Empty();
    long long limit = n;
    long long first = start;
    if (!CKvsType::m_bPrintFullArray) {
        text.Format("%d: ", n);
        if (first < 0) first = 0;
        if (limit > first + kPageSize) limit = first + kPageSize;
    }
    const long long end = std::min<long long>(limit, n);
    bool printed = false;
    for (long long i = std::max<long long>(first, 0); i < end; ++i) {
        if (separate && printed) text += "; ";
        itemText(static_cast<int>(i), text);
        printed = true;
    }
    if (n > limit) text += "; ...";
    if (first >= n) text.Format("<<<%d", n);
}

// Whether format holds exactly one printf conversion, one of the allowed conversion
// characters, with at most flags, a width and a precision of three digits each ("%%"
// anywhere). Caller format strings are checked so that a wrong or hostile one cannot
// make the formatter read arguments that are not there.
bool IsSingleConversion(const CString& format, const char* allowed)
{
    const std::string& f = format.str();
    int conversions = 0;
    for (size_t i = 0; i < f.size(); ++i) {
        if (f[i] != '%') continue;
        if (++i < f.size() && f[i] == '%') continue;
        while (i < f.size() && std::strchr("-+ #0", f[i])) ++i;
        for (int digits = 0; i < f.size() && f[i] >= '0' && f[i] <= '9'; ++i)
            if (++digits > 3) return false;
        if (i < f.size() && f[i] == '.') {
            ++i;
            for (int digits = 0; i < f.size() && f[i] >= '0' && f[i] <= '9'; ++i)
                if (++digits > 3) return false;
        }
        if (i >= f.size() || f[i] == '\0' || !std::strchr(allowed, f[i])) return false;
        ++conversions;
    }
    return conversions == 1;
}

bool ArrayData(const CKvsBytePtr& element, const unsigned char*& data, int& count)
{
    data = element.GetDataPtr();
    const kvs::ElementTypeInfo* info = kvs::FindElementType(element.GetType());
    if (!data || !info || info->kind != kvs::ElementKind::Array || info->itemSize == 0) return false;
    count = static_cast<int>(std::min<unsigned int>(element.GetLength() / info->itemSize, 0x7FFFFFFF));
    return true;
}

} // namespace

int CKvsBytePtr::GetDefaultDecimals() const
{
    if (GetType() == ET_INT) return 0;
    for (const FormatDecimals& d : kDefaultDecimals)
        if (d.format == GetFormat()) return *d.decimals;
    return m_iGridDecml;
}

CString CKvsBytePtr::GetUnitAnnotation() const
{
    return m_unitCnv.GetUnitMnem(CKvsUnitCnv::ConvertFMTtoUNIT(GetFormat()));
}

int CKvsBytePtr::FormatDoubleStr(double value, int decimals, CString& text, bool unit, bool convert) const
{
    const unsigned short format = GetFormat();
    if (IsUnitQuantity(format)) {
        if (convert) {
            const int unitCode = CKvsUnitCnv::ConvertFMTtoUNIT(format);
            text = FormatDouble(m_unitCnv.ConvertUnit(unitCode, value), decimals);
            if (unit) text += " " + m_unitCnv.GetUnitMnem(unitCode);
        } else {
            text = FormatDouble(value, decimals);
        }
        return 1;
    }
    switch (format) {
    case FMT_GEOG_LAT:
    case FMT_GEOG_LON:
        FormatGeogs(value, m_uGeogFmtFlags, m_iGeogDecml, format, text, true, true);
        break;
    case FMT_TIME:
        text = CExTime().TimeToString(value, true, true, true);
        break;
    case FMT_TIMESPAN_MS:
        text = TimeSpanToString(value, true);
        break;
    case FMT_TIMESPAN:
        text = TimeSpanToString(value, false);
        break;
    case FMT_TIME_SHORT:
        text = CExTime().TimeToString(value, false, false, false);
        break;
    default:
        text = FormatDouble(value, decimals);
        break;
    }
    return 1;
}

int CKvsBytePtr::FormatDoubleString(double value, CString& text, bool unit, bool convert) const
{
    return FormatDoubleStr(value, GetDefaultDecimals(), text, unit, convert);
}

int CKvsBytePtr::FormatDoubleString(double value, int decimals, CString& text, bool unit, bool convert) const
{
    return FormatDoubleStr(value, decimals, text, unit, convert);
}

int CKvsBytePtr::GetDoubleStr(CString& text, bool unit) const
{
    return GetDoubleStr(GetDefaultDecimals(), text, unit);
}

int CKvsBytePtr::GetDoubleStr(int decimals, CString& text, bool unit) const
{
    double value = 0.0;
    if (!GetDouble(value)) return 0;
    return FormatDoubleStr(value, decimals, text, unit, true);
}

int CKvsBytePtr::GetFloatStr(CString& text, bool unit) const
{
    return GetFloatStr(GetDefaultDecimals(), text, unit);
}

int CKvsBytePtr::GetFloatStr(int decimals, CString& text, bool unit) const
{
    float value = 0.0f;
    if (!GetValue(value)) return 0;
    return FormatDoubleStr(static_cast<double>(value), decimals, text, unit, true);
}

int CKvsBytePtr::GetValueStr(int decimals, CString& text, bool unit) const
{
    if (GetType() == ET_DOUBLE) return GetDoubleStr(decimals, text, unit);
    return GetValueStr(text, unit, -1);
}

int CKvsBytePtr::GetValueStr(CString& text, bool unit, int start) const
{
    text = m_bPrintFullArray ? "" : "---";
    const DataDefinition& definition = DataDefinition::GetDataDefinition();
    const unsigned int group = GetGroupId();
    const unsigned int item = GetId();

    switch (GetType()) {
    case ET_INT: {
        int v = 0;
        if (!GetInt(v)) return 0;
        if (GetFormat() == FMT_MAPPED) return definition.GetGroupItemMapTxt(group, item, v, text) ? 1 : 0;
        text.Format("%d", v);
        return 1;
    }
    case ET_UINT: {
        unsigned int v = 0;
        if (!GetValue(v)) return 0;
        text.Format("%u", v);
        return 1;
    }
    case ET_DOUBLE: {
        double v = 0.0;
        if (!GetDouble(v)) return 0;
        if (GetFormat() == FMT_DOUBLE_TEXT) return definition.GetGroupItemDoubleToStr(group, item, v, text) ? 1 : 0;
        return GetDoubleStr(text, unit);
    }
    case ET_BOOL: {
        bool v = false;
        if (!GetBool(v)) return 0;
        return definition.GetGroupItemMapTxt(group, item, v ? 1 : 0, text) ? 1 : 0;
    }
    case ET_CHAR: {
        char v = 0;
        if (!GetValue(v)) return 0;
        text.Format("%d", static_cast<int>(static_cast<signed char>(v)));
        return 1;
    }
    case ET_UCHAR: {
        unsigned char v = 0;
        if (!GetValue(v)) return 0;
        text.Format("%u", static_cast<unsigned int>(v));
        return 1;
    }
    case ET_LONG: {
        long v = 0;
        if (!GetValue(v)) return 0;
        text.Format("%ld", v);
        return 1;
    }
    case ET_ULONG: {
        unsigned long v = 0;
        if (!GetValue(v)) return 0;
        text.Format("%lu", v);
        return 1;
    }
    case ET_FLOAT: {
        float v = 0.0f;
        if (!GetValue(v)) return 0;
        if (GetFormat() == FMT_DOUBLE_TEXT)
            return definition.GetGroupItemDoubleToStr(group, item, static_cast<double>(v), text) ? 1 : 0;
        return GetFloatStr(text, unit);
    }
    case ET_SHORT: {
        short v = 0;
        if (!GetValue(v)) return 0;
        text.Format("%hd", v);
        return 1;
    }
    case ET_USHORT: {
        unsigned short v = 0;
        if (!GetValue(v)) return 0;
        text.Format("%hu", v);
        return 1;
    }
    case ET_UINT64: {
        unsigned long long v = 0;
        if (!GetValue(v)) return 0;
        text.Format("%llu", v);
        return 1;
    }
    case ET_STRING: {
        CString v;
        if (!GetValue(v)) return 0;
        text = v;
        return 1;
    }
    case ET_STRING_ARRAY: {
        CStringArray list;
        if (!GetValue(list)) return 0;
        PagedList(list.GetSize(), start, true, text, [&](int i, CString& out) { out += list[i]; });
        return 1;
    }
    default:
        break;
    }

    const unsigned char* data = nullptr;
    int n = 0;
    if (!ArrayData(*this, data, n)) return 0;
    switch (GetType()) {
    case ET_CHAR_ARRAY:
        text = CString(reinterpret_cast<const char*>(data), n).Mid(std::max(start, 0));
        return 1;
    case ET_INT_ARRAY:
        PagedList(n, start, true, text, [&](int i, CString& out) {
            const int v = ItemAt<int32_t>(data, i);
            CString itemText;
            // An item without a map entry shows its number.
            if (GetFormat() != FMT_MAPPED || !definition.GetGroupItemMapTxt(group, item, v, itemText))
                itemText.Format("%d", v);
            out += itemText;
        });
        return 1;
    case ET_SHORT_ARRAY:
        PagedList(n, start, true, text, [&](int i, CString& out) { out.AppendFormat("%hd", ItemAt<int16_t>(data, i)); });
        return 1;
    case ET_FLOAT_ARRAY:
    case ET_DOUBLE_ARRAY: {
        const bool isFloat = GetType() == ET_FLOAT_ARRAY;
        const int decimals = GetDefaultDecimals();
        PagedList(n, start, true, text, [&](int i, CString& out) {
            const double v = isFloat ? static_cast<double>(ItemAt<float>(data, i)) : ItemAt<double>(data, i);
            CString itemText;
            FormatDoubleStr(v, decimals, itemText, unit, true);
            out += itemText;
        });
        return 1;
    }
    case ET_UINT_ARRAY:
        PagedList(n, start, true, text, [&](int i, CString& out) { out.AppendFormat("%u", ItemAt<uint32_t>(data, i)); });
        return 1;
    case ET_USHORT_ARRAY:
        PagedList(n, start, true, text, [&](int i, CString& out) { out.AppendFormat("%hu", ItemAt<uint16_t>(data, i)); });
        return 1;
    case ET_TRIANGLE_ARRAY: {
        const int decimals = GetDefaultDecimals();
        PagedList(n, start, false, text, [&](int i, CString& out) {
            if (i > 0) out += "| ";
            AppendTriangle(data, i, decimals, out);
        });
        return 1;
    }
    default:
        return 0; // 601, 605, 608, 611: no text
    }
}

int CKvsBytePtr::GetValueStr(const CString& format, CString& text, bool) const
{
    switch (GetType()) {
    case ET_INT: {
        int v = 0;
        if (!IsSingleConversion(format, "dicouxX") || !GetInt(v)) break;
        text.Format(static_cast<const char*>(format), v);
        return 1;
    }
    case ET_DOUBLE: {
        double v = 0.0;
        if (!IsSingleConversion(format, "fFeEgGaA") || !GetDouble(v)) break;
        v = m_unitCnv.ConvertUnit(CKvsUnitCnv::ConvertFMTtoUNIT(GetFormat()), v);
        text.Format(static_cast<const char*>(format), v);
        return 1;
    }
    case ET_BOOL: {
        bool v = false;
        if (!GetBool(v)) break;
        text = v ? "Yes" : "No";
        return 1;
    }
    default:
        break;
    }
    text = "...";
    return 0;
}

int CKvsBytePtr::GetArrayValueStr(unsigned short index, CString& text, bool unit) const
{
    return GetArrayValueStr(GetDefaultDecimals(), index, text, unit);
}

int CKvsBytePtr::GetArrayValueStr(int decimals, unsigned short index, CString& text, bool unit) const
{
    text = "---";
    const unsigned short type = GetType();
    switch (type) {
    case ET_STRING_ARRAY: {
        CStringArray list;
        if (!GetValue(list) || index >= list.GetSize()) return 0;
        text = list[index];
        return 1;
    }
    case ET_CHAR_ARRAY: {
        const unsigned char* data = nullptr;
        int n = 0;
        if (!ArrayData(*this, data, n) || index >= n) return 0;
        text = CString(reinterpret_cast<const char*>(data), n);
        return 1;
    }
    case ET_INT_ARRAY:
    case ET_SHORT_ARRAY:
    case ET_FLOAT_ARRAY:
    case ET_DOUBLE_ARRAY:
    case ET_UINT_ARRAY:
    case ET_TRIANGLE_ARRAY:
        break;
    default:
        text = "...";
        return 0;
    }

    text.Empty();
    const unsigned char* data = nullptr;
    int n = 0;
    if (!ArrayData(*this, data, n) || index >= n) return 0;
    switch (type) {
    case ET_INT_ARRAY:
        text.Format("%d", ItemAt<int32_t>(data, index));
        break;
    case ET_SHORT_ARRAY:
        text.Format("%d", static_cast<int>(ItemAt<int16_t>(data, index)));
        break;
    case ET_FLOAT_ARRAY:
        FormatDoubleStr(static_cast<double>(ItemAt<float>(data, index)), decimals, text, unit, true);
        break;
    case ET_DOUBLE_ARRAY:
        FormatDoubleStr(ItemAt<double>(data, index), decimals, text, unit, true);
        break;
    case ET_UINT_ARRAY:
        text.Format("%u", ItemAt<uint32_t>(data, index));
        break;
    default: // ET_TRIANGLE_ARRAY
        AppendTriangle(data, index, decimals, text);
        break;
    }
    return 1;
}
