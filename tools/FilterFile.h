// FilterFile: what "kvsblocks filter" does with one input, for the subcommand and for the
// Python module's filter_file, so that both give the same bytes: read the record stream,
// run the filters of the given settings over it (StreamFilter), write the filtered stream
// whole or not at all (OutputFile), and summarise. SummaryJson is the summary as the
// subcommand's --json prints it. Both are defined with the subcommand (CmdFilter.cpp).
#pragma once

#include "StreamFilter.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <string>

class CAttributeMap;

namespace kvs::tool {

struct FileFilterSettings
{
    int mode = 0;         // COMPUPDATEMODE: 0 full, 3 error-limit flags only
    bool partial = false; // on a corrupt record, still write the blocks before it
    bool json = false;    // the guards' warnings go only into the summary, not to report
};

// Filters input into output ("" for none) with filters of its own, made from attributes.
// A corrupt record ends the stream: report is told why (the message for standard error)
// and the summary's error is set; the output is then left as it was unless partial. An
// input that cannot be read or an output that cannot be written throws InputError; the
// output then stays as it was. bar shows the progress of a large input; advance is
// told the bytes read since its last call.
FilterSummary FilterFile(const std::string& input, const std::string& output, CAttributeMap& attributes,
                         const FileFilterSettings& o, bool bar, const std::function<void(uint64_t bytes)>& advance,
                         const std::function<void(const std::string&)>& report);

// The summary as "kvsblocks filter --json" writes it.
nlohmann::json SummaryJson(const FilterSummary& sum);

} // namespace kvs::tool
