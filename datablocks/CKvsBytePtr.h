// CKvsBytePtr: the header of one data element of a CDataBlock (type code, length, id,
// status, format, use-as, group id) and a pointer to the element's bytes inside the
// block's buffer. It owns nothing: copies share the bytes, which stay valid only until the
// block is next laid out. As a CKvsType it can stand as a formula value (int, bool and
// double elements through GetInt/SetInt, GetBool/SetBool, GetDouble/SetDouble).
//
// The data area of an element is in general not aligned (elements lie back to back in
// the buffer); all accessors read and write it byte-wise. The array views (GetValue(T*&,
// int&)) hand out a pointer into the area as it lies: it is aligned for T only when the
// element's offset in the block is, so callers that dereference it must either know
// their layout aligned or copy through memcpy.
//
// long and unsigned long elements (ET_LONG, ET_ULONG, ET_LONG_ARRAY, ET_ULONG_ARRAY) are
// 32-bit in the data area. The scalar forms widen on read; SetValue(long) and
// SetValue(unsigned long) fail (false, nothing written) for values outside 32 bits. The
// array views use the 4-byte item types kvs::Long32 / kvs::ULong32; the copying forms
// take or fill arrays of platform long and narrow or widen each item.
//
// ET_UINT64 values are unsigned long long. Note that uint64_t is unsigned long on this
// platform and so selects the ET_ULONG overloads.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/datablocks/ElementTypes.h>
#include <KvsDataBlocks/datablocks/CDataInfo.h>
#include <KvsDataBlocks/values/CKvsType.h>
#include <KvsDataBlocks/geometry/Triangle.h>
#include <KvsDataBlocks/platform/CString.h>
#include <KvsDataBlocks/platform/CStringArray.h>

#include <vector>

class KVS_API CKvsBytePtr : public CKvsType
{
public:
    CKvsBytePtr();
    CKvsBytePtr(unsigned short type, unsigned int length);
    CKvsBytePtr(const CKvsBytePtr& other);
    ~CKvsBytePtr() override;
    const CKvsBytePtr& operator=(const CKvsBytePtr& other);
    using CKvsType::operator=;

    // Header fields; the setters store without any check.
    unsigned short GetType() const { return m_type; }
    void SetType(unsigned short type) { m_type = type; }
    unsigned int GetLength() const { return m_length; }
    void SetLength(unsigned int length) { m_length = length; }
    unsigned short GetId() const { return m_id; }
    void SetId(unsigned short id) { m_id = id; }
    unsigned short GetStatus() const { return m_status; }
    void SetStatus(unsigned short status) { m_status = status; }
    unsigned short GetFormat() const { return m_format; }
    void SetFormat(unsigned short format) { m_format = format; }
    unsigned short GetUseAs() const { return m_useAs; }
    void SetUseAs(unsigned short useAs) { m_useAs = useAs; }
    unsigned short GetGroupId() const { return m_groupId; }
    void SetGroupId(unsigned short groupId) { m_groupId = groupId; }
    unsigned char* GetDataPtr() { return m_data; }
    const unsigned char* GetDataPtr() const { return m_data; }
    void SetDataPtr(unsigned char* data) { m_data = data; }

    // Scalars: succeed only when the data area is set, the type code is exactly that of
    // the value type and the length holds the item; there is no conversion between the
    // overloads.
    bool GetValue(bool& out) const;               // ET_BOOL
    bool GetValue(char& out) const;               // ET_CHAR
    bool GetValue(int& out) const;                // ET_INT
    bool GetValue(short& out) const;              // ET_SHORT
    bool GetValue(long& out) const;               // ET_LONG (32-bit, widened)
    bool GetValue(float& out) const;              // ET_FLOAT
    bool GetValue(double& out) const;             // ET_DOUBLE
    bool GetValue(unsigned char& out) const;      // ET_UCHAR
    bool GetValue(unsigned int& out) const;       // ET_UINT
    bool GetValue(unsigned short& out) const;     // ET_USHORT
    bool GetValue(unsigned long& out) const;      // ET_ULONG (32-bit, widened)
    bool GetValue(unsigned long long& out) const; // ET_UINT64
    bool SetValue(bool value);
    bool SetValue(char value);
    bool SetValue(int value);
    bool SetValue(short value);
    bool SetValue(long value); // false when the value does not fit 32 bits signed
    bool SetValue(float value);
    bool SetValue(double value);
    bool SetValue(unsigned char value);
    bool SetValue(unsigned int value);
    bool SetValue(unsigned short value);
    bool SetValue(unsigned long value); // false when the value does not fit 32 bits unsigned
    bool SetValue(unsigned long long value);

    // Array views: items = the data area (no copy), count = length / item size. The
    // pointer is aligned for T only when the element's offset is (see above).
    bool GetValue(bool*& items, int& count) const;           // ET_BOOL_ARRAY
    bool GetValue(char*& items, int& count) const;           // ET_CHAR_ARRAY
    bool GetValue(int*& items, int& count) const;            // ET_INT_ARRAY
    bool GetValue(short*& items, int& count) const;          // ET_SHORT_ARRAY
    bool GetValue(kvs::Long32*& items, int& count) const;    // ET_LONG_ARRAY
    bool GetValue(float*& items, int& count) const;          // ET_FLOAT_ARRAY
    bool GetValue(double*& items, int& count) const;         // ET_DOUBLE_ARRAY
    bool GetValue(unsigned char*& items, int& count) const;  // ET_UCHAR_ARRAY
    bool GetValue(unsigned int*& items, int& count) const;   // ET_UINT_ARRAY
    bool GetValue(unsigned short*& items, int& count) const; // ET_USHORT_ARRAY
    bool GetValue(kvs::ULong32*& items, int& count) const;   // ET_ULONG_ARRAY
    bool GetValue(Triangle*& items, int& count) const;       // ET_TRIANGLE_ARRAY, 80 bytes an item
    // Array copies into the area. The element is not resized: count times the item size
    // must not exceed the length (false, nothing written, when it does or count < 0).
    bool SetValue(const bool* items, int count);
    bool SetValue(const char* items, int count);
    bool SetValue(const int* items, int count);
    bool SetValue(const short* items, int count);
    bool SetValue(const kvs::Long32* items, int count);
    bool SetValue(const float* items, int count);
    bool SetValue(const double* items, int count);
    bool SetValue(const unsigned char* items, int count);
    bool SetValue(const unsigned int* items, int count);
    bool SetValue(const unsigned short* items, int count);
    bool SetValue(const kvs::ULong32* items, int count);
    bool SetValue(const Triangle* items, int count);
    // Platform-long arrays for ET_LONG_ARRAY / ET_ULONG_ARRAY: the setters narrow each item
    // and fail, writing nothing, when any item does not fit 32 bits; the getters copy all
    // items widened into out.
    bool SetValue(const long* items, int count);
    bool SetValue(const unsigned long* items, int count);
    bool GetValue(std::vector<long>& out) const;
    bool GetValue(std::vector<unsigned long>& out) const;

    // ET_STRING: the text of exactly length characters. SetValue copies min(length, text
    // length) characters and fills the rest of the area with NUL bytes.
    bool GetValue(CString& out) const;
    bool SetValue(const CString& text);
    bool SetValue(const char* text) { return SetValue(CString(text)); }
    // ET_DATAINFO: five 32-bit words data type, vessel id, group id, device number, element id.
    bool GetValue(CDataInfo& out) const;
    bool SetValue(const CDataInfo& info);
    // ET_STRING_ARRAY: a 32-bit count, then per string a 32-bit character count and the
    // characters. GetValue fails for an area of 4 bytes or less (an empty list) and for an
    // area whose counts run past its length; SetValue fails when the list does not fit.
    bool GetValue(CStringArray& out) const;
    bool SetValue(const CStringArray& list);

    // Numeric conversion of scalars 101..111 (GetValueInDouble also fails for a null
    // area) and of items of arrays 601..611. Only doubles (103, 607) are converted to the
    // display unit, and only when convertUnits is set.
    bool GetValueInDouble(double& out, bool convertUnits) const;
    bool GetValueInDouble(unsigned short index, double& out, bool convertUnits) const;
    // Stores into scalars 101..111, clamped to the type's range and truncated toward
    // zero. A NaN stores 0 into the integer types (true into ET_BOOL).
    bool SetValueFromDouble(double value);

    // Text of the value (formatting with units and decimals).
    using CKvsType::GetValueStr;
    int GetValueStr(CString& text, bool unit, int start) const;
    int GetValueStr(int decimals, CString& text, bool unit) const;
    int GetValueStr(const CString& format, CString& text, bool unit) const;
    int GetArrayValueStr(unsigned short index, CString& text, bool unit) const;
    int GetArrayValueStr(int decimals, unsigned short index, CString& text, bool unit) const;
    int GetDoubleStr(CString& text, bool unit) const;
    int GetDoubleStr(int decimals, CString& text, bool unit) const;
    int GetFloatStr(CString& text, bool unit) const;
    int GetFloatStr(int decimals, CString& text, bool unit) const;
    int FormatDoubleString(double value, CString& text, bool unit, bool convert) const;
    int FormatDoubleString(double value, int decimals, CString& text, bool unit, bool convert) const;
    int GetDefaultDecimals() const;
    CString GetUnitAnnotation() const;

    // Sets this element's status and value from a and b at fraction (0 at a, 1 at b).
    bool Interpolate(const CKvsBytePtr& a, const CKvsBytePtr& b, double fraction);

    // CKvsType interface: only int, bool and double elements; 1 on success, 0 otherwise.
    bool SetValueStr(CString& text) override;
    CKvsType* MakeCopy() const override;
    int GetInt(int& out) const override;
    int SetInt(int value) override;
    int GetBool(bool& out) const override;
    int SetBool(bool value) override;
    int GetDouble(double& out) const override;
    int SetDouble(double value) override;

private:
    int FormatDoubleStr(double value, int decimals, CString& text, bool unit, bool convert) const;

    unsigned short m_type = 0;
    unsigned int m_length = 0;
    unsigned short m_id = 0;
    unsigned short m_status = 0;
    unsigned short m_format = 1;
    unsigned short m_useAs = 0;
    unsigned short m_groupId = 0;
    unsigned char* m_data = nullptr; // into the owning block's buffer; not owned
};
