// GSF import of the 3.5 MB EM302 line (50 pings of 432 beams among 73 695 attitude
// records): reading the file whole (what cat does), walking and decoding it with
// GsfReader, and the full import (reader, mapping into multibeam blocks with a UTM zone
// set up per file, packing each block into the record stream form). Bytes and pings per
// second are reported per CPU second. Without the sample file every benchmark skips.
#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/formats/gsf/GsfBlockMapper.h>
#include <KvsDataBlocks/formats/gsf/GsfReader.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::string kFile = KVS_SOURCE_DIR "/../shared/data/gsf/0059_20181102_212138_EX1811_MB_EM302.gsf.mb121";

long FileSize()
{
    std::FILE* f = std::fopen(kFile.c_str(), "rb");
    if (!f) return -1;
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fclose(f);
    return size;
}

void Finish(benchmark::State& state, long size, int pings)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
    state.counters["pings/s"] = benchmark::Counter(static_cast<double>(pings), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ReadWholeFile(benchmark::State& state)
{
    const long size = FileSize();
    if (size < 0) return state.SkipWithError("no sample file");
    std::vector<char> buffer(1 << 16);
    for (auto _ : state) {
        std::FILE* f = std::fopen(kFile.c_str(), "rb");
        while (std::fread(buffer.data(), 1, buffer.size(), f) == buffer.size()) {
        }
        std::fclose(f);
        benchmark::DoNotOptimize(buffer.data());
    }
    Finish(state, size, 50);
}

void BM_GsfReader(benchmark::State& state)
{
    const long size = FileSize();
    if (size < 0) return state.SkipWithError("no sample file");
    int pings = 0;
    for (auto _ : state) {
        kvs::GsfReader reader;
        CString error;
        reader.Open(kFile.c_str(), error);
        while (reader.Next(error) == kvs::GsfReader::Result::Record) {
        }
        pings = static_cast<int>(reader.PingsRead());
    }
    Finish(state, size, pings);
}

void BM_GsfImport(benchmark::State& state)
{
    const long size = FileSize();
    if (size < 0) return state.SkipWithError("no sample file");
    int pings = 0;
    CDataBlock block;
    std::vector<unsigned char> packed;
    for (auto _ : state) {
        kvs::GsfReader reader;
        kvs::GsfBlockMapper mapper;
        CString error;
        reader.Open(kFile.c_str(), error);
        while (reader.Next(error) == kvs::GsfReader::Result::Record) {
            if (!reader.IsPing() || !mapper.Map(reader.Ping(), static_cast<int>(reader.PingsRead()), block, error))
                continue;
            packed.resize(block.GetPackSize(true));
            unsigned char* out = packed.data();
            unsigned int room = static_cast<unsigned int>(packed.size());
            block.Pack(&out, room, true);
        }
        pings = static_cast<int>(reader.PingsRead());
    }
    Finish(state, size, pings);
}

} // namespace

BENCHMARK(BM_ReadWholeFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GsfReader)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GsfImport)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
