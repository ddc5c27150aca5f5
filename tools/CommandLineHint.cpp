#include "CommandLineHint.h"

#include <KvsDataBlocks/formats/FileFormat.h>
#include <KvsDataBlocks/platform/TextUtils.h>

#include <CLI/CLI.hpp>

#include <filesystem>
#include <limits>
#include <vector>

namespace kvs::tool {

namespace {

// The candidate nearest to word when it is near enough to be a slip (at most a third of
// its letters, and at least one, differ); "" otherwise.
std::string Closest(const std::string& word, const std::vector<std::string>& candidates)
{
    std::string best;
    size_t distance = std::numeric_limits<size_t>::max();
    for (const std::string& c : candidates) {
        const size_t d = EditDistanceNoCase(word, c);
        if (d < distance) distance = d, best = c;
    }
    const size_t limit = std::max<size_t>(1, word.size() / 3);
    return distance <= limit ? best : std::string();
}

std::string DidYouMean(const std::string& closest)
{
    return closest.empty() ? std::string() : " (did you mean '" + closest + "'?)";
}

} // namespace

std::string CommandLineHint(CLI::App& app, int argc, const char* const* argv)
{
    int i = 1;
    while (i < argc && argv[i][0] == '-') ++i; // the program's own options
    if (i >= argc) return {};
    const std::string word = argv[i];
    CLI::App* sub = nullptr;
    std::vector<std::string> names;
    for (CLI::App* s : app.get_subcommands([](CLI::App*) { return true; })) {
        names.push_back(s->get_name());
        if (s->check_name(word)) sub = s;
    }
    if (!sub)
        return "unknown subcommand '" + word + "'" + DidYouMean(Closest(word, names)) +
               "; `kvsblocks --help` lists them";
    for (++i; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        if (arg.size() < 2 || arg[0] != '-' || (arg[1] >= '0' && arg[1] <= '9') || arg[1] == '.') continue;
        const std::string name = arg.substr(0, arg.find('='));
        if (sub->get_option_no_throw(name) || app.get_option_no_throw(name)) continue;
        if (name.size() > 2 && name[1] != '-') continue; // a short option with its value, such as -ofile
        std::vector<std::string> options;
        for (const CLI::Option* o : sub->get_options()) {
            for (const std::string& l : o->get_lnames()) options.push_back("--" + l);
            for (const std::string& s : o->get_snames()) options.push_back("-" + s);
        }
        return sub->get_name() + ": unknown option '" + name + "'" + DidYouMean(Closest(name, options)) +
               "; `kvsblocks " + sub->get_name() + " --help` lists them";
    }
    return {};
}

std::string StreamInputHint(const std::string& path)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return "; it is a folder: give the record stream files in it, or import its survey files first "
               "(kvsblocks import FILE -o line.kvs)";
    const FileFormat format = DetectFileFormat(path.c_str());
    switch (format) {
    case FileFormat::Gsf:
    case FileFormat::KongsbergAll:
    case FileFormat::KongsbergKmall:
        return std::string("; it looks like a ") + FileFormatName(format) + " file: import it first (kvsblocks import " +
               path + " -o line.kvs), then use line.kvs";
    case FileFormat::Text:
        return "; it is a text file (attribute, tide or XYZ files are not record streams)";
    case FileFormat::Empty:
        return "; the file is empty";
    default:
        return {};
    }
}

} // namespace kvs::tool
