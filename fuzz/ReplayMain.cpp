// Runs a fuzz target without libFuzzer, as a plain test program: every file given (the
// files of a folder given) is fed as it is and then as fixed mutations of it: cut at up to
// 16 places, 48 single bytes replaced, 16 runs of flipped bits, a part doubled. The
// mutations come from a fixed seed, so a run is repeatable. Under the sanitizer build the
// seeds and their near neighbours thus become a regression test; coverage-guided fuzzing
// stays with scripts/fuzz.sh. Exits 1 when it finds no input (a missing seed folder).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void Feed(const std::vector<uint8_t>& bytes)
{
    // A copy of exactly the input's size, so that a read past the end is one the
    // sanitizer sees.
    std::vector<uint8_t> copy(bytes);
    LLVMFuzzerTestOneInput(copy.empty() ? nullptr : copy.data(), copy.size());
}

size_t Replay(const std::vector<uint8_t>& seed, std::mt19937& random)
{
    size_t runs = 1;
    Feed(seed);
    const size_t n = seed.size();
    if (n == 0) return runs;
    auto at = [&](size_t limit) { return std::uniform_int_distribution<size_t>(0, limit - 1)(random); };
    for (size_t k = 1; k <= 16 && k < n; ++k, ++runs) // cuts spread over the whole input
        Feed(std::vector<uint8_t>(seed.begin(), seed.begin() + static_cast<std::ptrdiff_t>(n * k / 17)));
    static constexpr uint8_t kValues[] = {0x00, 0xFF, 0x7F, 0x80, 0x01, 0xFE};
    for (int m = 0; m < 48; ++m, ++runs) {
        std::vector<uint8_t> v(seed);
        v[at(n)] = m % 2 ? kValues[at(std::size(kValues))] : static_cast<uint8_t>(at(256));
        Feed(v);
    }
    for (int m = 0; m < 16; ++m, ++runs) {
        std::vector<uint8_t> v(seed);
        const size_t start = at(n);
        for (size_t i = start; i < std::min(n, start + 8); ++i) v[i] ^= static_cast<uint8_t>(1u << at(8));
        Feed(v);
    }
    std::vector<uint8_t> doubled(seed);
    const size_t from = at(n);
    doubled.insert(doubled.begin() + static_cast<std::ptrdiff_t>(from), seed.begin() + static_cast<std::ptrdiff_t>(from), seed.end());
    Feed(doubled);
    return runs + 1;
}

} // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        if (fs::is_directory(argv[i], ec)) {
            for (const auto& entry : fs::directory_iterator(argv[i], ec))
                if (entry.is_regular_file()) files.push_back(entry.path());
        } else if (fs::is_regular_file(argv[i], ec)) {
            files.emplace_back(argv[i]);
        }
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "no inputs: give seed files or folders\n");
        return 1;
    }
    std::mt19937 random(20261208u);
    size_t runs = 0;
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<uint8_t> seed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        runs += Replay(seed, random);
    }
    std::printf("%zu inputs from %zu seeds, no fault\n", runs, files.size());
    return 0;
}
