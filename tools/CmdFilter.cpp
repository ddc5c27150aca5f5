// kvsblocks filter: runs the sounding filters over a record stream. One filter per data
// stream (data type, group, device, vessel) from Filter::CreateFilter with the settings of
// an attribute file; blocks of streams without a filter pass unchanged. Every block goes
// through Process, the filters are drained with GetRemainder at the end, and the result
// stream is written. The summary counts blocks in and out, beams flagged per flag bit,
// and, for simulated lines, how many injected outliers and clean beams were flagged,
// overall and per filter (detection and false-alarm percentages).
#include "BeamFlags.h"
#include "Commands.h"
#include "QualityTally.h"
#include "SurveySimulator.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/filters/Filter.h>
#include <KvsDataBlocks/host/CAttributeMap.h>
#include <KvsDataBlocks/host/Multibeam.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

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
};

constexpr uint64_t kProgressThreshold = 20u << 20;      // inputs above 20 MiB get a progress bar

struct Summary
{
    uint64_t blocksIn = 0, blocksOut = 0, unfiltered = 0, streams = 0;
    QualityTally beams; // multibeam
    uint64_t soundings = 0, soundingsInvalidated = 0, soundingOutliers = 0, soundingOutliersFlagged = 0;
    double seconds = 0.0;

    void Count(const CDataBlock& block)
    {
        ++blocksOut;
        std::vector<unsigned int> flags;
        if (ReadUIntArray(block, 606, flags)) {
            int n = static_cast<int>(flags.size());
            unsigned short s = 0;
            int count = 0;
            if (block.GetDataValue(602, count, s, 2) && count >= 0 && count < n) n = count;
            beams.Add(flags.data(), n);
            return;
        }
        if (block.GetDataId().GetGroupId() == 1010) {
            double depth = 0.0;
            unsigned short status = 0;
            if (!block.GetDataValue(201, depth, status, 2)) return;
            ++soundings;
            const bool invalid = status == 30;
            if (invalid) ++soundingsInvalidated;
            if (block.CheckStatusFlag(kSimulatedOutlierFlag)) {
                ++soundingOutliers;
                if (invalid) ++soundingOutliersFlagged;
            }
        }
    }

    // Beams and soundings together.
    uint64_t Injected() const { return beams.injected + soundingOutliers; }
    uint64_t InjectedFlagged() const { return beams.injectedFlagged + soundingOutliersFlagged; }
    uint64_t CleanFlagged() const
    {
        return beams.cleanFlagged + (soundingsInvalidated - soundingOutliersFlagged);
    }
    uint64_t Clean() const { return beams.Clean() + (soundings - soundingOutliers); }
};

int RunFilter(const FilterOptions& o)
{
    CAttributeMap attributes;
    CString error;
    if (!o.attributes.empty() && !attributes.LoadFile(o.attributes.c_str(), error))
        throw InputError(std::string(error));
    RecordStreamReader reader;
    if (!reader.Open(o.input.c_str(), error)) throw InputError(o.input + ": " + std::string(error));
    RecordStreamWriter writer;
    if (!o.output.empty() && !writer.Open(o.output.c_str(), error)) throw InputError(std::string(error));
    const COMPUPDATEMODE mode = static_cast<COMPUPDATEMODE>(o.mode);

    using StreamKey = std::tuple<unsigned short, unsigned short, unsigned short, unsigned short>;
    std::map<StreamKey, std::unique_ptr<Filter>> filters;
    Summary sum;
    Progress progress(o.progress && StderrIsTerminal() && reader.Size() > kProgressThreshold, reader.Size());
    auto emit = [&](const CDataBlock& block) {
        sum.Count(block);
        if (!o.output.empty() && !writer.Write(block, error)) throw InputError(o.output + ": " + std::string(error));
    };

    CDataBlock block;
    int status = kExitOk;
    using Clock = std::chrono::steady_clock;
    Clock::duration busy{};
    for (;;) {
        const RecordStreamReader::Result r = reader.Next(block, error);
        if (r == RecordStreamReader::Result::End) break;
        if (r == RecordStreamReader::Result::Error) {
            progress.Done();
            std::fprintf(stderr, "kvsblocks: %s: %s (the records before it were filtered)\n", o.input.c_str(),
                         static_cast<const char*>(error));
            status = kExitBadInput;
            break;
        }
        ++sum.blocksIn;
        progress.Update(reader.Offset());
        const CDataId& id = block.GetDataId();
        const StreamKey key{id.GetDataType(), id.GetGroupId(), id.GetDeviceNum(), id.GetVesselId()};
        auto it = filters.find(key);
        if (it == filters.end()) {
            it = filters.emplace(key, std::unique_ptr<Filter>(Filter::CreateFilter(block, &attributes))).first;
            ++sum.streams;
        }
        if (!it->second) {
            ++sum.unfiltered;
            emit(block);
            continue;
        }
        const Clock::time_point start = Clock::now();
        const bool out = it->second->Process(block, mode);
        busy += Clock::now() - start;
        if (out) emit(block);
    }
    for (auto& [key, filter] : filters) {
        if (!filter) continue;
        const Clock::time_point start = Clock::now();
        while (filter->GetRemainder(block)) {
            busy += Clock::now() - start;
            emit(block);
        }
    }
    progress.Done();
    if (!o.output.empty() && !writer.Close(error)) throw InputError(o.output + ": " + std::string(error));
    sum.seconds = std::chrono::duration<double>(busy).count();
    const double rate = sum.seconds > 0 ? (sum.blocksIn - sum.unfiltered) / sum.seconds : 0.0;

    if (o.json) {
        nlohmann::json j;
        j["blocksIn"] = sum.blocksIn;
        j["blocksOut"] = sum.blocksOut;
        j["blocksConsumed"] = sum.blocksIn > sum.blocksOut ? sum.blocksIn - sum.blocksOut : 0;
        j["streams"] = sum.streams;
        j["unfilteredBlocks"] = sum.unfiltered;
        const QualityTally& q = sum.beams;
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
        j["complete"] = status == kExitOk;
        std::printf("%s\n", j.dump(2).c_str());
    } else {
        std::printf("blocks in %llu, out %llu, consumed by the filters %llu (%llu streams, %llu blocks without a filter)\n",
                    static_cast<unsigned long long>(sum.blocksIn), static_cast<unsigned long long>(sum.blocksOut),
                    static_cast<unsigned long long>(sum.blocksIn > sum.blocksOut ? sum.blocksIn - sum.blocksOut : 0),
                    static_cast<unsigned long long>(sum.streams), static_cast<unsigned long long>(sum.unfiltered));
        const QualityTally& q = sum.beams;
        if (q.beams) {
            std::printf("beams %llu, rejected %llu (%.2f %%)\n", static_cast<unsigned long long>(q.beams),
                        static_cast<unsigned long long>(q.rejected), QualityTally::Percent(q.rejected, q.beams));
            if (q.injected)
                std::printf("  %-14s %-9s %9s %24s %24s\n", "filter", "bit", "beams", "outliers caught",
                            "clean beams flagged");
            for (size_t b = 0; b < kBeamFlags.size(); ++b) {
                const QualityTally::PerFilter& p = q.perFilter[b];
                if (!p.beams) continue;
                if (!q.injected) {
                    std::printf("  %-14s 0x%07X %llu\n", kBeamFlags[b].name, kBeamFlags[b].bit,
                                static_cast<unsigned long long>(p.beams));
                    continue;
                }
                std::printf("  %-14s 0x%07X %9llu %12llu (%6.2f %%) %12llu (%6.2f %%)\n", kBeamFlags[b].name,
                            kBeamFlags[b].bit, static_cast<unsigned long long>(p.beams),
                            static_cast<unsigned long long>(p.injected), q.Detection(b),
                            static_cast<unsigned long long>(p.clean), q.FalseAlarms(b));
            }
        }
        if (sum.soundings)
            std::printf("soundings %llu, invalidated %llu\n", static_cast<unsigned long long>(sum.soundings),
                        static_cast<unsigned long long>(sum.soundingsInvalidated));
        if (sum.Injected())
            std::printf("injected outliers %llu, flagged %llu (%.1f %% detection); clean data flagged %llu of %llu "
                        "(%.2f %% false alarms)\n",
                        static_cast<unsigned long long>(sum.Injected()),
                        static_cast<unsigned long long>(sum.InjectedFlagged()),
                        QualityTally::Percent(sum.InjectedFlagged(), sum.Injected()),
                        static_cast<unsigned long long>(sum.CleanFlagged()),
                        static_cast<unsigned long long>(sum.Clean()),
                        QualityTally::Percent(sum.CleanFlagged(), sum.Clean()));
        std::printf("filter time %.3f s, %.0f blocks per second\n", sum.seconds, rate);
    }
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
    cmd->callback([o, &run] { run = [o] { return RunFilter(*o); }; });
}

} // namespace kvs::tool
