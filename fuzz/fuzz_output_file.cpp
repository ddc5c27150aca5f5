// Drives the tool's output path (tools/OutputFile, RefuseSameFile) over folders the input
// lays out: files, hard links, symbolic links (relative, absolute, dangling, chained, in
// loops), folders, with one name as the target and some as inputs. Whatever the layout,
// an output that is an input is refused before anything changes; a committed output lands
// whole in the file the target names, every link staying a link and every other file as
// it was; a failed or dropped one changes nothing and leaves no file behind.
#include "FuzzWorkFolder.h"
#include "OutputFile.h"
#include "ToolCommon.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

constexpr int kNames = 5;

// What one name of the folder is: its kind, a link's text, a file's bytes, its identity.
struct Entry
{
    char kind = '-'; // '-' none, 'f' file, 'l' link, 'd' folder
    std::string link;
    std::string bytes;
    ino_t inode = 0;
};

std::map<std::string, Entry> Snapshot(const fs::path& dir)
{
    std::map<std::string, Entry> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        Entry entry;
        struct stat st {};
        ::lstat(e.path().c_str(), &st);
        entry.inode = st.st_ino;
        if (S_ISLNK(st.st_mode)) {
            entry.kind = 'l';
            entry.link = fs::read_symlink(e.path()).string();
        } else if (S_ISDIR(st.st_mode)) {
            entry.kind = 'd';
        } else {
            entry.kind = 'f';
            std::ifstream in(e.path(), std::ios::binary);
            entry.bytes.assign(std::istreambuf_iterator<char>(in), {});
        }
        out[e.path().filename().string()] = entry;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 * kNames + 3) return 0;
    const fs::path& dir = kvs_fuzz::WorkFolder("kvs_fuzz_output_");
    for (const auto& e : fs::directory_iterator(dir)) fs::remove_all(e.path());
    auto name = [](int i) { return "n" + std::to_string(i); };
    // Two bytes a name: its kind and what it refers to.
    for (int i = 0; i < kNames; ++i) {
        const uint8_t kind = data[2 * i] % 8, other = data[2 * i + 1] % kNames;
        const fs::path path = dir / name(i);
        std::error_code ec;
        switch (kind) {
        case 1: std::ofstream(path, std::ios::binary) << "old " << i; break;
        case 2: fs::create_symlink(name(other), path, ec); break;               // relative, maybe dangling
        case 3: fs::create_symlink(dir / name(other), path, ec); break;         // absolute
        case 4: fs::create_directory(path, ec); break;
        case 5: fs::create_hard_link(dir / name(other), path, ec); break;       // when that one is a file
        case 6: fs::create_symlink("missing/" + name(other), path, ec); break;  // into no folder
        default: break;                                                         // absent
        }
    }
    const int target = data[2 * kNames] % kNames;
    const uint8_t inputMask = data[2 * kNames + 1];
    const bool commit = data[2 * kNames + 2] & 1;
    const std::string payload(reinterpret_cast<const char*>(data) + 2 * kNames + 3, size - (2 * kNames + 3));
    std::vector<std::string> inputs;
    for (int i = 0; i < kNames; ++i)
        if (inputMask & (1u << i)) inputs.push_back((dir / name(i)).string());
    const std::string out = (dir / name(target)).string();
    const std::map<std::string, Entry> before = Snapshot(dir);

    // An input that is the target's file (by device and inode) must be refused.
    struct stat targetStat {};
    bool isInput = false;
    if (::stat(out.c_str(), &targetStat) == 0)
        for (const std::string& in : inputs) {
            struct stat st {};
            isInput = isInput || (::stat(in.c_str(), &st) == 0 && st.st_dev == targetStat.st_dev && st.st_ino == targetStat.st_ino);
        }
    try {
        kvs::tool::RefuseSameFile(inputs, {out});
    } catch (const kvs::tool::UsageError&) {
        Check(isInput && Snapshot(dir).size() == before.size());
        return 0;
    }
    Check(!isInput);

    std::string error;
    bool written = false;
    {
        kvs::tool::OutputFile file(out);
        if (file.Open(error)) {
            Check(std::fwrite(payload.data(), 1, payload.size(), file.Stream()) == payload.size());
            written = commit && file.Commit(error);
            Check(written || !commit || !error.empty());
        } else {
            Check(!error.empty());
        }
    }
    const std::map<std::string, Entry> after = Snapshot(dir);
    // The file the target named (following its links) holds the payload; nothing else changed.
    std::string landed;
    if (written) {
        std::ifstream in(out, std::ios::binary);
        Check(static_cast<bool>(in));
        landed.assign(std::istreambuf_iterator<char>(in), {});
        Check(landed == payload);
    }
    for (const auto& [n, entry] : before) {
        const auto it = after.find(n);
        Check(it != after.end() && it->second.kind == entry.kind && it->second.link == entry.link);
        if (entry.kind == 'f' && it->second.inode == entry.inode) Check(it->second.bytes == entry.bytes);
    }
    for (const auto& [n, entry] : after) {
        if (before.count(n)) continue;
        // Only the file a dangling link named may have come to be.
        Check(written && entry.kind == 'f' && entry.bytes == payload);
    }
    return 0;
}
