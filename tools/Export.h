// kvsblocks export: writes the verdicts of our filters back into a copy of the file a line
// was imported from (GSF, Kongsberg .all or .kmall, found from the original's bytes). The
// pieces the format writers share: the options, and the guard that refuses an edit which
// would newly ignore more than a fifth of a line's usable beams unless forced.
#pragma once

#include <string>

namespace kvs::tool {

struct ExportOptions
{
    std::string filtered;
    std::string original;
    std::string output;
    bool ignoreInvalidPings = false; // GSF only
    bool editSelected = false;       // GSF only
    bool force = false;
    bool quiet = false;
};

// The share of a line's usable beams an export may newly ignore without --force.
inline constexpr double kMaxNewlyIgnoredShare = 0.20;

// Throws InputError, naming the counts, when newlyIgnored is more than 20 % of usable and
// the export is not forced.
void CheckNewlyIgnored(const ExportOptions& o, unsigned long long newlyIgnored, unsigned long long usable);

int ExportGsf(const ExportOptions& o);
// .all or .kmall (kmall true).
int ExportKongsberg(const ExportOptions& o, bool kmall);

} // namespace kvs::tool
