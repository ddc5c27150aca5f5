// kvsblocks filter: runs the sounding filters over a record stream (StreamFilter) with the
// settings of an attribute file and writes the result stream, which replaces the output
// file only when the run is complete. The summary counts blocks in, out and held back,
// corrupt records, beams flagged per flag bit, and, for simulated lines, how many injected
// outliers and clean beams were flagged, overall and per filter (detection and false-alarm
// percentages).
#include "BeamFlags.h"
#include "Commands.h"
#include "OutputFile.h"
#include "StreamFilter.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/config/CAttributeMap.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace kvs::tool {

namespace {

struct FilterOptions
{
    std::string input;
    std::string output;
    std::string attributes;
    int mode = 0;
    bool json = false;
    bool progress = true;
    bool strict = false;
    bool partial = false;
};

constexpr uint64_t kProgressThreshold = 20u << 20;      // inputs above 20 MiB get a progress bar

// The summary goes to out: standard error when the filtered stream takes standard output.
void PrintSummary(const FilterSummary& sum, bool json, std::FILE* out)
{
    const double rate = sum.seconds > 0 ? (sum.blocksIn - sum.unfiltered) / sum.seconds : 0.0;
    const QualityTally& q = sum.beams;
    if (json) {
        nlohmann::json j;
        j["blocksIn"] = sum.blocksIn;
        j["blocksOut"] = sum.blocksOut;
        j["blocksConsumed"] = sum.blocksHeld;
        j["corruptRecords"] = sum.corruptRecords;
        j["streams"] = sum.streams;
        j["unfilteredBlocks"] = sum.unfiltered;
        j["beams"] = q.beams;
        j["beamsRejected"] = q.rejected;
        nlohmann::json bits = nlohmann::json::object();
        nlohmann::json perFilter = nlohmann::json::object();
        for (size_t b = 0; b < kBeamFlags.size(); ++b) {
            const QualityTally::PerFilter& p = q.perFilter[b];
            bits[kBeamFlags[b].name] = p.beams;
            // Outliers caught and clean beams flagged by each filter; a beam flagged by
            // several filters counts for each of them.
            perFilter[kBeamFlags[b].name] = {{"bit", kBeamFlags[b].bit},
                                             {"beams", p.beams},
                                             {"injectedFlagged", p.injected},
                                             {"cleanFlagged", p.clean},
                                             {"detectionPercent", q.Detection(b)},
                                             {"falseAlarmPercent", q.FalseAlarms(b)}};
        }
        j["beamsPerFlag"] = bits;
        j["perFilter"] = perFilter;
        j["soundings"] = sum.soundings;
        j["soundingsInvalidated"] = sum.soundingsInvalidated;
        j["injectedOutliers"] = sum.Injected();
        j["injectedFlagged"] = sum.InjectedFlagged();
        j["cleanBeams"] = sum.Clean();
        j["cleanFlagged"] = sum.CleanFlagged();
        j["detectionPercent"] = QualityTally::Percent(sum.InjectedFlagged(), sum.Injected());
        j["falseAlarmPercent"] = QualityTally::Percent(sum.CleanFlagged(), sum.Clean());
        j["filterSeconds"] = sum.seconds;
        j["blocksPerSecond"] = rate;
        j["complete"] = sum.error.empty();
        std::fprintf(out, "%s\n", j.dump(2).c_str());
        return;
    }
    std::fprintf(out, "blocks in %llu, out %llu, consumed by the filters %llu (%llu streams, %llu blocks without a filter)\n",
                 static_cast<unsigned long long>(sum.blocksIn), static_cast<unsigned long long>(sum.blocksOut),
                 static_cast<unsigned long long>(sum.blocksHeld), static_cast<unsigned long long>(sum.streams),
                 static_cast<unsigned long long>(sum.unfiltered));
    if (sum.corruptRecords) std::fprintf(out, "corrupt records %llu\n", static_cast<unsigned long long>(sum.corruptRecords));
    if (q.beams) {
        std::fprintf(out, "beams %llu, rejected %llu (%.2f %%)\n", static_cast<unsigned long long>(q.beams),
                     static_cast<unsigned long long>(q.rejected), QualityTally::Percent(q.rejected, q.beams));
        if (q.injected)
            std::fprintf(out, "  %-14s %-9s %9s %24s %24s\n", "filter", "bit", "beams", "outliers caught",
                         "clean beams flagged");
        for (size_t b = 0; b < kBeamFlags.size(); ++b) {
            const QualityTally::PerFilter& p = q.perFilter[b];
            if (!p.beams) continue;
            if (!q.injected) {
                std::fprintf(out, "  %-14s 0x%07X %llu\n", kBeamFlags[b].name, kBeamFlags[b].bit,
                             static_cast<unsigned long long>(p.beams));
                continue;
            }
            std::fprintf(out, "  %-14s 0x%07X %9llu %12llu (%6.2f %%) %12llu (%6.2f %%)\n", kBeamFlags[b].name,
                         kBeamFlags[b].bit, static_cast<unsigned long long>(p.beams),
                         static_cast<unsigned long long>(p.injected), q.Detection(b),
                         static_cast<unsigned long long>(p.clean), q.FalseAlarms(b));
        }
    }
    if (sum.soundings)
        std::fprintf(out, "soundings %llu, invalidated %llu\n", static_cast<unsigned long long>(sum.soundings),
                     static_cast<unsigned long long>(sum.soundingsInvalidated));
    if (sum.Injected())
        std::fprintf(out,
                     "injected outliers %llu, flagged %llu (%.1f %% detection); clean data flagged %llu of %llu "
                     "(%.2f %% false alarms)\n",
                     static_cast<unsigned long long>(sum.Injected()), static_cast<unsigned long long>(sum.InjectedFlagged()),
                     QualityTally::Percent(sum.InjectedFlagged(), sum.Injected()),
                     static_cast<unsigned long long>(sum.CleanFlagged()), static_cast<unsigned long long>(sum.Clean()),
                     QualityTally::Percent(sum.CleanFlagged(), sum.Clean()));
    std::fprintf(out, "filter time %.3f s, %.0f blocks per second\n", sum.seconds, rate);
}

int RunFilter(const FilterOptions& o)
{
    RefuseSameFile({o.input, o.attributes}, {o.output});
    CAttributeMap attributes;
    if (!o.attributes.empty()) LoadAttributeFile(o.attributes, attributes, o.strict);
    RecordStreamReader reader;
    CString error;
    if (!reader.Open(o.input.c_str(), error)) throw InputError(o.input + ": " + std::string(error));
    // The filtered stream goes to a new file that replaces the output only when complete.
    std::optional<OutputFile> file;
    RecordStreamWriter writer;
    if (!o.output.empty()) {
        std::string failure;
        file.emplace(o.output);
        if (!file->Open(failure)) throw InputError(failure);
        if (!writer.Open(file->Stream(), error)) throw InputError(o.output + ": " + std::string(error));
    }

    Progress progress(o.progress && StderrIsTerminal() && reader.Size() > kProgressThreshold, reader.Size());
    const FilterSummary sum = FilterStream(
        reader, attributes, static_cast<COMPUPDATEMODE>(o.mode),
        [&](const CDataBlock& block) {
            if (file && !writer.Write(block, error)) throw InputError(o.output + ": " + std::string(error));
        },
        [&](uint64_t offset) { progress.Update(offset); });
    progress.Done();

    int status = kExitOk;
    if (!sum.error.empty()) {
        status = kExitBadInput;
        const bool keep = file && o.partial;
        std::fprintf(stderr, "kvsblocks: %s: %s (the records before it were filtered%s)\n", o.input.c_str(),
                     sum.error.c_str(),
                     !file ? "" : keep ? "; they are written to the output" : "; the output is left as it was");
        if (file && !keep) {
            CString ignored;
            writer.Close(ignored); // the writer lets go of the stream before it goes
            file->Discard();
        }
    }
    if (file && file->Stream() != nullptr) {
        std::string failure;
        if (!writer.Close(error)) throw InputError(o.output + ": " + std::string(error));
        if (!file->Commit(failure)) throw InputError(failure);
    }
    PrintSummary(sum, o.json, o.output == "-" ? stderr : stdout);
    return status;
}

} // namespace

void AddFilterCommand(CLI::App& app, Runner& run)
{
    auto o = std::make_shared<FilterOptions>();
    CLI::App* cmd = app.add_subcommand("filter", "Run the sounding filters over a record stream and summarise the result");
    cmd->add_option("input", o->input, "Record stream file (- for standard input)")->required();
    cmd->add_option("-o,--output", o->output, "Write the filtered stream to this file");
    cmd->add_option("-a,--attributes", o->attributes, "Attribute file with the filter settings (name = type:value lines)");
    cmd->add_option("--mode", o->mode, "Filter mode: 0 full, 3 error-limit flags only")->check(CLI::IsMember({0, 3}))->capture_default_str();
    cmd->add_flag("--json", o->json, "Write the summary as JSON");
    cmd->add_flag("!--no-progress", o->progress, "No progress bar on standard error");
    cmd->add_flag("--strict", o->strict, "Refuse an attribute file with settings that no filter reads");
    cmd->add_flag("--partial", o->partial,
                  "On a corrupt input record, still write the blocks before it (the exit status stays 1)");
    cmd->callback([o, &run] { run = [o] { return RunFilter(*o); }; });
}

} // namespace kvs::tool
