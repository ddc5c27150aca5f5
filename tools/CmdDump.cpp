// kvsblocks dump: every block of a record stream as text or JSON.
#include "BlockDump.h"
#include "Commands.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/CKvsBytePtr.h>
#include <KvsDataBlocks/datablocks/ElementTypes.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/values/CKvsType.h>

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
            std::printf("%s\n%s", firstJson ? "" : ",", BlockJson(block, index - 1, offset).dump().c_str());
            firstJson = false;
        } else {
            const std::string text = BlockText(block, index - 1, offset, o.units);
            std::fwrite(text.data(), 1, text.size(), stdout);
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
