// Kongsberg .all import of the 4.0 MB Yolla line (EM 2040C, 183 pings of 400 beams among
// 1 055 datagrams): reading the file whole (what cat does), walking and decoding it with
// KongsbergAllReader (checksums, XYZ 88, raw range and angle, positions interpolated),
// and the full import (reader, mapping into multibeam blocks with a UTM zone set up per
// file, packing each block into the record stream form). Bytes and pings per second are
// reported per CPU second. Without the sample file every benchmark skips.
#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/formats/kongsberg/KongsbergAllReader.h>
#include <KvsDataBlocks/formats/kongsberg/KongsbergBlockMapper.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::string kFile = KVS_SOURCE_DIR "/../shared/data/kongsberg/0001_20140213_052736_Yolla.all";

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

void BM_ReadWholeAllFile(benchmark::State& state)
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
    Finish(state, size, 183);
}

void BM_KongsbergAllReader(benchmark::State& state)
{
    const long size = FileSize();
    if (size < 0) return state.SkipWithError("no sample file");
    int pings = 0;
    for (auto _ : state) {
        kvs::KongsbergAllReader reader;
        CString error;
        reader.Open(kFile.c_str(), error);
        while (reader.Next(error) == kvs::KongsbergAllReader::Result::Swath) {
        }
        pings = static_cast<int>(reader.SwathsRead());
    }
    Finish(state, size, pings);
}

void BM_KongsbergAllImport(benchmark::State& state)
{
    const long size = FileSize();
    if (size < 0) return state.SkipWithError("no sample file");
    int pings = 0;
    CDataBlock block;
    std::vector<unsigned char> packed;
    for (auto _ : state) {
        kvs::KongsbergAllReader reader;
        kvs::KongsbergBlockMapper mapper;
        CString error;
        reader.Open(kFile.c_str(), error);
        while (reader.Next(error) == kvs::KongsbergAllReader::Result::Swath) {
            if (!mapper.Map(reader.Swath(), static_cast<int>(reader.SwathsRead()), block, error)) continue;
            packed.resize(block.GetPackSize(true));
            unsigned char* out = packed.data();
            unsigned int room = static_cast<unsigned int>(packed.size());
            block.Pack(&out, room, true);
        }
        pings = static_cast<int>(reader.SwathsRead());
    }
    Finish(state, size, pings);
}

} // namespace

BENCHMARK(BM_ReadWholeAllFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KongsbergAllReader)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KongsbergAllImport)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
