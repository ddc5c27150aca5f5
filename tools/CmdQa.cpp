// kvsblocks qa: the IHO S-44 (edition 6) check of filtered lines against their own gridded
// surface: the share of soundings within the order's total vertical uncertainty, per line
// and overall, the crossline differences where lines overlap, and a map of failing cells.
// Exit status 0 only when the order is met.
#include "Commands.h"
#include "OutputFile.h"
#include "SurfaceCommand.h"
#include "ToolCommon.h"

#include <IhoS44.h>
#include <SurfacePicture.h>
#include <SurfaceQa.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>
#include <string>

namespace kvs::tool {

namespace {

struct QaCommandOptions
{
    surface::GridOptions grid;
    std::string order = "1a";
    std::string map;
    double maxMemoryMiB = 0.0;
    bool json = false;
};

nlohmann::json TallyJson(const surface::QaTally& t)
{
    return {{"judged", t.judged},          {"within", t.within},
            {"share", t.Share()},          {"alone_in_cell", t.alone},
            {"mean_difference", t.MeanDiff()}, {"spread_difference", t.SpreadDiff()},
            {"worst_ratio_to_tvu", t.worst}};
}

void PrintTally(const char* what, const surface::QaTally& t)
{
    std::printf("%s: %llu soundings compared, %.2f %% within TVU (mean difference %+.3f m, spread %.3f m, worst %.2f x TVU)",
                what, static_cast<unsigned long long>(t.judged), 100.0 * t.Share(), t.MeanDiff(), t.SpreadDiff(), t.worst);
    if (t.alone) std::printf(", %llu alone in their cell", static_cast<unsigned long long>(t.alone));
    std::printf("\n");
}

int RunQa(QaCommandOptions o)
{
    const surface::IhoS44Order* order = surface::FindIhoS44Order(o.order);
    if (!order) throw UsageError("--order must be Exclusive, Special, 1a, 1b or 2, not '" + o.order + "'");
    ApplyMemoryLimit(o.grid, o.maxMemoryMiB);
    std::vector<std::string> inputs = o.grid.lines;
    if (!o.grid.tideFile.empty()) inputs.push_back(o.grid.tideFile);
    RefuseSameFile(inputs, {o.map});
    surface::QaResult r;
    try {
        r = surface::RunQa(o.grid, *order);
    } catch (const surface::GridTooLarge& e) {
        throw InputError(e.what());
    } catch (const std::out_of_range& e) {
        throw InputError(e.what());
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
    } catch (const std::runtime_error& e) {
        throw InputError(e.what());
    }
    if (r.total.judged == 0) throw InputError("no sounding could be compared with the surface: every cell holds one sounding at most; choose a coarser resolution");
    if (!o.map.empty()) {
        const surface::Picture p = surface::DrawSurface(
            r.surface, std::string("S-44 ORDER ") + order->name + ": CELLS UNDER 95% WITHIN TVU", r.failing);
        const std::string failure = surface::WritePng(p.rgb, p.width, p.height, o.map);
        if (!failure.empty()) throw InputError(failure);
    }
    if (o.json) {
        nlohmann::json lines = nlohmann::json::array();
        for (size_t l = 0; l < r.lines.size(); ++l) {
            nlohmann::json j = TallyJson(r.lines[l]);
            j["file"] = o.grid.lines[l];
            lines.push_back(j);
        }
        nlohmann::json cross = nlohmann::json::array();
        for (const surface::CrossLineCheck& c : r.crosslines)
            cross.push_back({{"a", o.grid.lines[c.a]}, {"b", o.grid.lines[c.b]}, {"cells", c.cells}, {"mean", c.mean},
                             {"spread", c.spread}, {"within", c.within}});
        nlohmann::json j = {{"order", order->name},
                            {"a", order->a},
                            {"b", order->b},
                            {"resolution", o.grid.resolution},
                            {"met", r.met},
                            {"required_share", surface::kS44Share},
                            {"total", TallyJson(r.total)},
                            {"lines", lines},
                            {"crosslines", cross},
                            {"cells_judged", r.judgedCells},
                            {"cells_failing", r.failingCells},
                            {"vertical_reference", r.report.verticalReference},
                            {"reading", LinesJson(r.report)}};
        if (!o.map.empty()) j["map"] = o.map;
        std::printf("%s\n", j.dump(2).c_str());
    } else {
        PrintLineReports(r.report);
        std::printf("IHO S-44 order %s: TVU = sqrt(%.2f^2 + (%.4f d)^2) m at 95 %%; each sounding against the %g m surface "
                    "at its place, less its own contribution\n",
                    order->name, order->a, order->b, o.grid.resolution);
        for (size_t l = 0; l < r.lines.size(); ++l) PrintTally(o.grid.lines[l].c_str(), r.lines[l]);
        PrintTally("all lines", r.total);
        for (const surface::CrossLineCheck& c : r.crosslines) {
            if (!c.cells) {
                std::printf("crossline %s / %s: no overlap\n", o.grid.lines[c.a].c_str(), o.grid.lines[c.b].c_str());
                continue;
            }
            std::printf("crossline %s / %s: %llu common cells, difference mean %+.3f m, spread %.3f m, %.2f %% within TVU\n",
                        o.grid.lines[c.a].c_str(), o.grid.lines[c.b].c_str(), static_cast<unsigned long long>(c.cells),
                        c.mean, c.spread, 100.0 * c.within / c.cells);
        }
        std::printf("failing cells (under 95 %% within TVU): %llu of %llu\n", static_cast<unsigned long long>(r.failingCells),
                    static_cast<unsigned long long>(r.judgedCells));
        if (!o.map.empty()) std::printf("wrote %s\n", o.map.c_str());
        std::printf("order %s %s\n", order->name, r.met ? "met" : "NOT met");
    }
    return r.met ? kExitOk : kExitBadInput; // as tune does when its targets are missed
}

} // namespace

void AddQaCommand(CLI::App& app, Runner& run)
{
    auto o = std::make_shared<QaCommandOptions>();
    CLI::App* cmd = app.add_subcommand("qa", "Check filtered lines against an IHO S-44 order on their gridded surface");
    AddSurfaceOptions(cmd, o->grid, o->maxMemoryMiB);
    cmd->add_option("--order", o->order, "S-44 (edition 6) order: Exclusive, Special, 1a, 1b or 2")->capture_default_str();
    cmd->add_option("--map", o->map, "Draw the cells that fail the order (PNG)");
    cmd->add_flag("--json", o->json, "Write the report as JSON");
    cmd->callback([o, &run] { run = [o] { return RunQa(*o); }; });
}

} // namespace kvs::tool
