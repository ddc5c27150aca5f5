// Feeds arbitrary text to the attribute file reader, then hands the loaded settings to
// the single-beam and multibeam filters and runs a short simulated line through them:
// a refused text leaves the map as it was; any accepted settings must filter (and drain)
// without faults, however strange their values.
#include "SurveySimulator.h"

#include <KvsDataBlocks/filters/Filter.h>
#include <KvsDataBlocks/config/CAttributeMap.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

std::vector<CDataBlock> MakeLine(kvs::SurveyLineOptions::Kind kind)
{
    kvs::SurveyLineOptions options;
    options.kind = kind;
    options.beams = 32;
    options.pings = 12;
    options.spikeRate = 0.05;
    options.flyingRate = 0.2;
    kvs::SurveySimulator simulator(options);
    std::vector<CDataBlock> line;
    CDataBlock block;
    while (simulator.Next(block)) line.push_back(block);
    return line;
}

// Read-only after the first call.
const std::vector<CDataBlock>& Line(kvs::SurveyLineOptions::Kind kind)
{
    static const std::vector<CDataBlock> multibeam = MakeLine(kvs::SurveyLineOptions::Kind::Multibeam);
    static const std::vector<CDataBlock> singleBeam = MakeLine(kvs::SurveyLineOptions::Kind::SingleBeam);
    return kind == kvs::SurveyLineOptions::Kind::Multibeam ? multibeam : singleBeam;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 8192) return 0;
    const CString text(reinterpret_cast<const char*>(data), static_cast<int>(size));
    CAttributeMap map;
    map.SetAttribValue("Held", 1);
    CString error;
    if (!map.LoadString(text, error)) {
        Check(error.Find("line ") == 0);
        int held = 0;
        unsigned int status = 0;
        Check(map.GetCount() == 1 && map.GetAttribValue("Held", held, status) && held == 1);
        return 0;
    }
    for (auto kind : {kvs::SurveyLineOptions::Kind::SingleBeam, kvs::SurveyLineOptions::Kind::Multibeam}) {
        const std::vector<CDataBlock>& line = Line(kind);
        Check(!line.empty());
        CDataBlock first = line.front();
        std::unique_ptr<Filter> filter(Filter::CreateFilter(first, &map));
        if (!filter) continue;
        for (const CDataBlock& original : line) {
            CDataBlock block = original;
            filter->Process(block, COMPUPDATE_FULL);
        }
        CDataBlock rest;
        for (int i = 0; i < 10000 && filter->GetRemainder(rest); ++i) {
        }
        CDataBlock again = line.back();
        filter->SetAttributes(&map);
        filter->Process(again, COMPUPDATE_ERRORLIMITS);
    }
    return 0;
}
