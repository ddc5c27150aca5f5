#include "PyBlock.h"

#include "PyBindings.h"
#include "PyCommon.h"
#include "PyElementValues.h"

#include <KvsDataBlocks/datablocks/DefinitionBuild.h>
#include <KvsDataBlocks/datablocks/ElementTypes.h>
#include <KvsDataBlocks/values/CKvsUnitCnv.h>
#include <KvsDataBlocks/config/DataDefinition.h>

#include <cstdio>
#include <string>

namespace kvs::python {

CDataBlock& PyBlock::Mutable()
{
    if (m_block.use_count() > 1) {
        auto own = std::make_shared<CDataBlock>(*m_block);
        // The block copy reports a failed allocation only by its shape.
        if (own->GetLength() != m_block->GetLength() || own->GetDataSize() != m_block->GetDataSize())
            throw std::bad_alloc();
        m_block = std::move(own);
    }
    return *m_block;
}

const CKvsBytePtr& PyElement::Header() const
{
    CKvsBytePtr* e = nullptr;
    if (!block->Get().GetDataIdx(position, e)) throw py::index_error("the block no longer has this element");
    return *e;
}

CKvsBytePtr& PyElement::MutableHeader() const
{
    CKvsBytePtr* e = nullptr;
    if (!block->Headers().GetDataIdx(position, e)) throw py::index_error("the block no longer has this element");
    return *e;
}

namespace {

// Lookup modes of CDataBlock::LookUp by the name a caller gives them.
struct NamedLookupMode
{
    const char* name;
    CDataBlock::LookupMode mode;
    const char* what; // for messages
};

constexpr NamedLookupMode kLookupModes[] = {
    {"position", CDataBlock::kByPosition, "at position"},
    {"id", CDataBlock::kById, "with id"},
    {"use_as", CDataBlock::kByUseAs, "with use-as code"},
};

// The position of the element that key names; KeyError when there is none. Positions
// are exact; ids and use-as codes go through the block's lookup (first match; keys of
// 100 or more are always use-as codes).
unsigned short PositionOf(const CDataBlock& block, long key, const std::string& by)
{
    const NamedLookupMode* mode = nullptr;
    for (const NamedLookupMode& m : kLookupModes)
        if (by == m.name) mode = &m;
    if (!mode) throw py::value_error("by must be 'use_as', 'id' or 'position', not '" + by + "'");
    unsigned short index = 0;
    const bool inRange = key >= 0 && key <= 0xFFFF;
    const bool found = inRange && (mode->mode == CDataBlock::kByPosition ? static_cast<unsigned long>(key) < block.GetLength() &&
                                                         (index = static_cast<unsigned short>(key), true)
                                                   : block.LookUp(static_cast<unsigned short>(key), mode->mode, index));
    if (!found) throw py::key_error("the block has no element " + std::string(mode->what) + " " + std::to_string(key));
    return index;
}

std::string ElementName(const CDataBlock& block, const CKvsBytePtr& e)
{
    CString name;
    if (DataDefinition::GetDataDefinition().GetGroupItemName(block.GetDataId().GetGroupId(), e.GetId(), name))
        return std::string(name);
    return "element " + std::to_string(e.GetId());
}

// The internal unit of the element's quantity (the unit its values are stored in),
// whatever display units the application chose; "" for values without a unit.
std::string ElementUnit(const CKvsBytePtr& e)
{
    const CKvsUnitCnv internal;
    return std::string(internal.GetUnitMnem(CKvsUnitCnv::ConvertFMTtoUNIT(e.GetFormat())));
}

PyElement ElementOf(const std::shared_ptr<PyBlock>& b, long key, const std::string& by)
{
    return PyElement{b, PositionOf(b->Get(), key, by)};
}

std::string DataIdText(const CDataId& id)
{
    return "DataId(data_type=" + std::to_string(id.GetDataType()) + ", group_id=" + std::to_string(id.GetGroupId()) +
           ", device_num=" + std::to_string(id.GetDeviceNum()) + ", vessel_id=" + std::to_string(id.GetVesselId()) +
           ")";
}

void BindDataId(py::module_& m)
{
    py::class_<CDataId>(m, "DataId", "The source of a data block: data type, group id, device number, vessel id.")
        .def(py::init<unsigned short, unsigned short, unsigned short, unsigned short>(), py::arg("data_type") = 0,
             py::arg("group_id") = 0, py::arg("device_num") = 0, py::arg("vessel_id") = 0)
        .def_property("data_type", &CDataId::GetDataType, &CDataId::SetDataType)
        .def_property("group_id", &CDataId::GetGroupId, &CDataId::SetGroupId)
        .def_property("device_num", &CDataId::GetDeviceNum, &CDataId::SetDeviceNum)
        .def_property("vessel_id", &CDataId::GetVesselId, &CDataId::SetVesselId)
        .def("__eq__", [](const CDataId& a, const CDataId& b) { return a == b; })
        .def("__hash__",
             [](const CDataId& id) {
                 return py::hash(py::make_tuple(id.GetDataType(), id.GetGroupId(), id.GetDeviceNum(), id.GetVesselId()));
             })
        .def("__repr__", &DataIdText);
}

void BindElement(py::module_& m)
{
    py::class_<PyElement>(m, "Element",
                          "One element of a block: its definition (name, id, type, format, use-as code, unit) and its "
                          "value and status, read from the block each time.")
        .def_readonly("position", &PyElement::position)
        .def_property_readonly("name", [](const PyElement& e) { return ElementName(e.block->Get(), e.Header()); })
        .def_property_readonly("id", [](const PyElement& e) { return e.Header().GetId(); })
        .def_property_readonly("type", [](const PyElement& e) { return e.Header().GetType(); })
        .def_property_readonly("type_name", [](const PyElement& e) { return ElementTypeName(e.Header().GetType()); })
        .def_property_readonly("format", [](const PyElement& e) { return e.Header().GetFormat(); })
        .def_property_readonly("use_as", [](const PyElement& e) { return e.Header().GetUseAs(); })
        .def_property_readonly("unit", [](const PyElement& e) { return ElementUnit(e.Header()); },
                               "Unit the values are stored in (\"m\", \"deg\", ...); \"\" for plain numbers.")
        .def_property_readonly("length", [](const PyElement& e) { return e.Header().GetLength(); }, "Bytes of data.")
        .def_property_readonly("count", [](const PyElement& e) { return ElementCount(e.Header()); },
                               "Items of an array, characters of a text, strings of a list; 1 otherwise.")
        .def_property(
            "status", [](const PyElement& e) { return e.Header().GetStatus(); },
            [](const PyElement& e, unsigned short status) { e.MutableHeader().SetStatus(status); },
            "Status of the value: 0 valid, 10 empty, 20 and 30 degraded, 40 not valid.")
        .def("value", [](const PyElement& e) { return ElementValue(*e.block, e.Header()); })
        .def("array", [](const PyElement& e) { return ElementArray(*e.block, e.Header()); })
        .def(
            "set_value",
            [](const PyElement& e, py::object value, unsigned short status) {
                e.Header();
                SetElementValue(*e.block, e.position, value, status);
            },
            py::arg("value"), py::arg("status") = 0)
        .def("__repr__", [](const PyElement& e) {
            const CKvsBytePtr& h = e.Header();
            return "<Element " + std::to_string(e.position) + " '" + ElementName(e.block->Get(), h) + "' " +
                   ElementTypeName(h.GetType()) + " use-as " + std::to_string(h.GetUseAs()) + " status " +
                   std::to_string(h.GetStatus()) + ">";
        });
}

} // namespace

void BindBlock(py::module_& m)
{
    // The storage that arrays handed out by Block.array() keep alive as their base.
    py::class_<CDataBlock, std::shared_ptr<CDataBlock>>(m, "_BlockStorage");
    BindDataId(m);
    BindElement(m);

    using BlockPtr = std::shared_ptr<PyBlock>;
    py::class_<PyBlock, BlockPtr>(m, "Block",
                                  "A data block: data id, time (seconds since 1970 UTC), status and typed elements. "
                                  "Elements are found by use-as code (the default), element id or position.")
        .def(py::init<>())
        .def_static(
            "from_definition",
            [](unsigned short groupId, unsigned short dataType, unsigned short deviceNum, unsigned short vesselId) {
                auto block = std::make_shared<CDataBlock>();
                if (!BuildDataBlockFromDefinition(CDataId(dataType, groupId, deviceNum, vesselId), *block))
                    throw py::key_error("the data definition has no group " + std::to_string(groupId));
                return std::make_shared<PyBlock>(std::move(block));
            },
            py::arg("group_id"), py::kw_only(), py::arg("data_type") = 1, py::arg("device_num") = 1,
            py::arg("vessel_id") = 1,
            "A block laid out from the data definition's group: every item an element (status 40, zero values).")
        .def_property(
            "data_id", [](const PyBlock& b) { return b.Get().GetDataId(); },
            [](PyBlock& b, const CDataId& id) { b.Headers().SetDataId(id); })
        .def_property_readonly("group_id", [](const PyBlock& b) { return b.Get().GetDataId().GetGroupId(); })
        .def_property(
            "time", [](const PyBlock& b) { return b.Get().GetTime(); },
            [](PyBlock& b, double t) { b.Headers().SetTime(t); }, "Seconds since 1970 UTC.")
        .def_property(
            "status", [](const PyBlock& b) { return b.Get().GetStatus(); },
            [](PyBlock& b, unsigned short s) {
                if (s & ~kBlockStatusMask) throw py::value_error("a block status lies in 0 to 63");
                b.Headers().SetStatus(s);
            },
            "Block status (low 6 bits of the status word): 0 valid ... 40 not valid.")
        .def_property(
            "flags", [](const PyBlock& b) { return b.Get().GetStatusFlag(); },
            [](PyBlock& b, unsigned short f) {
                if (f & ~kBlockFlagMask) throw py::value_error("block flags are the bits of 0xFFC0");
                CDataBlock& block = b.Headers();
                block.SetStatusAndFlags(static_cast<unsigned short>((block.GetStatusAndFlags() & kBlockStatusMask) | f));
            },
            "Block flags (high 10 bits of the status word).")
        .def("__len__", [](const PyBlock& b) { return b.Get().GetLength(); })
        .def(
            "elements",
            [](const BlockPtr& b) {
                py::list out;
                for (unsigned int i = 0; i < b->Get().GetLength(); ++i)
                    out.append(PyElement{b, static_cast<unsigned short>(i)});
                return out;
            },
            "Every element, in block order.")
        .def("element", &ElementOf, py::arg("key"), py::arg("by") = "use_as")
        .def(
            "value",
            [](const BlockPtr& b, long key, const std::string& by) {
                return ElementValue(*b, ElementOf(b, key, by).Header());
            },
            py::arg("key"), py::arg("by") = "use_as",
            "The element's value: int, float, bool, str, list of str, dict (a reference) or numpy array.")
        .def(
            "array",
            [](const BlockPtr& b, long key, const std::string& by) {
                return ElementArray(*b, ElementOf(b, key, by).Header());
            },
            py::arg("key"), py::arg("by") = "use_as",
            "The items of an array element as a read-only numpy array of the element's type: shared with the block "
            "when they lie aligned, else copied. The array keeps the values it had when taken, whatever later "
            "happens to the block.")
        .def(
            "set_value",
            [](const BlockPtr& b, long key, py::object value, unsigned short status, const std::string& by) {
                SetElementValue(*b, PositionOf(b->Get(), key, by), value, status);
            },
            py::arg("key"), py::arg("value"), py::arg("status") = 0, py::arg("by") = "use_as",
            "Stores a value and the element's status. Arrays and texts resize the element to what is given.")
        .def("copy", [](const PyBlock& b) { return std::make_shared<PyBlock>(std::make_shared<CDataBlock>(b.Get())); })
        .def("__copy__", [](const PyBlock& b) { return std::make_shared<PyBlock>(std::make_shared<CDataBlock>(b.Get())); })
        .def("__deepcopy__",
             [](const PyBlock& b, py::handle) { return std::make_shared<PyBlock>(std::make_shared<CDataBlock>(b.Get())); })
        .def("__repr__", [](const PyBlock& b) {
            const CDataBlock& block = b.Get();
            char text[160];
            std::snprintf(text, sizeof text, "<Block group %u time %.3f status %u flags 0x%04X, %u elements>",
                          block.GetDataId().GetGroupId(), block.GetTime(), block.GetStatus(), block.GetStatusFlag(),
                          block.GetLength());
            return std::string(text);
        });
}

} // namespace kvs::python
