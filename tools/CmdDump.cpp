// kvsblocks dump: every block of a record stream as text or JSON.
#include "Commands.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/CKvsBytePtr.h>
#include <KvsDataBlocks/datablocks/ElementTypes.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/host/CKvsType.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>
#include <string>

namespace kvs::tool {

namespace {

struct DumpOptions
{
    std::string input;
    bool json = false;
    bool units = false;
    bool fullArrays = false;
    uint64_t first = 0;
    uint64_t count = UINT64_MAX;
};

nlohmann::json ElementJson(const CDataBlock& block, unsigned short position, const CKvsBytePtr& e)
{
    nlohmann::json j;
    j["position"] = position;
    j["name"] = ElementName(block, e);
    j["id"] = e.GetId();
    j["type"] = e.GetType();
    j["format"] = e.GetFormat();
    j["useAs"] = e.GetUseAs();
    j["status"] = e.GetStatus();
    const ElementTypeInfo* info = FindElementType(e.GetType());
    if (!info) {
        j["value"] = nullptr;
    } else if (info->kind == ElementKind::String) {
        CString text;
        e.GetValue(text);
        j["value"] = std::string(text);
    } else if (info->kind == ElementKind::StringList) {
        CStringArray list;
        nlohmann::json items = nlohmann::json::array();
        if (e.GetValue(list))
            for (const CString& s : list) items.push_back(std::string(s));
        j["value"] = items;
    } else if (info->kind == ElementKind::DataInfo) {
        CDataInfo ref;
        if (e.GetValue(ref)) {
            const CDataId& id = ref.GetDataId();
            j["value"] = {{"dataType", id.GetDataType()}, {"groupId", id.GetGroupId()}, {"deviceNum", id.GetDeviceNum()},
                          {"vesselId", id.GetVesselId()}, {"elemId", ref.GetElemId()}};
        }
    } else if (e.GetType() == ET_TRIANGLE_ARRAY) {
        Triangle* items = nullptr;
        int n = 0;
        nlohmann::json list = nlohmann::json::array();
        if (e.GetValue(items, n)) {
            for (int i = 0; i < n; ++i) {
                Triangle t;
                std::memcpy(static_cast<void*>(&t), e.GetDataPtr() + static_cast<size_t>(i) * kTriangleSize, kTriangleSize);
                nlohmann::json tri = nlohmann::json::array();
                for (const Point* p : {&t.GetPointA(), &t.GetPointB(), &t.GetPointC()}) tri.push_back({p->x, p->y, p->z});
                list.push_back(tri);
            }
        }
        j["value"] = list;
    } else {
        const std::vector<double> values = ElementValues(e);
        if (info->kind == ElementKind::Scalar)
            j["value"] = values.empty() ? nlohmann::json(nullptr) : nlohmann::json(values[0]);
        else
            j["value"] = values;
    }
    return j;
}

void PrintText(const CDataBlock& block, uint64_t index, uint64_t offset, bool units)
{
    const CDataId& id = block.GetDataId();
    std::printf("block %llu at offset %llu: time %s (%.3f) group %u type %u device %u vessel %u status %u flags 0x%04X\n",
                static_cast<unsigned long long>(index), static_cast<unsigned long long>(offset),
                FormatUtc(block.GetTime()).c_str(), block.GetTime(), id.GetGroupId(), id.GetDataType(),
                id.GetDeviceNum(), id.GetVesselId(), block.GetStatus(), block.GetStatusFlag());
    for (unsigned int i = 0; i < block.GetLength(); ++i) {
        CKvsBytePtr e;
        if (!block.GetDataIdx(static_cast<unsigned short>(i), e)) continue;
        CString text;
        e.GetValueStr(text, units, 0);
        std::printf("  %3u %-24s id %3u use-as %3u type %3u status %2u: %s\n", i, ElementName(block, e).c_str(), e.GetId(),
                    e.GetUseAs(), e.GetType(), e.GetStatus(), static_cast<const char*>(text));
    }
}

int RunDump(const DumpOptions& o)
{
    RecordStreamReader reader;
    CString error;
    if (!reader.Open(o.input.c_str(), error)) throw InputError(o.input + ": " + std::string(error));
    CKvsType::m_bPrintFullArray = o.fullArrays;
    CDataBlock block;
    uint64_t index = 0, shown = 0;
    bool firstJson = true;
    if (o.json) std::printf("[");
    int status = kExitOk;
    for (;;) {
        const uint64_t offset = reader.Offset();
        const RecordStreamReader::Result r = reader.Next(block, error);
        if (r == RecordStreamReader::Result::End) break;
        if (r == RecordStreamReader::Result::Error) {
            if (o.json) std::printf("\n]\n");
            std::fflush(stdout);
            std::fprintf(stderr, "kvsblocks: %s: %s\n", o.input.c_str(), static_cast<const char*>(error));
            return kExitBadInput;
        }
        if (index++ < o.first) continue;
        if (shown++ >= o.count) break;
        if (o.json) {
            nlohmann::json j;
            j["index"] = index - 1;
            j["offset"] = offset;
            j["time"] = block.GetTime();
            j["timeText"] = FormatUtc(block.GetTime());
            const CDataId& id = block.GetDataId();
            j["dataId"] = {{"dataType", id.GetDataType()}, {"groupId", id.GetGroupId()}, {"deviceNum", id.GetDeviceNum()},
                           {"vesselId", id.GetVesselId()}};
            j["status"] = block.GetStatus();
            j["flags"] = block.GetStatusFlag();
            nlohmann::json elements = nlohmann::json::array();
            for (unsigned int i = 0; i < block.GetLength(); ++i) {
                CKvsBytePtr e;
                if (block.GetDataIdx(static_cast<unsigned short>(i), e))
                    elements.push_back(ElementJson(block, static_cast<unsigned short>(i), e));
            }
            j["elements"] = elements;
            std::printf("%s\n%s", firstJson ? "" : ",", j.dump().c_str());
            firstJson = false;
        } else {
            PrintText(block, index - 1, offset, o.units);
        }
    }
    if (o.json) std::printf("\n]\n");
    return status;
}

} // namespace

void AddDumpCommand(CLI::App& app, Runner& run)
{
    auto o = std::make_shared<DumpOptions>();
    CLI::App* cmd = app.add_subcommand("dump", "Print every block of a record stream as text or JSON");
    cmd->add_option("input", o->input, "Record stream file (- for standard input)")->required();
    cmd->add_flag("--json", o->json, "Write a JSON array of blocks instead of text");
    cmd->add_flag("--units", o->units, "Show the display unit after unit quantities (text output)");
    cmd->add_flag("--full-arrays", o->fullArrays, "Print every array item instead of a page of five (text output)");
    cmd->add_option("--first", o->first, "Skip this many blocks first");
    cmd->add_option("--count", o->count, "Show at most this many blocks");
    cmd->callback([o, &run] { run = [o] { return RunDump(*o); }; });
}

} // namespace kvs::tool
