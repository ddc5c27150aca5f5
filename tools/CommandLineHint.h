// What went wrong on a command line that CLI11 refused, said the way a user can act on:
// an unknown subcommand or option named with the closest one that exists
// ("unknown subcommand 'fitler' (did you mean 'filter'?)").
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace kvs::tool {

// The hint for the arguments (argv without the program name), or "" when every
// subcommand and option in them is known, so that CLI11's own message applies.
std::string CommandLineHint(CLI::App& app, int argc, const char* const* argv);

// For an input that is not a record stream: what it looks like and how to make a stream
// of it ("; it looks like a GSF file: import it first: kvsblocks import ..."), or "".
std::string StreamInputHint(const std::string& path);

} // namespace kvs::tool
