// kvsdatablocks.evaluate: one telegram formula evaluated with values bound to its var,
// tim and dataElem slots, as the tool's formula subcommand does it.
#include "PyBindings.h"
#include "PyBlock.h"
#include "PyElementValues.h"
#include "PyCommon.h"

#include <KvsDataBlocks/formula/CForm.h>
#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsDouble2D.h>
#include <KvsDataBlocks/values/CKvsDouble3D.h>
#include <KvsDataBlocks/values/CKvsInt.h>
#include <KvsDataBlocks/values/CKvsName.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace kvs::python {

namespace {

// The values bound to the form; their addresses stay fixed while the form uses them.
struct Slots
{
    std::vector<std::unique_ptr<CKvsType>> owned;
    std::array<bool, CForm::kSlots> varTaken{};
    std::array<bool, CForm::kSlots> timTaken{};
    std::array<CKvsBytePtr, CForm::kSlots> elements;
    CKvsDouble blockTime{0.0};

    CKvsType* Keep(std::unique_ptr<CKvsType> value)
    {
        owned.push_back(std::move(value));
        return owned.back().get();
    }
};

// (slot, value) pairs of a mapping {slot: value} or a sequence (slot = position).
std::vector<std::pair<int, py::object>> SlotValues(py::handle given, const char* what)
{
    std::vector<std::pair<int, py::object>> out;
    if (given.is_none()) return out;
    py::object items;
    if (PyDict_Check(given.ptr()))
        items = py::reinterpret_borrow<py::dict>(given).attr("items")();
    else if (PySequence_Check(given.ptr()) && !PyUnicode_Check(given.ptr()))
        items = py::module_::import("builtins").attr("enumerate")(given);
    else
        throw py::type_error(std::string(what) + " must be a dict {slot: value} or a sequence");
    for (py::handle pair : items) {
        const py::tuple t = py::reinterpret_borrow<py::tuple>(pair);
        if (!PyLong_Check(t[0].ptr()) || PyBool_Check(t[0].ptr())) throw py::type_error(std::string(what) + ": slots are ints");
        const long slot = t[0].cast<long>();
        if (slot < 0 || slot >= CForm::kSlots)
            throw py::value_error(std::string(what) + ": slot " + std::to_string(slot) + " is outside 0 to 49");
        out.emplace_back(static_cast<int>(slot), py::reinterpret_borrow<py::object>(t[1]));
    }
    return out;
}

void TakeSlot(std::array<bool, CForm::kSlots>& taken, int slot, const char* prefix)
{
    if (taken[static_cast<size_t>(slot)])
        throw py::value_error(std::string(prefix) + std::to_string(slot) + " is given more than once");
    taken[static_cast<size_t>(slot)] = true;
}

bool IsNumber(py::handle v)
{
    return !PyBool_Check(v.ptr()) && (PyLong_Check(v.ptr()) || PyFloat_Check(v.ptr()) || PyIndex_Check(v.ptr()) ||
                                      py::hasattr(py::type::handle_of(v), "__float__"));
}

// Milliseconds since 1970 UTC: a number as it is, or a datetime (a naive one is UTC).
double Milliseconds(py::handle v)
{
    if (py::isinstance(v, py::module_::import("datetime").attr("datetime"))) return SecondsArg(v) * 1000.0;
    if (!IsNumber(v)) throw py::type_error("times are milliseconds since 1970 or datetime objects");
    return py::float_(py::reinterpret_borrow<py::object>(v)).cast<double>();
}

void Bind(CForm& form, Slots& slots, py::handle vars, py::handle texts, py::handle ints, py::handle times)
{
    for (const auto& [slot, v] : SlotValues(vars, "vars")) {
        TakeSlot(slots.varTaken, slot, "var");
        if (PyUnicode_Check(v.ptr()))
            form.SetVar(slot, slots.Keep(std::make_unique<CKvsName>(Latin1Bytes(v))));
        else if (IsNumber(v))
            form.SetVar(slot, slots.Keep(std::make_unique<CKvsDouble>(py::float_(v).cast<double>())));
        else
            throw py::type_error("vars: var" + std::to_string(slot) + " must be a number or a str");
    }
    for (const auto& [slot, v] : SlotValues(texts, "texts")) {
        TakeSlot(slots.varTaken, slot, "var");
        if (!PyUnicode_Check(v.ptr()))
            throw py::type_error("texts: var" + std::to_string(slot) + " must be a str, not " +
                                 std::string(py::str(py::type::handle_of(v).attr("__name__"))));
        form.SetVar(slot, slots.Keep(std::make_unique<CKvsName>(Latin1Bytes(v))));
    }
    for (const auto& [slot, v] : SlotValues(ints, "ints")) {
        TakeSlot(slots.varTaken, slot, "var");
        if (!PyIndex_Check(v.ptr())) throw py::type_error("ints: var" + std::to_string(slot) + " must be an int");
        long long i = 0;
        try {
            i = v.cast<long long>();
        } catch (const py::cast_error&) {
            i = INT64_MAX;
        }
        if (i < INT32_MIN || i > INT32_MAX) {
            PyErr_SetString(PyExc_OverflowError, ("ints: var" + std::to_string(slot) + " is not a 32-bit integer").c_str());
            throw py::error_already_set();
        }
        form.SetVar(slot, slots.Keep(std::make_unique<CKvsInt>(static_cast<int>(i))));
    }
    for (const auto& [slot, v] : SlotValues(times, "times")) {
        TakeSlot(slots.timTaken, slot, "tim");
        form.SetTim(slot, slots.Keep(std::make_unique<CKvsDouble>(Milliseconds(v))));
    }
}

// dataElemN: the block's element at position N, or the one with the use-as code that
// elements gives for N; tim0 the block time in milliseconds.
void BindBlockElements(CForm& form, Slots& slots, const CDataBlock& block, py::handle elements)
{
    std::array<int, CForm::kSlots> useAs{};
    for (const auto& [slot, v] : SlotValues(elements, "elements")) {
        const long code = CastArgument<long>(v, "elements: slot " + std::to_string(slot), "an int (a use-as code)");
        if (code < 100 || code > 0xFFFF) throw py::value_error("elements: use-as codes lie in 100 to 65535");
        useAs[static_cast<size_t>(slot)] = static_cast<int>(code);
    }
    for (size_t i = 0; i < slots.elements.size(); ++i) {
        CKvsBytePtr& e = slots.elements[i];
        const bool found = useAs[i] != 0 ? block.GetData(static_cast<unsigned short>(useAs[i]), e, CDataBlock::kByUseAs)
                                         : i < block.GetLength() && block.GetDataIdx(static_cast<unsigned short>(i), e);
        if (!found) e = CKvsBytePtr();
        form.SetDataElem(static_cast<int>(i), &e);
    }
    TakeSlot(slots.timTaken, 0, "tim");
    slots.blockTime.SetDouble(block.GetTime() * 1000.0);
    form.SetTim(0, &slots.blockTime);
}

py::object ResultValue(CKvsType* result, const PyBlock* block)
{
    double a = 0, b = 0, c = 0;
    int i = 0;
    if (auto* name = dynamic_cast<CKvsName*>(result)) return Latin1Text(name->Value());
    if (dynamic_cast<CKvsDouble3D*>(result) && result->GetDouble3D(a, b, c)) return py::make_tuple(a, b, c);
    if (dynamic_cast<CKvsDouble2D*>(result) && result->GetDouble2D(a, b)) return py::make_tuple(a, b);
    if (dynamic_cast<CKvsInt*>(result) && result->GetInt(i)) return py::int_(i);
    if (auto* element = dynamic_cast<CKvsBytePtr*>(result); element && block) return ElementValue(*block, *element);
    if (result->GetDouble(a)) return py::float_(a);
    return py::none();
}

py::object Evaluate(py::str formulaText, py::object vars, py::object texts, py::object ints, py::object times,
                    py::object vessel, const std::shared_ptr<PyBlock>& block, py::object elements)
{
    const CString formula = Latin1Bytes(formulaText);
    CForm form;
    Slots slots;
    Bind(form, slots, vars, texts, ints, times);
    if (block)
        BindBlockElements(form, slots, block->Get(), elements);
    else if (!elements.is_none())
        throw py::value_error("elements needs a block");
    if (!vessel.is_none()) form.SetVesselName(Latin1Bytes(vessel));
    if (!form.SetFormula(formula)) {
        int code = 0, column = 0;
        form.GetError(code, column);
        CString text;
        form.GetErrorText(text);
        if (!form.GetErrorDetail().IsEmpty()) text += CString(": ") + form.GetErrorDetail();
        RaiseFormulaError(std::string(formula), code, std::string(text), column > 0 ? column : 1);
    }
    CKvsType* result = nullptr;
    if (!form.Execute() || !form.GetResult(result))
        RaiseFormulaError(std::string(formula), form.GetExecError(), CForm::ErrorText(form.GetExecError()), 0);
    return ResultValue(result, block.get());
}

} // namespace

void BindFormula(py::module_& m)
{
    m.def("evaluate", &Evaluate, py::arg("formula"), py::kw_only(), py::arg("vars") = py::none(),
          py::arg("texts") = py::none(), py::arg("ints") = py::none(), py::arg("times") = py::none(),
          py::arg("vessel") = py::none(), py::arg("block") = nullptr, py::arg("elements") = py::none(),
          R"doc(Evaluates a telegram formula and returns its result (float, int, str or a tuple for a vector).

vars:     {slot: number or str} (or a sequence) for var0 .. var49; numbers bind as doubles, str as texts
texts:    {slot: str} for varN texts
ints:     {slot: int} for varN bound as 32-bit integers
times:    {slot: milliseconds since 1970 or datetime} for tim0 .. tim49 (naive datetimes are UTC)
vessel:   the text of vesselName
block:    a Block: dataElemN is its element at position N and tim0 its time in milliseconds
elements: {slot: use-as code} binds dataElemN to the block's element with that code instead

Raises FormulaError (code, text, column) when the formula does not parse or fails to run.)doc");
}

} // namespace kvs::python
