// kvsdatablocks filters: MultibeamFilter, SingleBeamFilter and create_filter (the
// library's factory, which also gives the pipe-detection filter), with their settings
// from a dict keyed by attribute name or from an attribute file.
#include "PyBindings.h"
#include "PyBlock.h"
#include "PyCommon.h"
#include "PySettings.h"

#include <KvsDataBlocks/filters/Filter.h>
#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>
#include <KvsDataBlocks/filters/singlebeam/SingleBeamFilter.h>
#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/config/CAttributeMap.h>
#include <KvsDataBlocks/config/KnownAttributeNames.h>
#include <KvsDataBlocks/filters/multibeam/Multibeam.h>

#include <cmath>
#include <climits>
#include <memory>
#include <string>
#include <string_view>

namespace kvs::python {

namespace {

using Kind = CAttributeMap::Kind;

// The settings a dict may give: those the filters read (the library's list, with the type
// each is read as). A map attribute of another type would be passed over without a word,
// so a dict is checked against it.
bool IsFilterSetting(const KnownSetting& s)
{
    return s.reader != SettingReader::TideDataSource;
}

// By CAttributeMap::Kind.
constexpr const char* kTypeNames[] = {"a bool", "an int", "a number", "a str", "a dict (data_type, group_id, "
                                      "device_num, vessel_id, elem_id)", "three numbers"};

const KnownSetting* FindSetting(std::string_view name)
{
    const KnownSetting* s = FindKnownSetting(name);
    return s && IsFilterSetting(*s) ? s : nullptr;
}

[[noreturn]] void UnknownSetting(const std::string& name)
{
    py::list names;
    for (const KnownSetting& s : KnownSettings())
        if (IsFilterSetting(s)) names.append(s.name);
    const py::list close = py::module_::import("difflib").attr("get_close_matches")(name, names);
    std::string message = "unknown filter setting '" + name + "'";
    if (!close.empty()) message += " (did you mean '" + std::string(py::str(close[0])) + "'?)";
    throw py::key_error(message);
}

[[noreturn]] void WrongType(const KnownSetting& s, py::handle value)
{
    throw py::type_error(std::string("filter setting '") + s.name + "' takes " +
                         kTypeNames[static_cast<int>(s.kind)] + ", not " +
                         std::string(py::str(py::type::handle_of(value).attr("__name__"))));
}

double FiniteNumber(const KnownSetting& s, py::handle v)
{
    if (PyBool_Check(v.ptr()) || PyUnicode_Check(v.ptr()) || !py::hasattr(py::type::handle_of(v), "__float__"))
        WrongType(s, v);
    const double d = py::float_(py::reinterpret_borrow<py::object>(v)).cast<double>();
    if (!std::isfinite(d)) throw py::value_error(std::string("filter setting '") + s.name + "' must be finite");
    return d;
}

void Store(CAttributeMap& map, const KnownSetting& s, py::handle v)
{
    const CString name(s.name);
    switch (s.kind) {
    case Kind::Bool:
        if (!PyBool_Check(v.ptr()) && !py::isinstance(v, py::module_::import("numpy").attr("bool_"))) WrongType(s, v);
        map.SetAttribValue(name, PyObject_IsTrue(v.ptr()) == 1);
        break;
    case Kind::Int: {
        if (PyBool_Check(v.ptr()) || !PyIndex_Check(v.ptr())) WrongType(s, v);
        const py::int_ i = py::reinterpret_steal<py::int_>(PyNumber_Index(v.ptr()));
        if (i < py::int_(INT_MIN) || i > py::int_(INT_MAX))
            throw py::value_error(std::string("filter setting '") + s.name + "' must fit 32 bits");
        map.SetAttribValue(name, i.cast<int>());
        break;
    }
    case Kind::Double: map.SetAttribValue(name, FiniteNumber(s, v)); break;
    case Kind::Text:
        if (!PyUnicode_Check(v.ptr())) WrongType(s, v);
        map.SetAttribValue(name, Latin1Bytes(v));
        break;
    case Kind::DataInfo: {
        if (!PyDict_Check(v.ptr())) WrongType(s, v);
        const py::dict d = py::reinterpret_borrow<py::dict>(v);
        auto field = [&](const char* key) {
            if (!d.contains(key)) WrongType(s, v);
            return CastArgument<unsigned short>(d[key], std::string("filter setting '") + s.name + "': " + key,
                                                "an int of 0 to 65535");
        };
        map.SetAttribValue(name, CDataInfo(CDataId(field("data_type"), field("group_id"), field("device_num"),
                                                   field("vessel_id")),
                                           field("elem_id")));
        break;
    }
    case Kind::Double3: {
        if (PyUnicode_Check(v.ptr()) || !PySequence_Check(v.ptr()) || py::len(v) != 3) WrongType(s, v);
        const py::sequence xyz = py::reinterpret_borrow<py::sequence>(v);
        map.SetAttribValue(name, FiniteNumber(s, xyz[0]), FiniteNumber(s, xyz[1]), FiniteNumber(s, xyz[2]));
        break;
    }
    }
}

} // namespace

std::unique_ptr<CAttributeMap> SettingsMap(py::handle settings)
{
    auto map = std::make_unique<CAttributeMap>();
    if (settings.is_none()) return map;
    if (PyDict_Check(settings.ptr())) {
        for (const auto& [key, value] : py::reinterpret_borrow<py::dict>(settings)) {
            if (!PyUnicode_Check(key.ptr())) throw py::type_error("filter setting names are str");
            const std::string name = py::str(key);
            const KnownSetting* s = FindSetting(name);
            if (!s) UnknownSetting(name);
            Store(*map, *s, value);
        }
        return map;
    }
    const std::string path = PathBytes(settings);
    CString error;
    if (!map->LoadFile(CString(path), error)) Raise("SettingsError", std::string(error));
    // As the tool warns without --strict: unknown names and wrongly typed values, which
    // the filters would pass over.
    for (const CString& warning : CheckAttributeNames(*map)) {
        const std::string text = path + ": " + std::string(warning) + " - ignored";
        if (PyErr_WarnEx(PyExc_UserWarning, text.c_str(), 2) != 0) throw py::error_already_set();
    }
    return map;
}

namespace {

// A filter and the settings it reads. The map outlives the filter (the pipe-detection
// filter reads it again on every ping) and stays the same object when settings change.
class PyFilter
{
public:
    PyFilter(std::unique_ptr<CAttributeMap> settings, std::unique_ptr<Filter> filter)
        : m_settings(std::move(settings)), m_filter(std::move(filter))
    {
    }
    virtual ~PyFilter() = default;

    bool Process(PyBlock& block, bool errorLimitsOnly)
    {
        return m_filter->Process(block.Mutable(), errorLimitsOnly ? COMPUPDATE_ERRORLIMITS : COMPUPDATE_FULL);
    }

    py::list Remainder()
    {
        py::list out;
        for (;;) {
            auto block = std::make_shared<CDataBlock>();
            if (!m_filter->GetRemainder(*block)) return out;
            out.append(std::make_shared<PyBlock>(std::move(block)));
        }
    }

    void Configure(py::object settings)
    {
        *m_settings = std::move(*SettingsMap(settings));
        m_filter->SetAttributes(m_settings.get());
    }

    const Filter& Get() const { return *m_filter; }

private:
    std::unique_ptr<CAttributeMap> m_settings;
    std::unique_ptr<Filter> m_filter;
};

struct PyMultibeamFilter : PyFilter
{
    explicit PyMultibeamFilter(std::unique_ptr<CAttributeMap> settings, std::unique_ptr<Filter> filter)
        : PyFilter(std::move(settings), std::move(filter))
    {
    }
};

struct PySingleBeamFilter : PyFilter
{
    explicit PySingleBeamFilter(std::unique_ptr<CAttributeMap> settings, std::unique_ptr<Filter> filter)
        : PyFilter(std::move(settings), std::move(filter))
    {
    }
};

template <typename Concrete, typename Wrapper>
std::unique_ptr<Wrapper> Make(py::object settings)
{
    auto map = SettingsMap(settings);
    auto filter = std::make_unique<Concrete>(map.get());
    return std::make_unique<Wrapper>(std::move(map), std::move(filter));
}

std::unique_ptr<PyFilter> CreateFilter(PyBlock& block, py::object settings)
{
    auto map = SettingsMap(settings);
    std::unique_ptr<Filter> filter(Filter::CreateFilter(block.Headers(), map.get()));
    if (!filter) return nullptr;
    if (dynamic_cast<MultibeamFilter*>(filter.get()))
        return std::make_unique<PyMultibeamFilter>(std::move(map), std::move(filter));
    if (dynamic_cast<SingleBeamFilter*>(filter.get()))
        return std::make_unique<PySingleBeamFilter>(std::move(map), std::move(filter));
    return std::make_unique<PyFilter>(std::move(map), std::move(filter));
}

} // namespace

void BindFilters(py::module_& m)
{
    py::class_<PyFilter>(m, "Filter",
                         "A sounding filter for one data stream: feed it every block in time order with process(), "
                         "pass a block on whenever process() returns True, and drain it with remainder() at the end.")
        .def("process", &PyFilter::Process, py::arg("block"), py::kw_only(), py::arg("error_limits_only") = false,
             "Filters the block in place. True when the block now holds a finished block to pass on (possibly an "
             "earlier one the filter held back); False when there is nothing to pass on. error_limits_only "
             "recomputes only the IHO and custom error-limit flags.")
        .def("remainder", &PyFilter::Remainder, "The blocks the filter still holds, for the end of the stream.")
        .def("configure", &PyFilter::Configure, py::arg("settings"),
             "Reads the settings again (a dict or an attribute file path).");
    py::class_<PyMultibeamFilter, PyFilter>(m, "MultibeamFilter",
                                             "The multibeam filter (blocks of group 1011). Settings: a dict keyed "
                                             "by attribute name (\"DepthFilter\": True, \"FilterMinDepth\": 2.0, "
                                             "...), an attribute file path, or None.")
        .def(py::init(&Make<MultibeamFilter, PyMultibeamFilter>), py::arg("settings") = py::none());
    py::class_<PySingleBeamFilter, PyFilter>(m, "SingleBeamFilter",
                                              "The single-beam filter chain (blocks of group 1010): gate, depth "
                                              "window and spike filter, each switched on by its setting.")
        .def(py::init(&Make<SingleBeamFilter, PySingleBeamFilter>), py::arg("settings") = py::none());
    py::dict flags;
    for (const Multibeam::BeamFlagBit& f : Multibeam::kBeamFlagBits) flags[py::int_(f.bit)] = f.name;
    m.attr("BEAM_FLAGS") = flags; // bit -> name, in the order of the filter chain
    m.attr("BEAM_REJECT_MASK") = Multibeam::kBeamRejectMask;
    m.def("create_filter", &CreateFilter, py::arg("block"), py::arg("settings") = py::none(),
          "The filter for the block's group (1010 single-beam, 1011 multibeam, 1071 pipe detection), or None.");
}

} // namespace kvs::python
