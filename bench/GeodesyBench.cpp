// The closed-form inverse (robinv, Robbins) and direct (ClarkePolar, Clarke's best
// formula) solutions next to GeographicLib's Geodesic::Inverse and Geodesic::Direct on
// the same WGS 84 lines: 100 m to 100 km, latitudes 0 to 75 degrees, eight azimuths.
#include <KvsDataBlocks/geometry/ClarkeDirect.h>
#include <KvsDataBlocks/geometry/KvsMath.h>
#include <KvsDataBlocks/geometry/RobbinsInverse.h>

#include <benchmark/benchmark.h>

#ifdef KVS_HAVE_GEOGRAPHICLIB
#include <GeographicLib/Geodesic.hpp>
#endif

#include <cmath>
#include <cstddef>
#include <vector>

namespace {

constexpr double kA = 6378137.0;
constexpr double kF = 1.0 / 298.257223563;
constexpr double kE2 = kF * (2.0 - kF);

struct Line
{
    double lat1, lon1, azimuth, length, lat2, lon2;
};

// End points by a spherical approximation: the lines only need to be of survey length
// and the same for every solver.
const std::vector<Line>& Lines()
{
    static const std::vector<Line> lines = [] {
        std::vector<Line> out;
        const double rad = D_TO_R;
        for (double length : {100.0, 1000.0, 10000.0, 100000.0})
            for (double lat : {0.0, 15.0, 30.0, 45.0, 60.0, 75.0})
                for (double az = 10.0; az < 360.0; az += 45.0) {
                    const double d = length / 6371000.0, p1 = lat * rad, a = az * rad;
                    const double p2 = std::asin(std::sin(p1) * std::cos(d) + std::cos(p1) * std::sin(d) * std::cos(a));
                    const double dl = std::atan2(std::sin(a) * std::sin(d) * std::cos(p1), std::cos(d) - std::sin(p1) * std::sin(p2));
                    out.push_back({lat, 5.0, az, length, p2 / rad, 5.0 + dl / rad});
                }
        return out;
    }();
    return lines;
}

void BM_RobbinsInverse(benchmark::State& state)
{
    const std::vector<Line>& lines = Lines();
    std::size_t i = 0;
    for (auto _ : state) {
        const Line& l = lines[i];
        double az12, az21, s;
        robinv(kA, kE2, l.lat1, l.lon1, l.lat2, l.lon2, az12, az21, s);
        benchmark::DoNotOptimize(az12);
        benchmark::DoNotOptimize(az21);
        benchmark::DoNotOptimize(s);
        if (++i == lines.size()) i = 0;
    }
}
BENCHMARK(BM_RobbinsInverse);

void BM_ClarkeDirect(benchmark::State& state)
{
    const std::vector<Line>& lines = Lines();
    std::size_t i = 0;
    for (auto _ : state) {
        const Line& l = lines[i];
        double lat2, lon2, back;
        ClarkePolar(kA, kE2, l.lat1, l.lon1, l.azimuth, l.length, lat2, lon2, back);
        benchmark::DoNotOptimize(lat2);
        benchmark::DoNotOptimize(lon2);
        benchmark::DoNotOptimize(back);
        if (++i == lines.size()) i = 0;
    }
}
BENCHMARK(BM_ClarkeDirect);

#ifdef KVS_HAVE_GEOGRAPHICLIB

void BM_GeographicLibInverse(benchmark::State& state)
{
    const GeographicLib::Geodesic geod(kA, kF);
    const std::vector<Line>& lines = Lines();
    std::size_t i = 0;
    for (auto _ : state) {
        const Line& l = lines[i];
        double s, az1, az2;
        geod.Inverse(l.lat1, l.lon1, l.lat2, l.lon2, s, az1, az2);
        benchmark::DoNotOptimize(az1);
        benchmark::DoNotOptimize(az2);
        benchmark::DoNotOptimize(s);
        if (++i == lines.size()) i = 0;
    }
}
BENCHMARK(BM_GeographicLibInverse);

void BM_GeographicLibDirect(benchmark::State& state)
{
    const GeographicLib::Geodesic geod(kA, kF);
    const std::vector<Line>& lines = Lines();
    std::size_t i = 0;
    for (auto _ : state) {
        const Line& l = lines[i];
        double lat2, lon2, az2;
        geod.Direct(l.lat1, l.lon1, l.azimuth, l.length, lat2, lon2, az2);
        benchmark::DoNotOptimize(lat2);
        benchmark::DoNotOptimize(lon2);
        benchmark::DoNotOptimize(az2);
        if (++i == lines.size()) i = 0;
    }
}
BENCHMARK(BM_GeographicLibDirect);

#endif

} // namespace

BENCHMARK_MAIN();
