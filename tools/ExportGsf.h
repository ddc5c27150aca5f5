// ExportGsf: what "kvsblocks export-gsf" does, for the subcommand and for the Python
// module's export_gsf: copies the original GSF file record by record into output, with the
// beams the filtered stream rejected flagged "ignore, filter edited" in place, and writes
// the copy whole or not at all. Defined with the subcommand (CmdExportGsf.cpp).
#pragma once

#include <cstdint>
#include <string>

namespace kvs::tool {

struct ExportOptions
{
    std::string filtered; // the filtered record stream
    std::string original; // the GSF file it was imported from
    std::string output;   // the edited copy
    bool ignoreInvalidPings = false;
    bool editSelected = false;
};

struct ExportTotals
{
    unsigned long long pingsEdited = 0, beamsIgnored = 0, selectedKept = 0, pingsIgnored = 0, unmatched = 0;
    unsigned long long usableBefore = 0; // usable beams of the matched pings, before the edit
    uint64_t pings = 0;                  // pings of the original
};

// Throws UsageError for an output that is one of the inputs, InputError for a fault of
// either input or of the output; the output then stays as it was.
ExportTotals ExportGsf(const ExportOptions& o);

} // namespace kvs::tool
