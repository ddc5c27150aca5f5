// kvsblocks formula: evaluates a telegram formula once with variables from the command
// line, or once per block of a record stream with the block's data elements and time
// bound, one line (or JSON object) each.
#include "Commands.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/CKvsBytePtr.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/formula/CForm.h>
#include <KvsDataBlocks/formula/FormulaFunctions.h>
#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsDouble2D.h>
#include <KvsDataBlocks/values/CKvsDouble3D.h>
#include <KvsDataBlocks/values/CKvsInt.h>
#include <KvsDataBlocks/values/CKvsName.h>
#include <KvsDataBlocks/platform/TextUtils.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace kvs::tool {

namespace {

struct FormulaOptions
{
    std::string formula;
    std::vector<std::string> vars;  // N=number or N="text"
    std::vector<std::string> ints;  // N=integer
    std::vector<std::string> times; // N=UTC text or milliseconds since 1970
    std::vector<std::string> elems; // N=use-as code
    std::string vessel;
    std::string stream;
    bool json = false;
    bool list = false;
    bool markdown = false;
};

// Splits "N=VALUE" into a slot index 0 .. 49 and the value text.
std::pair<int, std::string> SlotAndValue(const std::string& option, const std::string& text)
{
    const size_t eq = text.find('=');
    double index = -1;
    if (eq == std::string::npos || !ParseFiniteDouble(text.substr(0, eq), index) || index != static_cast<int>(index) ||
        index < 0 || index >= CForm::kSlots)
        throw UsageError(option + " '" + text + "': expected N=VALUE with N from 0 to 49");
    return {static_cast<int>(index), text.substr(eq + 1)};
}

// The values bound to the form; their addresses stay fixed while the form uses them.
struct Slots
{
    std::vector<std::unique_ptr<CKvsType>> owned;
    std::array<CKvsBytePtr, CForm::kSlots> elements;
    std::array<int, CForm::kSlots> elementUseAs{}; // 0: the element at that position
    CKvsDouble blockTime{0.0};                       // tim0 of a stream, milliseconds since 1970

    CKvsType* Keep(std::unique_ptr<CKvsType> value)
    {
        owned.push_back(std::move(value));
        return owned.back().get();
    }
};

void BindOptions(const FormulaOptions& o, CForm& form, Slots& slots)
{
    for (const std::string& v : o.vars) {
        const auto [index, value] = SlotAndValue("--var", v);
        double number = 0.0;
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            form.SetVar(index, slots.Keep(std::make_unique<CKvsName>(CString(value.substr(1, value.size() - 2)))));
        else if (ParseFiniteDouble(value, number))
            form.SetVar(index, slots.Keep(std::make_unique<CKvsDouble>(number)));
        else
            throw UsageError("--var '" + v + "': the value is neither a number nor a quoted \"text\"");
    }
    for (const std::string& v : o.ints) {
        const auto [index, value] = SlotAndValue("--int", v);
        double number = 0.0;
        if (!ParseFiniteDouble(value, number) || number != static_cast<double>(static_cast<long long>(number)) ||
            number < -2147483648.0 || number > 2147483647.0)
            throw UsageError("--int '" + v + "': the value is not a 32-bit integer");
        form.SetVar(index, slots.Keep(std::make_unique<CKvsInt>(static_cast<int>(number))));
    }
    for (const std::string& v : o.times) {
        const auto [index, value] = SlotAndValue("--tim", v);
        double ms = 0.0, seconds = 0.0;
        if (ParseFiniteDouble(value, ms)) {
        } else if (ParseUtc(value, seconds)) {
            ms = seconds * 1000.0;
        } else {
            throw UsageError("--tim '" + v + "': expected milliseconds since 1970 or YYYY-MM-DD HH:MM:SS[.sss]");
        }
        form.SetTim(index, slots.Keep(std::make_unique<CKvsDouble>(ms)));
    }
    for (const std::string& v : o.elems) {
        const auto [index, value] = SlotAndValue("--elem", v);
        double useAs = 0.0;
        if (!ParseFiniteDouble(value, useAs) || useAs < 100 || useAs > 65535 || useAs != static_cast<int>(useAs))
            throw UsageError("--elem '" + v + "': expected a use-as code from 100 to 65535");
        slots.elementUseAs[static_cast<size_t>(index)] = static_cast<int>(useAs);
    }
    if (!o.vessel.empty()) form.SetVesselName(o.vessel.c_str());
}

nlohmann::json ResultJson(CKvsType* result)
{
    double a = 0, b = 0, c = 0;
    if (auto* name = dynamic_cast<CKvsName*>(result)) return std::string(name->Value());
    if (dynamic_cast<CKvsDouble3D*>(result) && result->GetDouble3D(a, b, c)) return {a, b, c};
    if (dynamic_cast<CKvsDouble2D*>(result) && result->GetDouble2D(a, b)) return {a, b};
    int i = 0;
    if (dynamic_cast<CKvsInt*>(result) && result->GetInt(i)) return i;
    if (result->GetDouble(a)) return std::isfinite(a) ? nlohmann::json(a) : nlohmann::json(nullptr);
    return nullptr;
}

std::string ResultText(CKvsType* result)
{
    CString text;
    result->GetValueStr(text);
    return std::string(text);
}

// Reports a parse error with its code, text and column: as JSON on standard output with
// --json, otherwise on standard error with the column marked.
int ReportParseError(const FormulaOptions& o, const CForm& form)
{
    int code = 0, column = 0;
    form.GetError(code, column);
    CString text;
    form.GetErrorText(text);
    if (o.json) {
        const nlohmann::json j = {{"formula", o.formula},
                                  {"error", {{"code", code}, {"text", std::string(text)}, {"column", column}}}};
        std::printf("%s\n", j.dump(2).c_str());
        return kExitBadInput;
    }
    std::fprintf(stderr, "kvsblocks: formula error %d at column %d: %s\n  %s\n  %*s\n", code, column,
                 static_cast<const char*>(text), o.formula.c_str(), column, "^");
    return kExitBadInput;
}

// The failed run as text: its code and text, and the call that failed with its column.
std::string ExecError(const CForm& form)
{
    const int code = form.GetExecError();
    std::string text = "formula execution error " + std::to_string(code) + ": " + CForm::ErrorText(code);
    CString name;
    int column = 0;
    if (form.GetExecErrorCall(name, column))
        text += " in '" + std::string(name) + "' at column " + std::to_string(column);
    return text;
}

nlohmann::json ExecErrorJson(const CForm& form)
{
    const int code = form.GetExecError();
    nlohmann::json j = {{"code", code}, {"text", CForm::ErrorText(code)}};
    CString name;
    int column = 0;
    if (form.GetExecErrorCall(name, column)) j["call"] = std::string(name), j["column"] = column;
    return j;
}

int RunOnce(const FormulaOptions& o)
{
    CForm form;
    Slots slots;
    BindOptions(o, form, slots);
    if (!form.SetFormula(o.formula.c_str())) return ReportParseError(o, form);
    CKvsType* result = nullptr;
    if (!form.Execute() || !form.GetResult(result)) {
        if (!o.json) throw InputError(ExecError(form));
        const nlohmann::json j = {{"formula", o.formula}, {"error", ExecErrorJson(form)}};
        std::printf("%s\n", j.dump(2).c_str());
        return kExitBadInput;
    }
    if (o.json) {
        const nlohmann::json j = {{"formula", o.formula}, {"result", ResultJson(result)}};
        std::printf("%s\n", j.dump(2).c_str());
    } else {
        std::printf("%s\n", ResultText(result).c_str());
    }
    return kExitOk;
}

// Points every data-element slot at the element of this block that it names.
void BindBlock(const CDataBlock& block, Slots& slots)
{
    for (size_t i = 0; i < slots.elements.size(); ++i) {
        CKvsBytePtr& element = slots.elements[i];
        const bool found = slots.elementUseAs[i] != 0
                               ? block.GetData(static_cast<unsigned short>(slots.elementUseAs[i]), element, CDataBlock::kByUseAs)
                               : i < block.GetLength() && block.GetDataIdx(static_cast<unsigned short>(i), element);
        if (!found) element = CKvsBytePtr();
    }
    slots.blockTime.SetDouble(block.GetTime() * 1000.0);
}

int RunStream(const FormulaOptions& o)
{
    RecordStreamReader reader;
    CString error;
    if (!reader.Open(o.stream.c_str(), error)) throw InputError(o.stream + ": " + std::string(error));

    CForm form;
    Slots slots;
    BindOptions(o, form, slots);
    for (int i = 0; i < CForm::kSlots; ++i) form.SetDataElem(i, &slots.elements[static_cast<size_t>(i)]);
    form.SetTim(0, &slots.blockTime);
    if (!form.SetFormula(o.formula.c_str())) return ReportParseError(o, form);

    CDataBlock block;
    uint64_t index = 0;
    bool firstJson = true;
    if (o.json) std::printf("[");
    int status = kExitOk;
    for (;; ++index) {
        const uint64_t offset = reader.Offset();
        const RecordStreamReader::Result r = reader.Next(block, error);
        if (r == RecordStreamReader::Result::End) break;
        if (r == RecordStreamReader::Result::Error) {
            std::fflush(stdout);
            std::fprintf(stderr, "kvsblocks: %s: %s\n", o.stream.c_str(), static_cast<const char*>(error));
            status = kExitBadInput;
            break;
        }
        BindBlock(block, slots);
        CKvsType* result = nullptr;
        if (!form.Execute() || !form.GetResult(result)) {
            // The block gives no telegram, as a driver would send none; the next ones do.
            std::fflush(stdout);
            std::fprintf(stderr, "kvsblocks: %s: block %llu at offset %llu: %s\n", o.stream.c_str(),
                         static_cast<unsigned long long>(index), static_cast<unsigned long long>(offset),
                         ExecError(form).c_str());
            status = kExitBadInput;
            if (o.json) {
                const nlohmann::json j = {{"index", index}, {"offset", offset}, {"time", FormatUtc(block.GetTime())},
                                          {"error", ExecErrorJson(form)}};
                std::printf("%s\n%s", firstJson ? "" : ",", j.dump().c_str());
                firstJson = false;
            }
            continue;
        }
        if (o.json) {
            const nlohmann::json j = {{"index", index}, {"offset", offset}, {"time", FormatUtc(block.GetTime())},
                                      {"result", ResultJson(result)}};
            std::printf("%s\n%s", firstJson ? "" : ",", j.dump().c_str());
            firstJson = false;
        } else {
            std::printf("%s\n", ResultText(result).c_str());
        }
    }
    if (o.json) std::printf("\n]\n");
    return status;
}

// Every function of the language: keyword(arguments), then what it gives.
int ListFunctions(bool json, bool markdown)
{
    size_t count = 0;
    const kvs::FormulaFunction* f = kvs::FormulaFunctions(count);
    nlohmann::json all = nlohmann::json::array();
    for (size_t i = 0; i < count; ++i) {
        const std::string call = std::string(f[i].keyword) + "(" + f[i].signature + ")";
        if (json)
            all.push_back({{"keyword", f[i].keyword}, {"arguments", f[i].arguments}, {"signature", f[i].signature},
                           {"description", f[i].description}});
        else if (markdown) {
            std::string description = f[i].description;
            for (size_t at = 0; (at = description.find('|', at)) != std::string::npos; at += 2) description.insert(at, "\\");
            std::printf("%s| `%s` | %s |\n", i ? "" : "| function | gives |\n|---|---|\n", call.c_str(), description.c_str());
        } else
            std::printf("%-44s %s\n", call.c_str(), f[i].description);
    }
    if (json) std::printf("%s\n", all.dump(2).c_str());
    return kExitOk;
}

int RunFormula(const FormulaOptions& o)
{
    if (o.list) return ListFunctions(o.json, o.markdown);
    if (o.formula.empty()) throw UsageError("formula: give a formula, or --list for the functions");
    return o.stream.empty() ? RunOnce(o) : RunStream(o);
}

} // namespace

void AddFormulaCommand(CLI::App& app, Runner& run)
{
    auto o = std::make_shared<FormulaOptions>();
    CLI::App* cmd = app.add_subcommand(
        "formula", "Evaluate a telegram formula with variables from the command line, or once per block of a stream");
    cmd->add_option("formula", o->formula, "The formula, for instance 'Sqrt(var0^2 + var1^2)' (quote it for the shell)");
    cmd->add_option("--var", o->vars, "Bind varN: N=number, or N=\"text\" (double quotes make a text)");
    cmd->add_option("--int", o->ints, "Bind varN to an integer value: N=integer");
    cmd->add_option("--tim", o->times,
                    "Bind timN: N=milliseconds since 1970 or N=YYYY-MM-DD HH:MM:SS[.sss] (UTC); with --stream, tim0 is "
                    "the block time");
    cmd->add_option("--vessel", o->vessel, "The text of vesselName");
    cmd->add_option("--stream", o->stream,
                    "Evaluate once per block of this record stream (- for standard input): dataElemN is the block's "
                    "element N, tim0 the block time in milliseconds since 1970");
    cmd->add_option("--elem", o->elems, "With --stream: bind dataElemN to the element with a use-as code: N=code");
    cmd->add_flag("--json", o->json, "Write JSON");
    cmd->add_flag("--list", o->list, "List every function with its arguments and what it gives");
    cmd->add_flag("--markdown", o->markdown, "With --list: as the Markdown table of the README");
    cmd->callback([o, &run] { run = [o] { return RunFormula(*o); }; });
}

} // namespace kvs::tool
