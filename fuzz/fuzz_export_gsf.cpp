// Runs "kvsblocks export-gsf FILTERED --into ORIGINAL -o OUT" in process on an original GSF
// file and a filtered record stream cut from the input (its first four bytes, big-endian,
// give the GSF part's length; the rest is the stream). Whatever the two hold, the run ends
// in a result, not a crash; a refused export leaves no output and no temporary file, and a
// finished one is the original with only flag bytes and checksums changed: same length,
// same record framing.
#include "FuzzWorkFolder.h"
#include "Commands.h"
#include "ToolCommon.h"

#include <CLI/CLI.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) return 0;
    const size_t gsfSize = std::min<size_t>(size - 4, (size_t{data[0]} << 24) | (size_t{data[1]} << 16) |
                                                          (size_t{data[2]} << 8) | size_t{data[3]});
    const fs::path& dir = kvs_fuzz::WorkFolder("kvs_fuzz_export_");
    for (const auto& e : fs::directory_iterator(dir)) fs::remove_all(e.path());
    const fs::path original = dir / "original.gsf", filtered = dir / "filtered.kvs", out = dir / "edited.gsf";
    std::ofstream(original, std::ios::binary).write(reinterpret_cast<const char*>(data) + 4, static_cast<std::streamsize>(gsfSize));
    std::ofstream(filtered, std::ios::binary)
        .write(reinterpret_cast<const char*>(data) + 4 + gsfSize, static_cast<std::streamsize>(size - 4 - gsfSize));

    CLI::App app;
    kvs::tool::Runner run;
    kvs::tool::AddExportGsfCommand(app, run);
    const std::string args[] = {"kvsblocks", "export-gsf", filtered.string(), "--into", original.string(), "-o", out.string()};
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    int status = -1;
    // The summary goes to standard output; keep the fuzzer's log readable.
    std::FILE* quiet = std::freopen("/dev/null", "w", stdout);
    Check(quiet != nullptr);
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
        status = run ? run() : 2;
    } catch (const kvs::tool::InputError&) {
        status = 1;
    } catch (const kvs::tool::UsageError&) {
        status = 2;
    }
    const std::string before = ReadAll(original);
    if (status != 0) {
        // Nothing half-written is left: no output, no temporary file.
        Check(!fs::exists(out));
        size_t names = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++names;
        Check(names == 2);
        return 0;
    }
    const std::string after = ReadAll(out);
    Check(after.size() == before.size());
    // The record framing (sizes and ids) is the original's.
    for (size_t at = 0; at + 8 <= before.size();) {
        Check(std::equal(before.begin() + static_cast<long>(at), before.begin() + static_cast<long>(at) + 8,
                         after.begin() + static_cast<long>(at)));
        const size_t recordSize = (size_t{static_cast<unsigned char>(before[at])} << 24) |
                                  (size_t{static_cast<unsigned char>(before[at + 1])} << 16) |
                                  (size_t{static_cast<unsigned char>(before[at + 2])} << 8) |
                                  size_t{static_cast<unsigned char>(before[at + 3])};
        const bool checksum = static_cast<unsigned char>(before[at + 4]) & 0x80;
        at += 8 + (checksum ? 4 : 0) + recordSize;
    }
    return 0;
}
