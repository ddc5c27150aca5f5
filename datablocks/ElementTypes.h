// Element type codes, status values and block status masks of data blocks, with the one
// table that gives each type code its item size and kind. CKvsBytePtr, CDataBlock, the
// text formatter and the filters all read these.
#pragma once

#include <cstddef>
#include <cstdint>

// Type codes of data elements (CKvsBytePtr::GetType).
inline constexpr unsigned short ET_INT = 101;
inline constexpr unsigned short ET_UINT = 102;
inline constexpr unsigned short ET_DOUBLE = 103;
inline constexpr unsigned short ET_BOOL = 104;
inline constexpr unsigned short ET_CHAR = 105;
inline constexpr unsigned short ET_UCHAR = 106;
inline constexpr unsigned short ET_LONG = 107;  // 32-bit signed in the data area
inline constexpr unsigned short ET_ULONG = 108; // 32-bit unsigned in the data area
inline constexpr unsigned short ET_FLOAT = 109;
inline constexpr unsigned short ET_SHORT = 110;
inline constexpr unsigned short ET_USHORT = 111;
inline constexpr unsigned short ET_UINT64 = 112;
inline constexpr unsigned short ET_DATAINFO = 401;
inline constexpr unsigned short ET_STRING = 501;
inline constexpr unsigned short ET_BOOL_ARRAY = 601;
inline constexpr unsigned short ET_CHAR_ARRAY = 602;
inline constexpr unsigned short ET_INT_ARRAY = 603;
inline constexpr unsigned short ET_SHORT_ARRAY = 604;
inline constexpr unsigned short ET_LONG_ARRAY = 605; // items 32-bit signed
inline constexpr unsigned short ET_FLOAT_ARRAY = 606;
inline constexpr unsigned short ET_DOUBLE_ARRAY = 607;
inline constexpr unsigned short ET_UCHAR_ARRAY = 608;
inline constexpr unsigned short ET_UINT_ARRAY = 609;
inline constexpr unsigned short ET_USHORT_ARRAY = 610;
inline constexpr unsigned short ET_ULONG_ARRAY = 611; // items 32-bit unsigned
inline constexpr unsigned short ET_TRIANGLE_ARRAY = 612;
inline constexpr unsigned short ET_STRING_ARRAY = 613;

namespace kvs {

// Status values of elements and blocks. Every new block and element starts not valid.
inline constexpr unsigned short kStatusValid = 0;
inline constexpr unsigned short kStatusEmpty = 10;
inline constexpr unsigned short kStatusDegraded = 20;
inline constexpr unsigned short kStatusRejected = 30; // depths invalidated by the single-beam filters
inline constexpr unsigned short kStatusInvalid = 40;

// The block status word: low 6 bits status, high 10 bits flags.
inline constexpr unsigned short kBlockStatusMask = 0x003F;
inline constexpr unsigned short kBlockFlagMask = 0xFFC0;
inline constexpr unsigned short kBlockFlagEdited = 0x0100; // value shifted or set by the tide data source

// Item sizes of ET_DATAINFO (five 32-bit words) and of one ET_TRIANGLE_ARRAY item.
inline constexpr unsigned int kDataInfoSize = 20;
inline constexpr unsigned int kTriangleSize = 80;

enum class ElementKind : unsigned char { Scalar, DataInfo, String, Array, StringList };

struct ElementTypeInfo
{
    unsigned short code;
    ElementKind kind;
    unsigned int itemSize; // bytes per value or array item; 1 per character; 0 for string lists
};

inline constexpr ElementTypeInfo kElementTypes[] = {
    {ET_INT, ElementKind::Scalar, 4},
    {ET_UINT, ElementKind::Scalar, 4},
    {ET_DOUBLE, ElementKind::Scalar, 8},
    {ET_BOOL, ElementKind::Scalar, 1},
    {ET_CHAR, ElementKind::Scalar, 1},
    {ET_UCHAR, ElementKind::Scalar, 1},
    {ET_LONG, ElementKind::Scalar, 4},
    {ET_ULONG, ElementKind::Scalar, 4},
    {ET_FLOAT, ElementKind::Scalar, 4},
    {ET_SHORT, ElementKind::Scalar, 2},
    {ET_USHORT, ElementKind::Scalar, 2},
    {ET_UINT64, ElementKind::Scalar, 8},
    {ET_DATAINFO, ElementKind::DataInfo, kDataInfoSize},
    {ET_STRING, ElementKind::String, 1},
    {ET_BOOL_ARRAY, ElementKind::Array, 1},
    {ET_CHAR_ARRAY, ElementKind::Array, 1},
    {ET_INT_ARRAY, ElementKind::Array, 4},
    {ET_SHORT_ARRAY, ElementKind::Array, 2},
    {ET_LONG_ARRAY, ElementKind::Array, 4},
    {ET_FLOAT_ARRAY, ElementKind::Array, 4},
    {ET_DOUBLE_ARRAY, ElementKind::Array, 8},
    {ET_UCHAR_ARRAY, ElementKind::Array, 1},
    {ET_UINT_ARRAY, ElementKind::Array, 4},
    {ET_USHORT_ARRAY, ElementKind::Array, 2},
    {ET_ULONG_ARRAY, ElementKind::Array, 4},
    {ET_TRIANGLE_ARRAY, ElementKind::Array, kTriangleSize},
    {ET_STRING_ARRAY, ElementKind::StringList, 0},
};

// The table entry of a type code, or null for a code that is not an element type.
constexpr const ElementTypeInfo* FindElementType(unsigned short code)
{
    for (const ElementTypeInfo& t : kElementTypes)
        if (t.code == code) return &t;
    return nullptr;
}

// Array items of ET_LONG_ARRAY and ET_ULONG_ARRAY as they lie in the data area: 32-bit
// integers. Platform long is 64 bits here, so these distinct 4-byte types stand for
// long items in the view accessors; convert with static_cast<long>(item).
enum class Long32 : int32_t {};
enum class ULong32 : uint32_t {};

} // namespace kvs
