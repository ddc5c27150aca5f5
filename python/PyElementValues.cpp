#include "PyElementValues.h"

#include "PyCommon.h"

#include <KvsDataBlocks/datablocks/ElementTypes.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <type_traits>
#include <vector>

namespace kvs::python {

namespace {

// Every element type by name; for arrays also the numpy type of the items as they lie in
// the data area (little-endian) and the type that a setter converts to before storing
// (platform long for the 32-bit long arrays, whose setters narrow with a range check).
struct TypeEntry
{
    unsigned short code;
    const char* name;
    const char* dtype;
    const char* storeDtype;
};

constexpr TypeEntry kTypes[] = {
    {ET_INT, "ET_INT", nullptr, nullptr},
    {ET_UINT, "ET_UINT", nullptr, nullptr},
    {ET_DOUBLE, "ET_DOUBLE", nullptr, nullptr},
    {ET_BOOL, "ET_BOOL", nullptr, nullptr},
    {ET_CHAR, "ET_CHAR", nullptr, nullptr},
    {ET_UCHAR, "ET_UCHAR", nullptr, nullptr},
    {ET_LONG, "ET_LONG", nullptr, nullptr},
    {ET_ULONG, "ET_ULONG", nullptr, nullptr},
    {ET_FLOAT, "ET_FLOAT", nullptr, nullptr},
    {ET_SHORT, "ET_SHORT", nullptr, nullptr},
    {ET_USHORT, "ET_USHORT", nullptr, nullptr},
    {ET_UINT64, "ET_UINT64", nullptr, nullptr},
    {ET_DATAINFO, "ET_DATAINFO", nullptr, nullptr},
    {ET_STRING, "ET_STRING", nullptr, nullptr},
    {ET_BOOL_ARRAY, "ET_BOOL_ARRAY", "?", "?"},
    {ET_CHAR_ARRAY, "ET_CHAR_ARRAY", "i1", "i1"},
    {ET_INT_ARRAY, "ET_INT_ARRAY", "<i4", "<i4"},
    {ET_SHORT_ARRAY, "ET_SHORT_ARRAY", "<i2", "<i2"},
    {ET_LONG_ARRAY, "ET_LONG_ARRAY", "<i4", "<i8"},
    {ET_FLOAT_ARRAY, "ET_FLOAT_ARRAY", "<f4", "<f4"},
    {ET_DOUBLE_ARRAY, "ET_DOUBLE_ARRAY", "<f8", "<f8"},
    {ET_UCHAR_ARRAY, "ET_UCHAR_ARRAY", "u1", "u1"},
    {ET_UINT_ARRAY, "ET_UINT_ARRAY", "<u4", "<u4"},
    {ET_USHORT_ARRAY, "ET_USHORT_ARRAY", "<u2", "<u2"},
    {ET_ULONG_ARRAY, "ET_ULONG_ARRAY", "<u4", "<u8"},
    {ET_TRIANGLE_ARRAY, "ET_TRIANGLE_ARRAY", nullptr, nullptr},
    {ET_STRING_ARRAY, "ET_STRING_ARRAY", nullptr, nullptr},
};

constexpr const TypeEntry* FindType(unsigned short code)
{
    for (const TypeEntry& t : kTypes)
        if (t.code == code) return &t;
    return nullptr;
}

[[noreturn]] void ThrowPython(PyObject* type, const std::string& message)
{
    PyErr_SetString(type, message.c_str());
    throw py::error_already_set();
}

std::string TypeNameOf(py::handle value)
{
    return py::str(py::type::handle_of(value).attr("__name__"));
}

py::array ReadOnly(py::array a)
{
    a.attr("setflags")(py::arg("write") = false);
    return a;
}

// ---- reading

template <typename T, typename Shown = T>
py::object Read(const CKvsBytePtr& e)
{
    T v{};
    if (!e.GetValue(v)) return py::none();
    return py::cast(static_cast<Shown>(v));
}

py::object ScalarValue(const CKvsBytePtr& e)
{
    switch (e.GetType()) {
    case ET_INT: return Read<int>(e);
    case ET_UINT: return Read<unsigned int>(e);
    case ET_DOUBLE: return Read<double>(e);
    case ET_BOOL: return Read<bool>(e);
    case ET_CHAR: return Read<char, int>(e);
    case ET_UCHAR: return Read<unsigned char, unsigned int>(e);
    case ET_LONG: return Read<long>(e);
    case ET_ULONG: return Read<unsigned long>(e);
    case ET_FLOAT: return Read<float, double>(e);
    case ET_SHORT: return Read<short>(e);
    case ET_USHORT: return Read<unsigned short>(e);
    case ET_UINT64: return Read<unsigned long long>(e);
    default: return py::none();
    }
}

py::object DataInfoValue(const CKvsBytePtr& e)
{
    CDataInfo info;
    if (!e.GetValue(info)) return py::none();
    const CDataId& id = info.GetDataId();
    py::dict d;
    d["data_type"] = id.GetDataType();
    d["group_id"] = id.GetGroupId();
    d["device_num"] = id.GetDeviceNum();
    d["vessel_id"] = id.GetVesselId();
    d["elem_id"] = info.GetElemId();
    return d;
}

py::object StringListValue(const CKvsBytePtr& e)
{
    py::list out;
    if (!e.GetDataPtr() || e.GetLength() <= 4) return out; // an empty list is stored as its count alone
    CStringArray list;
    if (!e.GetValue(list)) throw py::value_error("the string list's counts run past its element");
    for (const CString& s : list) out.append(Latin1Text(s));
    return out;
}

py::array TriangleArray(const CKvsBytePtr& e)
{
    const size_t n = e.GetDataPtr() ? e.GetLength() / kTriangleSize : 0;
    py::array_t<double> out(std::vector<py::ssize_t>{static_cast<py::ssize_t>(n), 3, 3});
    double* dst = out.mutable_data();
    for (size_t i = 0; i < n; ++i)
        std::memcpy(dst + i * 9, e.GetDataPtr() + i * kTriangleSize, 9 * sizeof(double));
    return ReadOnly(out);
}

// ---- writing

// Where the library's keyed setters find the element at a position. Positions below 100
// are keys themselves; a later element is reached through its id or use-as code when
// that leads to it (the first match wins).
struct Key
{
    unsigned short key;
    CDataBlock::LookupMode mode;
};

std::optional<Key> KeyFor(const CDataBlock& block, unsigned short position)
{
    if (position < 100) return Key{position, CDataBlock::kByPosition};
    CKvsBytePtr* e = nullptr;
    unsigned short found = 0;
    if (!block.GetDataIdx(position, e)) return std::nullopt;
    if (block.LookUp(e->GetId(), CDataBlock::kById, found) && found == position) return Key{e->GetId(), CDataBlock::kById};
    if (block.LookUp(e->GetUseAs(), CDataBlock::kByUseAs, found) && found == position) return Key{e->GetUseAs(), CDataBlock::kByUseAs};
    return std::nullopt;
}

[[noreturn]] void ThrowUnaddressable(unsigned short position)
{
    throw py::value_error("element " + std::to_string(position) +
                          " cannot be resized: no id or use-as code leads to it (store exactly its length instead)");
}

CKvsBytePtr& ElementAt(CDataBlock& block, unsigned short position)
{
    CKvsBytePtr* e = nullptr;
    if (!block.GetDataIdx(position, e)) throw py::index_error("element position out of range");
    return *e;
}

template <typename T>
T IntegerArg(py::handle value)
{
    if (!PyIndex_Check(value.ptr()))
        throw py::type_error("expected an integer, not " + TypeNameOf(value));
    const py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!index) throw py::error_already_set();
    const std::string range = "the value does not fit the element (" + std::to_string(+std::numeric_limits<T>::min()) +
                              " to " + std::to_string(+std::numeric_limits<T>::max()) + ")";
    if constexpr (std::is_unsigned_v<T>) {
        const unsigned long long v = PyLong_AsUnsignedLongLong(index.ptr());
        if (PyErr_Occurred()) {
            PyErr_Clear();
            ThrowPython(PyExc_OverflowError, range);
        }
        if (v > std::numeric_limits<T>::max()) ThrowPython(PyExc_OverflowError, range);
        return static_cast<T>(v);
    } else {
        int overflow = 0;
        const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
        if (overflow != 0 || v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max())
            ThrowPython(PyExc_OverflowError, range);
        return static_cast<T>(v);
    }
}

double FloatArg(py::handle value)
{
    if (PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr()))
        throw py::type_error("expected a number, not " + TypeNameOf(value));
    const double v = PyFloat_AsDouble(value.ptr());
    if (v == -1.0 && PyErr_Occurred()) throw py::error_already_set();
    return v;
}

bool BoolArg(py::handle value)
{
    if (PyBool_Check(value.ptr()) || py::isinstance(value, py::module_::import("numpy").attr("bool_")))
        return PyObject_IsTrue(value.ptr()) == 1;
    if (PyIndex_Check(value.ptr())) {
        const int v = IntegerArg<int>(value);
        if (v == 0 || v == 1) return v == 1;
    }
    throw py::type_error("expected a bool (or 0 or 1), not " + TypeNameOf(value));
}

CDataInfo DataInfoArg(py::handle value)
{
    if (!PyDict_Check(value.ptr()))
        throw py::type_error("expected a dict with data_type, group_id, device_num, vessel_id and elem_id");
    const py::dict d = py::reinterpret_borrow<py::dict>(value);
    auto field = [&](const char* name) {
        if (!d.contains(name)) throw py::key_error(std::string("the reference lacks '") + name + "'");
        return IntegerArg<unsigned short>(d[name]);
    };
    const CDataId id(field("data_type"), field("group_id"), field("device_num"), field("vessel_id"));
    return CDataInfo(id, field("elem_id"));
}

void SetScalar(CKvsBytePtr& e, py::handle v, unsigned short status)
{
    bool ok = false;
    switch (e.GetType()) {
    case ET_INT: ok = e.SetValue(IntegerArg<int>(v)); break;
    case ET_UINT: ok = e.SetValue(IntegerArg<unsigned int>(v)); break;
    case ET_LONG: ok = e.SetValue(static_cast<long>(IntegerArg<int32_t>(v))); break;
    case ET_ULONG: ok = e.SetValue(static_cast<unsigned long>(IntegerArg<uint32_t>(v))); break;
    case ET_CHAR: ok = e.SetValue(static_cast<char>(IntegerArg<signed char>(v))); break;
    case ET_UCHAR: ok = e.SetValue(IntegerArg<unsigned char>(v)); break;
    case ET_SHORT: ok = e.SetValue(IntegerArg<short>(v)); break;
    case ET_USHORT: ok = e.SetValue(IntegerArg<unsigned short>(v)); break;
    case ET_UINT64: ok = e.SetValue(IntegerArg<unsigned long long>(v)); break;
    case ET_DOUBLE: ok = e.SetValue(FloatArg(v)); break;
    case ET_FLOAT: {
        const double d = FloatArg(v);
        if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max())
            ThrowPython(PyExc_OverflowError, "the value does not fit a float element");
        ok = e.SetValue(static_cast<float>(d));
        break;
    }
    case ET_BOOL: ok = e.SetValue(BoolArg(v)); break;
    case ET_DATAINFO: ok = e.SetValue(DataInfoArg(v)); break;
    default: throw py::type_error("element type " + ElementTypeName(e.GetType()) + " cannot be set");
    }
    if (!ok) throw py::value_error("the element has no data area to store into");
    e.SetStatus(status);
}

// Stores a text or list: through the keyed setter when the length changes (it resizes),
// straight into the element when it does not.
template <typename T>
void SetResizing(CDataBlock& block, unsigned short position, const T& value, unsigned int newLength,
                 unsigned short status)
{
    CKvsBytePtr& e = ElementAt(block, position);
    if (newLength == e.GetLength() && e.GetDataPtr()) {
        if (!e.SetValue(value)) throw py::value_error("the value does not fit the element");
        e.SetStatus(status);
        return;
    }
    const std::optional<Key> key = KeyFor(block, position);
    if (!key) ThrowUnaddressable(position);
    if (!block.SetDataValue(key->key, value, status, key->mode)) throw std::bad_alloc();
}

void SetText(CDataBlock& block, unsigned short position, py::handle v, unsigned short status)
{
    const CString text = PyBytes_Check(v.ptr()) ? CString(std::string(py::bytes(py::reinterpret_borrow<py::bytes>(v))))
                                                : Latin1Bytes(v);
    SetResizing(block, position, text, static_cast<unsigned int>(text.GetLength()), status);
}

void SetStringList(CDataBlock& block, unsigned short position, py::handle v, unsigned short status)
{
    if (PyUnicode_Check(v.ptr()) || !PySequence_Check(v.ptr())) throw py::type_error("expected a list of str");
    CStringArray list;
    uint64_t length = 4;
    for (py::handle item : py::reinterpret_borrow<py::sequence>(v)) {
        list.Add(Latin1Bytes(item));
        length += 4 + static_cast<uint64_t>(list[list.GetSize() - 1].GetLength());
    }
    if (length > UINT32_MAX) throw py::value_error("the list is too long for an element");
    SetResizing(block, position, list, static_cast<unsigned int>(length), status);
}

void SetTriangles(CDataBlock& block, unsigned short position, py::handle v, unsigned short status)
{
    const auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(v);
    if (!a || a.ndim() != 3 || a.shape(1) != 3 || a.shape(2) != 3)
        throw py::value_error("expected triangles as an array of shape (n, 3, 3): corners A, B, C and x, y, z");
    const size_t n = static_cast<size_t>(a.shape(0));
    if (n > INT_MAX / kTriangleSize) throw py::value_error("too many triangles for an element");
    std::vector<Triangle> items(n);
    const double* p = a.data();
    for (size_t i = 0; i < n; ++i, p += 9)
        items[i].SetPoints(Point(p[0], p[1], p[2]), Point(p[3], p[4], p[5]), Point(p[6], p[7], p[8]));
    const int count = static_cast<int>(n);
    CKvsBytePtr& e = ElementAt(block, position);
    if (n * kTriangleSize == e.GetLength() && e.GetDataPtr()) {
        e.SetValue(items.data(), count);
        e.SetStatus(status);
        return;
    }
    const std::optional<Key> key = KeyFor(block, position);
    if (!key) ThrowUnaddressable(position);
    if (!block.SetDataValue(key->key, items.data(), count, status, key->mode)) throw std::bad_alloc();
}

// The items converted to the element's store type: numbers of a kind that converts
// exactly (no floats into integers), and integers within the item type's range.
py::array ConvertedItems(py::handle values, const TypeEntry& type)
{
    const py::module_ np = py::module_::import("numpy");
    const py::array in = np.attr("asarray")(values);
    if (in.ndim() != 1) throw py::value_error("expected a one-dimensional array");
    const char kind = in.dtype().kind();
    const py::dtype items(type.dtype);
    const char target = items.kind();
    const bool ok = in.size() == 0 ||
                    (target == 'f' ? std::strchr("biuf", kind) != nullptr : std::strchr("biu", kind) != nullptr);
    if (!ok)
        throw py::type_error("cannot store " + std::string(py::str(in.dtype())) + " items into an " +
                             ElementTypeName(type.code) + " element" +
                             (kind == 'f' ? " (round them and convert with astype first)" : ""));
    if (target != 'f' && in.size() > 0 && kind != 'b') { // integer items: within the item type's range
        const py::object info = target == 'b' ? np.attr("iinfo")("u1") : np.attr("iinfo")(items);
        const py::object lo = target == 'b' ? py::object(py::int_(0)) : info.attr("min");
        const py::object hi = target == 'b' ? py::object(py::int_(1)) : info.attr("max");
        if (in.attr("min")() < lo || in.attr("max")() > hi)
            ThrowPython(PyExc_OverflowError, "items do not fit an " + ElementTypeName(type.code) + " element (" +
                                                 std::string(py::str(lo)) + " to " + std::string(py::str(hi)) + ")");
    }
    return np.attr("ascontiguousarray")(in, py::arg("dtype") = py::dtype(type.storeDtype));
}

template <typename Store>
bool DispatchArray(unsigned short code, const void* data, Store&& store)
{
    switch (code) {
    case ET_BOOL_ARRAY: return store(static_cast<const bool*>(data));
    case ET_CHAR_ARRAY: return store(static_cast<const char*>(data));
    case ET_INT_ARRAY: return store(static_cast<const int*>(data));
    case ET_SHORT_ARRAY: return store(static_cast<const short*>(data));
    case ET_LONG_ARRAY: return store(static_cast<const long*>(data));
    case ET_FLOAT_ARRAY: return store(static_cast<const float*>(data));
    case ET_DOUBLE_ARRAY: return store(static_cast<const double*>(data));
    case ET_UCHAR_ARRAY: return store(static_cast<const unsigned char*>(data));
    case ET_UINT_ARRAY: return store(static_cast<const unsigned int*>(data));
    case ET_USHORT_ARRAY: return store(static_cast<const unsigned short*>(data));
    case ET_ULONG_ARRAY: return store(static_cast<const unsigned long*>(data));
    default: return false;
    }
}

void SetArray(CDataBlock& block, unsigned short position, py::handle v, const TypeEntry& type, unsigned short status)
{
    const py::array items = ConvertedItems(v, type);
    const py::dtype stored(type.dtype);
    const uint64_t bytes = static_cast<uint64_t>(items.size()) * static_cast<uint64_t>(stored.itemsize());
    if (items.size() > INT_MAX || bytes > UINT32_MAX) throw py::value_error("too many items for an element");
    const int count = static_cast<int>(items.size());
    CKvsBytePtr& e = ElementAt(block, position);
    bool ok = false;
    if (bytes == e.GetLength() && e.GetDataPtr()) {
        ok = DispatchArray(type.code, items.data(), [&](const auto* p) { return e.SetValue(p, count); });
        if (ok) e.SetStatus(status);
    } else {
        const std::optional<Key> key = KeyFor(block, position);
        if (!key) ThrowUnaddressable(position);
        ok = DispatchArray(type.code, items.data(),
                           [&](const auto* p) { return block.SetDataValue(key->key, p, count, status, key->mode); });
        if (!ok) throw std::bad_alloc();
    }
    if (!ok) throw py::value_error("the items could not be stored");
}

} // namespace

std::string ElementTypeName(unsigned short type)
{
    const TypeEntry* t = FindType(type);
    return t ? t->name : "type " + std::to_string(type);
}

size_t ElementCount(const CKvsBytePtr& e)
{
    const ElementTypeInfo* info = FindElementType(e.GetType());
    if (!info) return 0;
    switch (info->kind) {
    case ElementKind::Array: return e.GetLength() / info->itemSize;
    case ElementKind::String: return e.GetLength();
    case ElementKind::StringList: {
        CStringArray list;
        return e.GetLength() > 4 && e.GetValue(list) ? static_cast<size_t>(list.GetSize()) : 0;
    }
    default: return 1;
    }
}

py::array ElementArray(const PyBlock& block, const CKvsBytePtr& e)
{
    if (e.GetType() == ET_TRIANGLE_ARRAY) return TriangleArray(e);
    const TypeEntry* type = FindType(e.GetType());
    if (!type || !type->dtype)
        throw py::type_error("element type " + ElementTypeName(e.GetType()) + " is not an array (use value())");
    const py::dtype dtype(type->dtype);
    const size_t itemSize = static_cast<size_t>(dtype.itemsize());
    const unsigned char* data = e.GetDataPtr();
    const size_t count = data ? e.GetLength() / itemSize : 0;
    const py::array::ShapeContainer shape{static_cast<py::ssize_t>(count)};
    if (count > 0 && e.GetType() != ET_BOOL_ARRAY && reinterpret_cast<uintptr_t>(data) % itemSize == 0)
        return ReadOnly(py::array(dtype, shape, py::array::StridesContainer{static_cast<py::ssize_t>(itemSize)}, data,
                                  py::cast(block.Storage())));
    py::array copy(dtype, shape);
    auto* out = static_cast<unsigned char*>(copy.mutable_data());
    if (e.GetType() == ET_BOOL_ARRAY)
        for (size_t i = 0; i < count; ++i) out[i] = data[i] != 0;
    else
        std::memcpy(out, data, count * itemSize);
    return ReadOnly(copy);
}

py::object ElementValue(const PyBlock& block, const CKvsBytePtr& e)
{
    const ElementTypeInfo* info = FindElementType(e.GetType());
    if (!info) return py::none();
    switch (info->kind) {
    case ElementKind::Array: return ElementArray(block, e);
    case ElementKind::String: {
        CString text;
        if (!e.GetValue(text)) return py::none();
        return Latin1Text(text);
    }
    case ElementKind::StringList: return StringListValue(e);
    case ElementKind::DataInfo: return DataInfoValue(e);
    case ElementKind::Scalar: return ScalarValue(e);
    }
    return py::none();
}

void SetElementValue(PyBlock& pyBlock, unsigned short position, py::handle value, unsigned short status)
{
    CDataBlock& block = pyBlock.Mutable();
    const unsigned short type = ElementAt(block, position).GetType();
    const TypeEntry* entry = FindType(type);
    if (type == ET_STRING) return SetText(block, position, value, status);
    if (type == ET_STRING_ARRAY) return SetStringList(block, position, value, status);
    if (type == ET_TRIANGLE_ARRAY) return SetTriangles(block, position, value, status);
    if (entry && entry->dtype) return SetArray(block, position, value, *entry, status);
    SetScalar(ElementAt(block, position), value, status);
}

} // namespace kvs::python
