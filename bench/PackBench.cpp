// Pack and UnPack of a multibeam-sized block (40 elements: scalars plus 1600-beam float
// and flag arrays, about 40 KiB of data) next to a memcpy of the same number of bytes, for
// the narrow (argument 0) and the wide (argument 1) record form.
#include <KvsDataBlocks/datablocks/CDataBlock.h>

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr int kBeams = 1600;

CDataBlock MultibeamBlock()
{
    CDataBlock b;
    b.SetDataId(CDataId(1, 1011, 1, 1));
    b.Allocate(40);
    int i = 0;
    // Six float arrays and a flag array per beam, the rest ping scalars.
    for (; i < 6; ++i)
        b.InitDataElement(i, static_cast<unsigned short>(i), ET_FLOAT_ARRAY, kBeams * 4, 2, static_cast<unsigned short>(601 + i));
    b.InitDataElement(i, static_cast<unsigned short>(i), ET_UINT_ARRAY, kBeams * 4, 0, 607);
    ++i;
    for (; i < 40; ++i)
        b.InitDataElement(i, static_cast<unsigned short>(i), i % 2 ? ET_DOUBLE : ET_INT, i % 2 ? 8 : 4, 0,
                          static_cast<unsigned short>(610 + i));
    b.Init();
    std::vector<float> depths(kBeams, 12.5f);
    for (unsigned short u = 601; u < 607; ++u)
        b.SetDataValue(u, depths.data(), kBeams, 0, 0);
    b.SetTime(1.7e9);
    b.SetStatus(0);
    return b;
}

void BM_Pack(benchmark::State& state)
{
    const bool wide = state.range(0) != 0;
    const CDataBlock b = MultibeamBlock();
    std::vector<unsigned char> out(b.GetPackSize(wide));
    for (auto _ : state) {
        unsigned char* pos = out.data();
        unsigned int remaining = static_cast<unsigned int>(out.size());
        benchmark::DoNotOptimize(b.Pack(&pos, remaining, wide));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(out.size()));
}
BENCHMARK(BM_Pack)->Arg(0)->Arg(1);

void BM_UnPack(benchmark::State& state)
{
    const bool wide = state.range(0) != 0;
    const CDataBlock b = MultibeamBlock();
    std::vector<unsigned char> record(b.GetPackSize(wide));
    unsigned char* w = record.data();
    unsigned int room = static_cast<unsigned int>(record.size());
    b.Pack(&w, room, wide);
    CDataBlock target = b; // same layout: the buffer is reused
    for (auto _ : state) {
        const unsigned char* pos = record.data();
        unsigned int remaining = static_cast<unsigned int>(record.size());
        benchmark::DoNotOptimize(target.UnPack(&pos, remaining, wide));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(record.size()));
}
BENCHMARK(BM_UnPack)->Arg(0)->Arg(1);

void BM_Memcpy(benchmark::State& state)
{
    const CDataBlock b = MultibeamBlock();
    const size_t size = b.GetPackSize(state.range(0) != 0);
    std::vector<unsigned char> from(size, 1), to(size);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), size);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}
BENCHMARK(BM_Memcpy)->Arg(0)->Arg(1);

} // namespace

BENCHMARK_MAIN();
