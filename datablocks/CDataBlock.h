// CDataBlock: the time-stamped record the suite passes around: a data id, a time, a
// status word and a table of typed elements (CKvsBytePtr) whose values lie back to back
// in one buffer. It owns the table and the buffer; element headers and data pointers
// handed out stay valid until the block is next laid out (Allocate, RemoveDataElement,
// Init, a resizing setter, assignment, UnPack, Interpolate).
//
// Elements are found by key and mode (LookUp, CDataBlock::LookupMode): by position, element id
// or use-as code; any key of 100 or more is a use-as code whatever the mode. The first
// match wins.
// The by-key getters deliver the element's status whenever the element was found.
//
// The packed record (Pack/UnPack) comes in a narrow form (16-bit sizes and lengths) and
// a wide form (32-bit); CDataBlockPack.cpp documents the layout. A block whose
// sizes do not fit the chosen form is refused (CanPack).
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/datablocks/CKvsBytePtr.h>
#include <KvsDataBlocks/datablocks/CDataId.h>
#include <KvsDataBlocks/datablocks/CDataInfo.h>
#include <KvsDataBlocks/geometry/Triangle.h>
#include <KvsDataBlocks/platform/CString.h>
#include <KvsDataBlocks/platform/CStringArray.h>

#include <cstdint>
#include <memory>
#include <vector>

class KVS_API CDataBlock
{
public:
    // The mode argument of LookUp and of every by-key operation: how the key names the
    // element. It converts to the unsigned short the operations take, so the numbers 0, 1
    // and 2 keep working; any other mode finds nothing.
    enum LookupMode : unsigned short
    {
        kByPosition = 0, // the key is the element's place in the table
        kById = 1,       // the key is the element id (ids lie below 100)
        kByUseAs = 2,    // the key is the use-as code (codes lie at 100 and above)
    };

    // Most elements a block can hold (the count is a 16-bit number).
    static constexpr unsigned int kMaxElements = 0xFFFF;

    CDataBlock();
    CDataBlock(const CDataBlock& other);
    ~CDataBlock();
    CDataBlock& operator=(const CDataBlock& other);
    // Exchanges the whole contents with other, without copying a byte of data.
    void Swap(CDataBlock& other) noexcept;

    // Layout. Allocate drops table and buffer and makes count default elements (false and
    // no table above kMaxElements or out of memory); InitDataElement defines one (status
    // 40, group id of the block); Init lays out a fresh zeroed buffer from the lengths.
    bool Allocate(unsigned int count);
    bool InitDataElement(int index, unsigned short id, unsigned short type, unsigned short length,
                         unsigned short format, unsigned short useAs);
    bool Init();
    // Removes one element; every remaining value is reset to zero bytes.
    bool RemoveDataElement(int index);
    // Block status and every element status become 10 (empty); flags are kept.
    void SetEmpty();

    void SetDataId(const CDataId& id) { m_dataId = id; }
    const CDataId& GetDataId() const { return m_dataId; }
    double GetTime() const { return m_time; }
    void SetTime(double time) { m_time = time; }
    unsigned int GetLength() const { return m_count; } // the element count
    unsigned int GetDataSize() const { return m_dataSize; }

    // Status word: low 6 bits status, high 10 bits flags.
    unsigned short GetStatus() const;
    void SetStatus(unsigned short status);
    unsigned short GetStatusFlag() const;
    void SetStatusFlag(unsigned short flags); // ORs in the bits as given, status bits too
    void ResetStatusFlag(unsigned short flags);
    bool CheckStatusFlag(unsigned short flags) const;
    void SetStatusAndFlags(unsigned short word) { m_statusWord = word; }
    unsigned short GetStatusAndFlags() const { return m_statusWord; }

    bool LookUp(unsigned short key, unsigned short mode, unsigned short& index) const;

    // Element headers; the copies and pointers refer into this block's buffer and table.
    bool GetData(unsigned short key, CKvsBytePtr& out, unsigned short mode) const;
    bool GetData(unsigned short key, CKvsBytePtr*& out, unsigned short mode) const;
    bool GetDataIdx(unsigned short index, CKvsBytePtr& out) const;
    bool GetDataIdx(unsigned short index, CKvsBytePtr*& out) const;
    bool GetDataId(unsigned short index, unsigned short& id) const;
    bool SetDataStatus(unsigned short key, unsigned short status, unsigned short mode);

    // Scalar and structured values by key (CKvsBytePtr::GetValue of the element found).
    bool GetDataValue(unsigned short key, bool& value, unsigned short& status, unsigned short mode) const;
    bool GetDataValue(unsigned short key, int& value, unsigned short& status, unsigned short mode) const;
    bool GetDataValue(unsigned short key, short& value, unsigned short& status, unsigned short mode) const;
    bool GetDataValue(unsigned short key, long& value, unsigned short& status, unsigned short mode) const;
    bool GetDataValue(unsigned short key, float& value, unsigned short& status, unsigned short mode) const;
    bool GetDataValue(unsigned short key, double& value, unsigned short& status, unsigned short mode) const;
    bool GetDataValue(unsigned short key, unsigned char& value, unsigned short& status, unsigned short mode) const;
    bool GetDataValue(unsigned short key, unsigned int& value, unsigned short& status, unsigned short mode) const;
    bool GetDataValue(unsigned short key, unsigned short& value, unsigned short& status, unsigned short mode) const;
    bool GetDataValue(unsigned short key, unsigned long& value, unsigned short& status, unsigned short mode) const;
    bool GetDataValue(unsigned short key, unsigned long long& value, unsigned short& status,
                      unsigned short mode) const;
    bool GetDataValue(unsigned short key, CString& value, unsigned short& status, unsigned short mode) const;
    bool GetDataValue(unsigned short key, CDataInfo& value, unsigned short& status, unsigned short mode) const;
    bool GetDataValue(unsigned short key, CStringArray& value, unsigned short& status, unsigned short mode) const;

    // Array views by key: a pointer into the buffer and the item count (no copy).
    bool GetDataValue(unsigned short key, bool*& items, int& count, unsigned short& status, unsigned short mode) const;
    bool GetDataValue(unsigned short key, char*& items, int& count, unsigned short& status, unsigned short mode) const;
    bool GetDataValue(unsigned short key, int*& items, int& count, unsigned short& status, unsigned short mode) const;
    bool GetDataValue(unsigned short key, short*& items, int& count, unsigned short& status, unsigned short mode) const;
    bool GetDataValue(unsigned short key, kvs::Long32*& items, int& count, unsigned short& status,
                      unsigned short mode) const;
    bool GetDataValue(unsigned short key, float*& items, int& count, unsigned short& status, unsigned short mode) const;
    bool GetDataValue(unsigned short key, double*& items, int& count, unsigned short& status, unsigned short mode) const;
    bool GetDataValue(unsigned short key, unsigned char*& items, int& count, unsigned short& status,
                      unsigned short mode) const;
    bool GetDataValue(unsigned short key, unsigned int*& items, int& count, unsigned short& status,
                      unsigned short mode) const;
    bool GetDataValue(unsigned short key, unsigned short*& items, int& count, unsigned short& status,
                      unsigned short mode) const;
    bool GetDataValue(unsigned short key, kvs::ULong32*& items, int& count, unsigned short& status,
                      unsigned short mode) const;
    bool GetDataValue(unsigned short key, Triangle*& items, int& count, unsigned short& status,
                      unsigned short mode) const;
    // Copies of ET_LONG_ARRAY / ET_ULONG_ARRAY items widened to platform long.
    bool GetDataValue(unsigned short key, std::vector<long>& items, unsigned short& status, unsigned short mode) const;
    bool GetDataValue(unsigned short key, std::vector<unsigned long>& items, unsigned short& status,
                      unsigned short mode) const;

    // Scalar setters: the element's status becomes status only when the value was stored.
    bool SetDataValue(unsigned short key, bool value, unsigned short status, unsigned short mode);
    bool SetDataValue(unsigned short key, char value, unsigned short status, unsigned short mode);
    bool SetDataValue(unsigned short key, int value, unsigned short status, unsigned short mode);
    bool SetDataValue(unsigned short key, short value, unsigned short status, unsigned short mode);
    bool SetDataValue(unsigned short key, long value, unsigned short status, unsigned short mode);
    bool SetDataValue(unsigned short key, float value, unsigned short status, unsigned short mode);
    bool SetDataValue(unsigned short key, double value, unsigned short status, unsigned short mode);
    bool SetDataValue(unsigned short key, unsigned char value, unsigned short status, unsigned short mode);
    bool SetDataValue(unsigned short key, unsigned int value, unsigned short status, unsigned short mode);
    bool SetDataValue(unsigned short key, unsigned short value, unsigned short status, unsigned short mode);
    bool SetDataValue(unsigned short key, unsigned long value, unsigned short status, unsigned short mode);
    bool SetDataValue(unsigned short key, unsigned long long value, unsigned short status, unsigned short mode);
    bool SetDataValue(unsigned short key, const CDataInfo& value, unsigned short status, unsigned short mode);

    // Array setters: the element must have T's array type; it is first resized to exactly
    // count items (later elements move, the element's old value is gone).
    bool SetDataValue(unsigned short key, const bool* items, int count, unsigned short status, unsigned short mode);
    bool SetDataValue(unsigned short key, const char* items, int count, unsigned short status, unsigned short mode);
    bool SetDataValue(unsigned short key, const int* items, int count, unsigned short status, unsigned short mode);
    bool SetDataValue(unsigned short key, const short* items, int count, unsigned short status, unsigned short mode);
    bool SetDataValue(unsigned short key, const kvs::Long32* items, int count, unsigned short status,
                      unsigned short mode);
    bool SetDataValue(unsigned short key, const long* items, int count, unsigned short status, unsigned short mode);
    bool SetDataValue(unsigned short key, const float* items, int count, unsigned short status, unsigned short mode);
    bool SetDataValue(unsigned short key, const double* items, int count, unsigned short status,
                      unsigned short mode);
    bool SetDataValue(unsigned short key, const unsigned char* items, int count, unsigned short status,
                      unsigned short mode);
    bool SetDataValue(unsigned short key, const unsigned int* items, int count, unsigned short status,
                      unsigned short mode);
    bool SetDataValue(unsigned short key, const unsigned short* items, int count, unsigned short status,
                      unsigned short mode);
    bool SetDataValue(unsigned short key, const kvs::ULong32* items, int count, unsigned short status,
                      unsigned short mode);
    bool SetDataValue(unsigned short key, const unsigned long* items, int count, unsigned short status,
                      unsigned short mode);
    bool SetDataValue(unsigned short key, const Triangle* items, int count, unsigned short status,
                      unsigned short mode);
    // ET_STRING resized to the text's length; ET_STRING_ARRAY resized to its counted layout.
    bool SetDataValue(unsigned short key, const CString& text, unsigned short status, unsigned short mode);
    bool SetDataValue(unsigned short key, const char* text, unsigned short status, unsigned short mode)
    {
        return SetDataValue(key, CString(text), status, mode);
    }
    bool SetDataValue(unsigned short key, const CStringArray& list, unsigned short status, unsigned short mode);

    // Values through double (CKvsBytePtr::GetValueInDouble / SetValueFromDouble).
    bool GetDataAsDouble(unsigned short key, double& value, unsigned short& status, unsigned short mode,
                         bool convertUnits) const;
    bool GetDataAsDouble(unsigned short key, unsigned short index, double& value, unsigned short& status,
                         unsigned short mode, bool convertUnits) const;
    bool SetDataFromDouble(unsigned short key, double value, unsigned short status, unsigned short mode);

    // Text of element values.
    bool GetDataValueStr(unsigned short key, CString& text, unsigned short mode) const;
    bool GetDataValueStr(unsigned short key, unsigned short index, CString& text, unsigned short mode) const;
    bool GetDataValueStr(unsigned short key, const CString& format, CString& text, unsigned short mode) const;
    bool GetDataValueStr(unsigned short key, int decimals, CString& text, unsigned short mode) const;
    bool FormatDoubleStr(double value, unsigned short key, CString& text, unsigned short mode, bool convert) const;
    bool GetDataValueUnitAnnotation(unsigned short key, CString& text, unsigned short mode) const;

    // Interpolation between two blocks of one source, and import by use-as code.
    bool Interpolate(const CDataBlock& a, const CDataBlock& b, double fraction);
    bool Interpolate(unsigned short key, unsigned short mode, const CDataBlock& a, const CDataBlock& b,
                     double fraction);
    bool ImportItems(const CDataBlock& source);

    // Time comparison only; a NaN time makes all three false.
    bool operator==(const CDataBlock& other) const;
    bool operator>(const CDataBlock& other) const;
    bool operator<=(const CDataBlock& other) const;

    // Packed record. Every packer advances *pos and decreases remaining by what it wrote;
    // on failure nothing is written and nothing moves. wide selects 32-bit sizes.
    unsigned short GetStaticPackSize(bool wide) const; // meaningful only when CanPack(wide)
    unsigned int GetDynamicPackSize(bool wide) const;
    unsigned int GetPackSize(bool wide) const;
    // Whether every size and length of the record fits its field in the chosen form.
    bool CanPack(bool wide) const;
    bool Pack(unsigned char** pos, unsigned int& remaining, bool wide) const;
    bool PackStatic(unsigned char** pos, unsigned int& remaining, bool wide) const;
    bool PackDynamic(unsigned char** pos, unsigned int& remaining, bool wide) const;
    // Rebuilds this block from a record; reuses table and buffer when the layout matches.
    // On failure the block is partly updated but consistent; *pos then is unspecified
    // within the given bytes. On success *pos stands just behind the data bytes.
    bool UnPack(const unsigned char** pos, unsigned int& remaining, bool wide);

private:
    bool ResizeDataBlock(unsigned short index, unsigned int newLength);
    void AssignBptr();
    const CKvsBytePtr* FindElement(unsigned short key, unsigned short mode) const;
    CKvsBytePtr* FindElement(unsigned short key, unsigned short mode);
    template <typename T>
    bool SetArray(unsigned short key, unsigned short code, unsigned int itemSize, const T* items, int count,
                  unsigned short status, unsigned short mode);
    uint64_t StaticPackSize(bool wide) const;
    uint64_t DynamicPackSize(bool wide) const;

    static bool PackWORD(unsigned short value, unsigned char** pos, unsigned int& remaining);
    static bool PackUINT(unsigned int value, unsigned char** pos, unsigned int& remaining);
    static bool PackDouble(double value, unsigned char** pos, unsigned int& remaining);
    static bool UnPackWORD(unsigned short& value, const unsigned char** pos, unsigned int& remaining);
    static bool UnPackUINT(unsigned int& value, const unsigned char** pos, unsigned int& remaining);
    static bool UnPackDouble(double& value, const unsigned char** pos, unsigned int& remaining);

    CDataId m_dataId;
    double m_time = 0.0;
    unsigned short m_statusWord = kvs::kStatusInvalid;
    unsigned short m_count = 0;
    unsigned int m_dataSize = 0;
    std::unique_ptr<CKvsBytePtr[]> m_table;   // m_count elements, or null
    std::unique_ptr<unsigned char[]> m_buffer; // m_dataSize bytes, or null when 0
};
