// kvsblocks filter: runs the sounding filters over a record stream (StreamFilter) with the
// settings of an attribute file and writes the result stream, which replaces the output
// file only when the run is complete. The summary counts blocks in, out and held back,
// corrupt records, beams flagged per flag bit, and, for simulated lines, how many injected
// outliers and clean beams were flagged, overall and per filter (detection and false-alarm
// percentages). Several inputs are filtered in parallel (--jobs), each by its own filters
// into its own output in the -o folder; their summaries follow in input order, then the
// total.
#include "BeamFlags.h"
#include "CommandLineHint.h"
#include "Commands.h"
#include "FilterFile.h"
#include "OutputFile.h"
#include "Progress.h"
#include "StreamFilter.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/config/CAttributeMap.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "ParallelFor.h"
#include "SurveyPreset.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kvs::tool {

namespace {

struct FilterOptions : FileFilterSettings
{
    std::vector<std::string> inputs;
    std::string output; // a file for one input, a folder for several
    unsigned int jobs = DefaultJobs();
    std::string attributes;
    bool progress = true; // false with --no-progress or --quiet
    bool strict = false;
};

// The settings of -a, or the built-in survey preset (examples/survey.attr) without it.
void LoadSettings(const FilterOptions& o, CAttributeMap& attributes)
{
    if (!o.attributes.empty()) {
        LoadAttributeFile(o.attributes, attributes, o.strict);
        return;
    }
    CString error;
    if (!attributes.LoadString(kSurveyPresetText, error))
        throw InputError("the built-in survey preset: " + std::string(error));
}

// What the summary line names as the settings used.
std::string SettingsName(const FilterOptions& o)
{
    return o.attributes.empty() ? "the built-in survey preset (examples/survey.attr; -a FILE to choose)" : o.attributes;
}

double BlocksPerSecond(const FilterSummary& sum)
{
    return sum.seconds > 0 ? (sum.blocksIn - sum.unfiltered) / sum.seconds : 0.0;
}

} // namespace

nlohmann::json SummaryJson(const FilterSummary& sum)
{
    const QualityTally& q = sum.beams;
    // Without injected outliers there is no truth to measure detection and false alarms by.
    const bool truth = sum.Injected() > 0;
    nlohmann::json j;
    j["blocksIn"] = sum.blocksIn;
    j["blocksOut"] = sum.blocksOut;
    j["blocksConsumed"] = sum.blocksHeld;
    j["corruptRecords"] = sum.corruptRecords;
    j["streams"] = sum.streams;
    j["unfilteredBlocks"] = sum.unfiltered;
    j["unreadablePings"] = sum.unreadable;
    nlohmann::json unreadable = nlohmann::json::array();
    for (const FilterSummary::Unreadable& u : sum.unreadableNamed)
        unreadable.push_back({{"record", u.record}, {"offset", u.offset}, {"ping", u.ping}, {"reason", u.reason}});
    j["unreadable"] = unreadable;
    j["beams"] = q.beams;
    j["beamsRejected"] = q.rejected;
    j["usableBeams"] = q.usable;
    j["usableFlagged"] = q.usableFlagged;
    j["usableFlaggedPercent"] = QualityTally::Percent(q.usableFlagged, q.usable);
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
                                         {"detectionPercent", truth ? nlohmann::json(q.Detection(b)) : nullptr},
                                         {"falseAlarmPercent", truth ? nlohmann::json(q.FalseAlarms(b)) : nullptr}};
    }
    j["beamsPerFlag"] = bits;
    j["perFilter"] = perFilter;
    j["soundings"] = sum.soundings;
    j["soundingsInvalidated"] = sum.soundingsInvalidated;
    j["soundingsUntestedBySpike"] = sum.soundingsUntested;
    j["injectedOutliers"] = sum.Injected();
    j["injectedFlagged"] = sum.InjectedFlagged();
    j["cleanBeams"] = sum.Clean();
    j["cleanFlagged"] = sum.CleanFlagged();
    j["detectionPercent"] = truth ? nlohmann::json(QualityTally::Percent(sum.InjectedFlagged(), sum.Injected())) : nullptr;
    j["falseAlarmPercent"] = truth ? nlohmann::json(QualityTally::Percent(sum.CleanFlagged(), sum.Clean())) : nullptr;
    j["pings"] = sum.pings;
    j["pingsInvalid"] = sum.pingsInvalid;
    j["pingsUnjudgedByStatistics"] = sum.pingsUnjudged;
    j["warnings"] = sum.warnings;
    j["filterSeconds"] = sum.seconds;
    j["blocksPerSecond"] = BlocksPerSecond(sum);
    j["complete"] = sum.error.empty();
    return j;
}

namespace {

// The summary goes to out: standard error when the filtered stream takes standard output.
void PrintSummary(const FilterSummary& sum, bool json, std::FILE* out, const std::string& settings = {})
{
    const double rate = BlocksPerSecond(sum);
    const QualityTally& q = sum.beams;
    if (json) {
        nlohmann::json j = SummaryJson(sum);
        if (!settings.empty()) j["settings"] = settings;
        std::fprintf(out, "%s\n", j.dump(2).c_str());
        return;
    }
    if (!settings.empty()) std::fprintf(out, "settings: %s\n", settings.c_str());
    std::fprintf(out, "blocks in %llu, out %llu, consumed by the filters %llu (%llu streams, %llu blocks without a filter)\n",
                 static_cast<unsigned long long>(sum.blocksIn), static_cast<unsigned long long>(sum.blocksOut),
                 static_cast<unsigned long long>(sum.blocksHeld), static_cast<unsigned long long>(sum.streams),
                 static_cast<unsigned long long>(sum.unfiltered));
    if (sum.corruptRecords) std::fprintf(out, "corrupt records %llu\n", static_cast<unsigned long long>(sum.corruptRecords));
    if (sum.unreadable) {
        std::fprintf(out, "unreadable pings %llu (not filtered, not written):\n", static_cast<unsigned long long>(sum.unreadable));
        for (const FilterSummary::Unreadable& u : sum.unreadableNamed)
            std::fprintf(out, "  record %llu at byte %llu%s: %s\n", static_cast<unsigned long long>(u.record),
                         static_cast<unsigned long long>(u.offset),
                         u.ping >= 0 ? (" (ping " + std::to_string(u.ping) + ")").c_str() : "", u.reason.c_str());
        if (sum.unreadable > sum.unreadableNamed.size())
            std::fprintf(out, "  and %llu more\n", static_cast<unsigned long long>(sum.unreadable - sum.unreadableNamed.size()));
    }
    if (q.beams) {
        std::fprintf(out, "beams %llu, rejected %llu (%.2f %%); usable %llu, of them flagged %llu (%.2f %%)\n",
                     static_cast<unsigned long long>(q.beams), static_cast<unsigned long long>(q.rejected),
                     QualityTally::Percent(q.rejected, q.beams), static_cast<unsigned long long>(q.usable),
                     static_cast<unsigned long long>(q.usableFlagged), QualityTally::Percent(q.usableFlagged, q.usable));
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
        if (q.rejected)
            std::fprintf(out, "  (each filter's count includes beams other filters also flagged; the pictures of "
                              "plot colour a beam by the first filter that flagged it)\n");
    }
    if (sum.pings)
        std::fprintf(out, "pings %llu, marked invalid %llu; passed on unjudged by the statistics filter %llu\n",
                     static_cast<unsigned long long>(sum.pings), static_cast<unsigned long long>(sum.pingsInvalid),
                     static_cast<unsigned long long>(sum.pingsUnjudged));
    if (sum.soundings)
        std::fprintf(out, "soundings %llu, invalidated %llu; passed on untested by the spike filter %llu\n",
                     static_cast<unsigned long long>(sum.soundings), static_cast<unsigned long long>(sum.soundingsInvalidated),
                     static_cast<unsigned long long>(sum.soundingsUntested));
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

} // namespace

FilterSummary FilterFile(const std::string& input, const std::string& output, CAttributeMap& attributes,
                         const FileFilterSettings& o, bool bar, const std::function<void(uint64_t bytes)>& advance,
                         const std::function<void(const std::string&)>& report)
{
    RecordStreamReader reader;
    CString error;
    if (!reader.Open(input.c_str(), error)) throw InputError(input + ": " + std::string(error) + StreamInputHint(input));
    // The filtered stream goes to a new file that replaces the output only when complete.
    std::optional<OutputFile> file;
    RecordStreamWriter writer;
    if (!output.empty()) {
        std::string failure;
        file.emplace(output);
        if (!file->Open(failure)) throw InputError(failure);
        if (!writer.Open(file->Stream(), error)) throw InputError(output + ": " + std::string(error));
    }

    Progress progress("filtering " + input, reader.Size(), "bytes", !bar);
    uint64_t read = 0;
    FilterSummary sum = FilterStream(
        reader, attributes, static_cast<COMPUPDATEMODE>(o.mode),
        [&](const CDataBlock& block) {
            if (file && !writer.Write(block, error)) throw InputError(output + ": " + std::string(error));
        },
        [&](uint64_t offset) {
            progress.Update(offset);
            if (advance) advance(offset - read);
            read = offset;
        });
    progress.Done();
    // With --json the warnings go into the summary, which standard output carries whole.
    sum.warnings = FilterGuards(sum, attributes);
    if (!o.json)
        for (const std::string& warning : sum.warnings) report(input + ": warning: " + warning);

    if (!sum.error.empty()) {
        const bool keep = file && o.partial;
        report(input + ": " + sum.error + " (the records before it were filtered" +
               (!file ? "" : keep ? "; they are written to the output" : "; the output is left as it was") + ")");
        if (file && !keep) {
            CString ignored;
            writer.Close(ignored); // the writer lets go of the stream before it goes
            file->Discard();
        }
    }
    if (file && file->Stream() != nullptr) {
        std::string failure;
        if (!writer.Close(error)) throw InputError(output + ": " + std::string(error));
        if (!file->Commit(failure)) throw InputError(failure);
    }
    return sum;
}

namespace {

int RunFilter(const FilterOptions& o)
{
    const std::string& input = o.inputs.front();
    RefuseSameFile({input, o.attributes}, {o.output});
    CAttributeMap attributes;
    LoadSettings(o, attributes);
    const FilterSummary sum =
        FilterFile(input, o.output, attributes, o, o.progress, {},
                   [](const std::string& message) { std::fprintf(stderr, "kvsblocks: %s\n", message.c_str()); });
    PrintSummary(sum, o.json, o.output == "-" ? stderr : stdout, SettingsName(o));
    return sum.error.empty() ? kExitOk : kExitBadInput;
}

// ---- several inputs

// What became of one of several inputs.
struct FileResult
{
    std::optional<FilterSummary> summary; // none when the input could not be filtered at all
    std::vector<std::string> messages;    // for standard error, in the order they arose
    int status = kExitOk;
};

// The outputs in the folder o.output, one for each input under the input's file name;
// none without -o.
std::vector<std::string> OutputsInFolder(const FilterOptions& o)
{
    for (const std::string& input : o.inputs)
        if (input == "-") throw UsageError("standard input (-) can only be filtered as the only input");
    if (o.output.empty()) return {};
    if (o.output == "-") throw UsageError("several inputs are written to a folder (-o FOLDER), not to standard output");
    std::error_code ec;
    if (std::filesystem::exists(o.output, ec) && !std::filesystem::is_directory(o.output, ec))
        throw UsageError("with several inputs -o names a folder, and " + o.output + " is a file");
    std::vector<std::string> outputs;
    for (const std::string& input : o.inputs) {
        const std::filesystem::path name = std::filesystem::path(input).filename();
        if (name.empty() || name == "." || name == "..") throw UsageError(input + " names no file");
        outputs.push_back((std::filesystem::path(o.output) / name).string());
    }
    return outputs;
}

void PrintTotals(const FilterOptions& o, const std::vector<FileResult>& results, const std::vector<std::string>& outputs,
                 const FilterSummary& total, size_t failed, unsigned int jobs, double wall)
{
    if (o.json) {
        nlohmann::json files = nlohmann::json::array();
        for (size_t i = 0; i < results.size(); ++i) {
            const FileResult& r = results[i];
            nlohmann::json f = r.summary ? SummaryJson(*r.summary) : nlohmann::json{{"complete", false}};
            f["input"] = o.inputs[i];
            f["settings"] = SettingsName(o);
            f["output"] = outputs.empty() ? nlohmann::json() : nlohmann::json(outputs[i]);
            f["exitStatus"] = r.status;
            f["messages"] = r.messages;
            if (r.status != kExitOk) f["complete"] = false;
            files.push_back(std::move(f));
        }
        nlohmann::json t = SummaryJson(total);
        t["files"] = results.size();
        t["failedFiles"] = failed;
        t["jobs"] = jobs;
        t["wallSeconds"] = wall;
        t["settings"] = SettingsName(o);
        t["complete"] = failed == 0;
        std::printf("%s\n", nlohmann::json{{"files", files}, {"total", t}}.dump(2).c_str());
        return;
    }
    for (size_t i = 0; i < results.size(); ++i) {
        const FileResult& r = results[i];
        std::printf("== %s%s%s ==\n", o.inputs[i].c_str(), outputs.empty() ? "" : " -> ",
                    outputs.empty() ? "" : outputs[i].c_str());
        if (r.summary) PrintSummary(*r.summary, false, stdout);
        if (r.status != kExitOk) std::printf("failed: %s\n", r.messages.empty() ? "" : r.messages.back().c_str());
    }
    std::printf("== total: %zu files, %zu failed, %u jobs, wall time %.3f s ==\n", results.size(), failed, jobs, wall);
    PrintSummary(total, false, stdout, SettingsName(o));
}

int RunFilterMany(const FilterOptions& o)
{
    const std::vector<std::string> outputs = OutputsInFolder(o);
    std::vector<std::string> inputs = o.inputs;
    if (!o.attributes.empty()) inputs.push_back(o.attributes);
    RefuseSameFile(inputs, outputs);
    CAttributeMap attributes;
    LoadSettings(o, attributes);
    if (!outputs.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(o.output, ec);
        if (ec) throw InputError("cannot create the folder " + o.output + ": " + ec.message());
    }

    // One progress bar over all inputs together.
    uint64_t size = 0;
    for (const std::string& input : o.inputs) {
        std::error_code ec;
        const uintmax_t bytes = std::filesystem::file_size(input, ec);
        if (!ec) size += bytes;
    }
    std::mutex progressLock;
    Progress progress("filtering " + std::to_string(o.inputs.size()) + " lines", size, "bytes", !o.progress);
    uint64_t done = 0;
    auto advance = [&](uint64_t bytes) {
        const std::lock_guard<std::mutex> guard(progressLock);
        done += bytes;
        progress.Update(done);
    };

    // Every job filters with filters of its own, made from its own copy of the settings,
    // into its own output; what goes to standard error is kept until all are done.
    std::vector<FileResult> results(o.inputs.size());
    const unsigned int jobs = static_cast<unsigned int>(std::min<size_t>(o.jobs, o.inputs.size()));
    const auto start = std::chrono::steady_clock::now();
    ParallelFor(o.inputs.size(), jobs, [&](size_t i) {
        FileResult& r = results[i];
        auto keep = [&r](const std::string& message) { r.messages.push_back(message); };
        try {
            CAttributeMap settings = attributes;
            r.summary = FilterFile(o.inputs[i], outputs.empty() ? std::string() : outputs[i], settings, o, false,
                                   progress.Active() ? advance : std::function<void(uint64_t)>(), keep);
            if (!r.summary->error.empty()) r.status = kExitBadInput;
        } catch (const std::exception& e) {
            r.summary.reset(); // the output stays as it was, so the counts are of no use
            keep(e.what());
            r.status = kExitBadInput;
        }
    });
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    progress.Done();

    FilterSummary total;
    size_t failed = 0;
    int status = kExitOk;
    for (const FileResult& r : results) {
        for (const std::string& message : r.messages) std::fprintf(stderr, "kvsblocks: %s\n", message.c_str());
        if (r.summary) total.Add(*r.summary);
        if (r.status != kExitOk) ++failed;
        status = std::max(status, r.status);
    }
    PrintTotals(o, results, outputs, total, failed, jobs, wall);
    return status;
}

} // namespace

void AddFilterCommand(CLI::App& app, Runner& run)
{
    auto o = std::make_shared<FilterOptions>();
    CLI::App* cmd = app.add_subcommand("filter", "Run the sounding filters over a record stream and summarise the result");
    cmd->add_option("input", o->inputs, "Record stream files (- for standard input, as the only input)")->required();
    cmd->add_option("-o,--output", o->output,
                    "Write the filtered stream to this file; with several inputs, this folder (created if absent) "
                    "gets one output per input under the input's file name");
    cmd->add_option("-j,--jobs", o->jobs, "Inputs filtered at once (default: the number of cores)")
        ->check(CLI::Range(1u, 1024u));
    cmd->add_option("-a,--attributes", o->attributes, "Attribute file with the filter settings (name = type:value lines)");
    cmd->add_option("--mode", o->mode, "Filter mode: 0 full, 3 error-limit flags only")->check(CLI::IsMember({0, 3}))->capture_default_str();
    cmd->add_flag("--json", o->json, "Write the summary as JSON");
    cmd->add_flag("!--no-progress,!-q,!--quiet", o->progress, "No progress on standard error");
    cmd->add_flag("--strict", o->strict, "Refuse an attribute file with settings that no filter reads");
    cmd->add_flag("--partial", o->partial,
                  "On a corrupt input record, still write the blocks before it (the exit status stays 1)");
    cmd->callback([o, &run] { run = [o] { return o->inputs.size() == 1 ? RunFilter(*o) : RunFilterMany(*o); }; });
}

} // namespace kvs::tool
