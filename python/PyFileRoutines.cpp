// kvsdatablocks.filter_file / export_file: the kvsblocks tool's own routines for a whole
// file (tools/FilterFile.h, tools/Export.h), so that a line filtered or exported from
// Python gives the very bytes the tool gives, written whole or not at all. They run with
// the GIL released: threads of one process filter lines side by side.
#include "PyBindings.h"
#include "PyCommon.h"
#include "PySettings.h"

#include "Export.h"
#include "FilterFile.h"
#include "OutputFile.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/config/CAttributeMap.h>
#include <KvsDataBlocks/formats/FileFormat.h>

#include <string>
#include <vector>

namespace kvs::python {

namespace {

// Where a tool routine failed, carried out of the section that runs without the GIL.
struct Failure
{
    enum Kind { None, Usage, Input } kind = None;
    std::string message;

    // Runs work, keeping the tool's usage and input errors.
    template <class Work>
    void Catch(Work&& work)
    {
        try {
            work();
        } catch (const tool::UsageError& e) {
            kind = Usage;
            message = e.what();
        } catch (const tool::InputError& e) {
            kind = Input;
            message = e.what();
        }
    }
    // Raises ValueError for a usage error, errorClass for an input error.
    void Raise(const char* errorClass) const
    {
        if (kind == Usage) throw py::value_error(message);
        if (kind == Input) python::Raise(errorClass, message);
    }
};

std::string OutputPath(py::handle output, const char* what)
{
    const std::string path = PathBytes(output);
    if (path.empty() || path == "-") throw py::value_error(std::string(what) + " writes a file: give its path");
    return path;
}

py::object FromJson(const nlohmann::json& j)
{
    return py::module_::import("json").attr("loads")(MessageText(j.dump()));
}

py::object FilterFile(py::handle input, py::object output, py::object settings, int mode, bool partial)
{
    if (mode != 0 && mode != 3) throw py::value_error("mode must be 0 (full) or 3 (error-limit flags only)");
    const std::string in = PathBytes(input);
    const std::string out = output.is_none() ? std::string() : OutputPath(output, "filter_file");
    std::vector<std::string> inputs{in};
    if (!settings.is_none() && !PyDict_Check(settings.ptr())) inputs.push_back(PathBytes(settings));
    const std::unique_ptr<CAttributeMap> map = SettingsMap(settings);

    tool::FilterSummary sum;
    std::vector<std::string> messages;
    Failure failure;
    {
        py::gil_scoped_release release;
        failure.Catch([&] {
            tool::RefuseSameFile(inputs, {out});
            sum = tool::FilterFile(in, out, *map, {mode, partial, /*json=*/true}, false, {},
                                   [&messages](const std::string& m) { messages.push_back(m); });
        });
    }
    failure.Raise("StreamError");
    nlohmann::json j = tool::SummaryJson(sum);
    j["input"] = in;
    j["output"] = out.empty() ? nlohmann::json() : nlohmann::json(out);
    j["messages"] = messages;
    py::object summary = FromJson(j);
    if (sum.error.empty()) return summary;
    // A corrupt record: the summary goes with the error, the output is as the tool leaves it.
    const py::object cls = py::module_::import(kModuleName).attr("StreamError");
    py::object error = cls(MessageText(messages.empty() ? in + ": " + sum.error : messages.back()));
    error.attr("summary") = summary;
    PyErr_SetObject(cls.ptr(), error.ptr());
    throw py::error_already_set();
}

// The original's format, found from its bytes, chooses the writer, as `kvsblocks export` does.
py::str ExportFile(py::handle filtered, py::handle original, py::handle output, bool ignoreInvalidPings,
                   bool editSelected, bool force)
{
    const tool::ExportOptions o{PathBytes(filtered), PathBytes(original), OutputPath(output, "export_file"),
                                ignoreInvalidPings, editSelected, force};
    FileFormat format = FileFormat::Unknown;
    Failure failure;
    {
        py::gil_scoped_release release;
        failure.Catch([&] {
            tool::RefuseSameFile({o.filtered, o.original}, {o.output});
            format = DetectFileFormat(o.original.c_str());
            if (format == FileFormat::Gsf)
                tool::ExportGsf(o);
            else if (format == FileFormat::KongsbergAll || format == FileFormat::KongsbergKmall)
                tool::ExportKongsberg(o, format == FileFormat::KongsbergKmall);
            else
                throw tool::InputError(o.original + ": not a GSF, Kongsberg .all or .kmall file: it looks like " +
                                       FileFormatName(format));
        });
    }
    failure.Raise("Error");
    return FileFormatName(format);
}

} // namespace

void BindFileRoutines(py::module_& m)
{
    m.def("filter_file", &FilterFile, py::arg("input"), py::arg("output") = py::none(),
          py::arg("settings") = py::none(), py::kw_only(), py::arg("mode") = 0, py::arg("partial") = false,
          "Filters a record stream file into output as `kvsblocks filter INPUT -a SETTINGS -o OUTPUT` does, to the "
          "byte: one filter per data stream, the output replaced whole when the run is complete (None: no output). "
          "settings: an attribute file path, a dict keyed by attribute name, or None. Returns the summary of "
          "`kvsblocks filter --json` as a dict (with input, output and messages). A corrupt record raises "
          "StreamError with the summary as .summary, the output left as it was (partial=True writes the blocks "
          "before it); an unreadable input or unwritable output raises StreamError, an output that is an input "
          "ValueError. Runs without the GIL.");
    m.def("export_file", &ExportFile, py::arg("filtered"), py::arg("original"), py::arg("output"), py::kw_only(),
          py::arg("ignore_invalid_pings") = false, py::arg("edit_selected") = false, py::arg("force") = false,
          "Writes the beams the filtered stream rejected into a copy of the file it was imported from (GSF, Kongsberg "
          ".all or .kmall, found from its bytes), as `kvsblocks export FILTERED --into ORIGINAL -o OUTPUT` does: the "
          "copy replaces output whole when complete, and is refused when it would newly ignore more than 20 % of "
          "the line's usable beams unless force. Returns the format's name; Error for a fault of either file or a "
          "refused edit, ValueError for an output that is an input. The tool's one-line summary goes to standard "
          "output. Runs without the GIL.");
}

} // namespace kvs::python
